#include "app/masters/MasterFile.h"

#include "app/masters/ColumnFields.h"
#include "app/masters/CsvEncoding.h"
#include "app/masters/CsvReader.h"

#include <QFile>
#include <QHash>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

std::optional<QString> readText(const QString& path, const QString& fileName, MasterErrors& errors)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        errors.add(fileName, 0, u"読めません (%1)"_s.arg(file.errorString()));
        return std::nullopt;
    }
    const DecodedCsv decoded = decodeCsvBytes(file.readAll());
    if (!decoded.ok()) {
        errors.add(fileName, decoded.errorLine, decoded.error);
        return std::nullopt;
    }
    return decoded.text;
}

// The table column of each header field; nullopt when the header has errors.
std::optional<std::vector<int>> headerColumns(const MasterTable& table, const QString& fileName, const CsvRecord& header,
                                              MasterErrors& errors)
{
    std::vector<int> columns;
    std::vector<bool> given(table.columns.size(), false);
    const int before = errors.count();
    for (const CsvField& field : header.fields) {
        const QString name = field.text.trimmed();
        const int column = table.columnIndex(name);
        if (column < 0)
            errors.add(fileName, header.line, u"列「%1」は %2 にありません"_s.arg(name, table.name));
        else if (given[column])
            errors.add(fileName, header.line, u"列「%1」が二度あります"_s.arg(name));
        else
            given[column] = true;
        columns.push_back(column);
    }
    for (size_t i = 0; i < table.columns.size(); ++i) {
        if (!given[i] && table.columns[i].required)
            errors.add(fileName, header.line, u"列「%1」がありません (この列には値が必要です)"_s.arg(table.columns[i].name));
    }
    if (errors.count() != before)
        return std::nullopt;
    return columns;
}

// A record's values, with what could be read of them after its errors were added.
struct ReadRecord {
    MasterRow row;
    bool valid = true;      // every field was read
    bool keyValid = true;   // every key field was read
};

ReadRecord readRecord(const MasterTable& table, const QString& fileName, const std::vector<int>& columns,
                      const CsvRecord& record, MasterErrors& errors)
{
    ReadRecord read{{record.line, {}}};
    for (const MasterColumn& column : table.columns)
        read.row.values << nullValue(column);
    if (record.fields.size() != columns.size()) {
        errors.add(fileName, record.line,
                   u"列の数 (%1) が見出しの列の数 (%2) と違います"_s.arg(record.fields.size()).arg(columns.size()));
        read.valid = read.keyValid = false;
        return read;
    }
    for (size_t i = 0; i < columns.size(); ++i) {
        const MasterColumn& column = table.columns[columns[i]];
        const ColumnValue field = readColumnField(column, record.fields[i]);
        if (field.problem.isEmpty()) {
            read.row.values[columns[i]] = field.value;
            continue;
        }
        errors.add(fileName, record.line, column.name, record.fields[i].text, field.problem);
        read.valid = false;
        read.keyValid = read.keyValid && !column.key;
    }
    return read;
}

QString keyDescription(const MasterTable& table, const QVariantList& values)
{
    QStringList parts;
    for (const int column : table.keyColumns())
        parts << table.columns[column].name + u'=' + *columnFieldText(table.columns[column], values[column]);
    return parts.join(u", "_s);
}

// The rows of a file's records, the first of which is the header.
std::optional<MasterFile> readRecords(const MasterTable& table, const QString& fileName,
                                      const std::vector<CsvRecord>& records, MasterErrors& errors)
{
    if (records.empty())
        return std::nullopt;
    const std::optional<std::vector<int>> columns = headerColumns(table, fileName, records.front(), errors);
    if (!columns)
        return std::nullopt;
    MasterFile file{&table, fileName, {}, {}};
    QHash<QString, int> keyLines;
    for (size_t i = 1; i < records.size(); ++i) {
        ReadRecord read = readRecord(table, fileName, *columns, records[i], errors);
        if (!read.keyValid)
            continue;
        const QString key = rowKey(table, read.row.values);
        if (const auto first = keyLines.constFind(key); first != keyLines.cend()) {
            errors.add(fileName, read.row.line, u"キー (%1) が %2行目と重なっています"_s.arg(keyDescription(table, read.row.values),
                                                                                             QString::number(*first)));
            continue;
        }
        keyLines.insert(key, read.row.line);
        if (read.valid)
            file.rows.push_back(std::move(read.row));
    }
    file.keys = QSet<QString>(keyLines.keyBegin(), keyLines.keyEnd());
    return file;
}

}  // namespace

QString rowKey(const MasterTable& table, const QVariantList& values)
{
    return keyText(table, values, table.keyColumns());
}

QString keyText(const MasterTable& table, const QVariantList& values, const std::vector<int>& columns)
{
    QStringList parts;
    for (const int column : columns)
        parts << columnFieldText(table.columns[column], values[column]).value_or(QString());
    return parts.join(QChar(0x1F));
}

std::optional<MasterFile> readMasterFile(const MasterTable& table, const QString& path, MasterErrors& errors)
{
    const QString fileName = table.fileName();
    const std::optional<QString> text = readText(path, fileName, errors);
    if (!text)
        return std::nullopt;
    const CsvText csv = parseCsv(*text);
    if (csv.records.empty() && csv.ok())
        errors.add(fileName, 1, u"見出しの行 (列の名前) がありません"_s);
    std::optional<MasterFile> file = readRecords(table, fileName, csv.records, errors);
    // The records before a break in the CSV form are checked too; its error follows theirs.
    if (!csv.ok())
        errors.add(fileName, csv.errorLine, csv.error);
    return file;
}

}  // namespace edi
