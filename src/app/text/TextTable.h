#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace edi {

// Lines of cells as an aligned table for a terminal, the columns two blanks apart, no blanks at
// the ends of lines. A Japanese terminal gives a character as many columns as its Shift-JIS bytes;
// the columns whose flag is set in rightAligned are aligned to the right (counts).
QString alignedTable(const std::vector<QStringList>& lines, const std::vector<bool>& rightAligned = {});

}  // namespace edi
