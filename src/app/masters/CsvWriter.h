#pragma once

#include <QString>
#include <optional>
#include <vector>

namespace edi {

// Appends one CSV record that parseCsv reads back as it was: fields separated by ",", quoted
// when they hold ",", a quote or a line break, or are an empty text (no value stays unquoted and
// empty); CR LF at the end.
void appendCsvRecord(QString& out, const std::vector<std::optional<QString>>& fields);

}  // namespace edi
