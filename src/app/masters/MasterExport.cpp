#include "app/masters/MasterExport.h"

#include "app/database/Database.h"
#include "app/database/DatabaseError.h"
#include "app/masters/ColumnFields.h"
#include "app/masters/CsvWriter.h"
#include "app/masters/MasterErrors.h"
#include "app/masters/MasterTables.h"
#include "app/text/TextHelpers.h"

#include <QDir>
#include <QSaveFile>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

struct TableText {
    const MasterTable* table = nullptr;
    QString text;
    int rows = 0;
};

Sql selectStatement(const MasterTable& table)
{
    QStringList names;
    for (const MasterColumn& column : table.columns)
        names << sqlColumnName(column.name);
    QStringList keys;
    for (const int key : table.keyColumns())
        keys << sqlColumnName(table.columns[key].name);
    return {u"SELECT %1 FROM %2 ORDER BY %3"_s.arg(names.join(u", "_s), table.name, keys.join(u", "_s)), {}};
}

std::vector<std::optional<QString>> headerFields(const MasterTable& table)
{
    std::vector<std::optional<QString>> fields;
    for (const MasterColumn& column : table.columns)
        fields.emplace_back(column.name);
    return fields;
}

// The row's fields; a value CP932 cannot hold is an error when the file is to be CP932.
std::vector<std::optional<QString>> rowFields(const MasterTable& table, const ResultSet& rows, int line,
                                              CsvEncoding encoding, MasterErrors& errors)
{
    std::vector<std::optional<QString>> fields;
    for (size_t i = 0; i < table.columns.size(); ++i) {
        const std::optional<QString> field = columnFieldText(table.columns[i], rows.value(int(i)));
        if (field && encoding == CsvEncoding::Cp932 && !ansiRoundTrips(*field))
            errors.add(table.fileName(), line, table.columns[i].name, *field,
                       u"CP932 にない文字があります (--encoding utf-8 で書き出せます)"_s);
        fields.push_back(field);
    }
    return fields;
}

TableText tableText(Database& database, const MasterTable& table, CsvEncoding encoding, MasterErrors& errors)
{
    TableText out{&table, {}, 0};
    appendCsvRecord(out.text, headerFields(table));
    int line = 2;
    for (ResultSet rows = database.query(selectStatement(table)); !rows.atEnd(); rows.next()) {
        const qsizetype start = out.text.size();
        appendCsvRecord(out.text, rowFields(table, rows, line, encoding, errors));
        line += int(QStringView(out.text).sliced(start).count(u'\n'));
        ++out.rows;
    }
    return out;
}

void writeFile(const QDir& folder, const TableText& table, CsvEncoding encoding, MasterErrors& errors)
{
    QSaveFile file(folder.filePath(table.table->fileName()));
    if (!file.open(QIODevice::WriteOnly) || file.write(encodeCsvText(table.text, encoding)) < 0 || !file.commit())
        errors.add(file.fileName(), 0, u"書けません (%1)"_s.arg(file.errorString()));
}

}  // namespace

MasterExportResult exportMasters(Database& database, const QString& folder, CsvEncoding encoding)
{
    MasterExportResult result;
    MasterErrors errors;
    std::vector<TableText> tables;
    for (const MasterTable& table : masterTables()) {
        try {
            tables.push_back(tableText(database, table, encoding, errors));
        } catch (const DatabaseError& error) {
            errors.add(table.name, 0, u"データベースを読めませんでした: "_s + error.message());
            break;
        }
    }
    const QDir dir(folder);
    if (errors.empty() && !dir.mkpath(u"."_s))
        errors.add(folder, 0, u"フォルダを作れません"_s);
    for (size_t i = 0; i < tables.size() && errors.empty(); ++i) {
        writeFile(dir, tables[i], encoding, errors);
        if (errors.empty())
            result.written.push_back({tables[i].table->name, tables[i].rows});
    }
    result.done = errors.empty();
    result.errors = errors.lines();
    result.errorCount = errors.count();
    return result;
}

}  // namespace edi
