#include "app/masters/MasterReferences.h"

#include "app/database/Database.h"

#include <QSet>
#include <optional>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

// Rows of `table` name a row of `master` by their columns of the master's key.
struct Reference {
    QString table;
    QString master;
    QString what;  // the error for a row that names none
};

const std::vector<Reference>& references()
{
    static const std::vector<Reference> list = {
        {kScheduleMaster, kControlMaster, u"EDI制御マスタにないセンターです"_s},
        {kPartnerMaster, kControlMaster, u"EDI制御マスタにないセンターです"_s},
        {kLayoutMaster, kFormatMaster, u"フォーマット情報マスタにない情報区分コードと BPID です"_s},
    };
    return list;
}

const MasterFile* fileOf(const std::vector<MasterFile>& files, const QString& table)
{
    for (const MasterFile& file : files) {
        if (file.table->name == table)
            return &file;
    }
    return nullptr;
}

// The columns of the referring table that hold the master's key.
std::vector<int> columnsIn(const MasterTable& table, const MasterTable& master)
{
    std::vector<int> columns;
    for (const int key : master.keyColumns())
        columns.push_back(table.columnIndex(master.columns[key].name));
    return columns;
}

QSet<QString> keysInDatabase(const MasterTable& master, Database& database)
{
    QStringList names;
    for (const int key : master.keyColumns())
        names << sqlColumnName(master.columns[key].name);
    QSet<QString> keys;
    for (ResultSet rows = database.query({u"SELECT "_s + names.join(u", "_s) + u" FROM "_s + master.name, {}});
         !rows.atEnd(); rows.next()) {
        QStringList parts;
        for (qsizetype i = 0; i < names.size(); ++i)
            parts << rows.value(int(i)).toString();
        keys.insert(parts.join(QChar(0x1F)));
    }
    return keys;
}

// The keys of the master, and where they come from; nullopt when its file could not be read.
std::optional<QSet<QString>> masterKeys(const MasterTable& master, const std::vector<MasterFile>& files,
                                        const QStringList& tablesWithoutFile, Database& database, QString& source)
{
    if (tablesWithoutFile.contains(master.name)) {
        source = u"データベースの "_s + master.name;
        return keysInDatabase(master, database);
    }
    const MasterFile* file = fileOf(files, master.name);
    if (!file)
        return std::nullopt;
    source = file->fileName;
    return file->keys;
}

void checkReference(const Reference& reference, const MasterFile& file, const std::vector<MasterFile>& files,
                    const QStringList& tablesWithoutFile, Database& database, MasterErrors& errors)
{
    const MasterTable& master = masterTable(reference.master);
    QString source;
    const std::optional<QSet<QString>> keys = masterKeys(master, files, tablesWithoutFile, database, source);
    if (!keys)
        return;
    const std::vector<int> columns = columnsIn(*file.table, master);
    QStringList columnNames;
    for (const int column : columns)
        columnNames << file.table->columns[column].name;
    for (const MasterRow& row : file.rows) {
        const QString key = keyText(*file.table, row.values, columns);
        if (!keys->contains(key)) {
            errors.add(file.fileName, row.line, columnNames.join(u", "_s), QString(key).replace(QChar(0x1F), u", "_s),
                       reference.what + u" ("_s + source + u" にありません)"_s);
        }
    }
}

}  // namespace

void checkMasterReferences(const std::vector<MasterFile>& files, const QStringList& tablesWithoutFile,
                           Database& database, MasterErrors& errors)
{
    for (const Reference& reference : references()) {
        if (const MasterFile* file = fileOf(files, reference.table))
            checkReference(reference, *file, files, tablesWithoutFile, database, errors);
    }
}

}  // namespace edi
