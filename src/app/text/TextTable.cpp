#include "app/text/TextTable.h"

#include "app/text/TextHelpers.h"

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace edi {

QString alignedTable(const std::vector<QStringList>& lines, const std::vector<bool>& rightAligned)
{
    std::vector<qsizetype> widths;
    for (const QStringList& cells : lines) {
        widths.resize(std::max(widths.size(), size_t(cells.size())), 0);
        for (qsizetype column = 0; column < cells.size(); ++column)
            widths[size_t(column)] = std::max(widths[size_t(column)], ansiByteLength(cells[column]));
    }
    QString text;
    for (const QStringList& cells : lines) {
        QString line;
        for (qsizetype column = 0; column < cells.size(); ++column) {
            const QString fill(std::max<qsizetype>(0, widths[size_t(column)] - ansiByteLength(cells[column])), u' ');
            const bool right = size_t(column) < rightAligned.size() && rightAligned[size_t(column)];
            line += (column > 0 ? u"  "_s : QString()) + (right ? fill + cells[column] : cells[column] + fill);
        }
        while (line.endsWith(u' '))
            line.chop(1);
        text += line + u'\n';
    }
    return text;
}

}  // namespace edi
