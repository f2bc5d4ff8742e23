#include "app/masters/CsvWriter.h"

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

bool needsQuotes(const QString& field)
{
    return field.isEmpty() || field.contains(u',') || field.contains(u'"') || field.contains(u'\r')
        || field.contains(u'\n');
}

}  // namespace

void appendCsvRecord(QString& out, const std::vector<std::optional<QString>>& fields)
{
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            out += u',';
        if (!fields[i])
            continue;
        if (needsQuotes(*fields[i]))
            out += u'"' + QString(*fields[i]).replace(u"\""_s, u"\"\""_s) + u'"';
        else
            out += *fields[i];
    }
    out += u"\r\n"_s;
}

}  // namespace edi
