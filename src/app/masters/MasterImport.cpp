#include "app/masters/MasterImport.h"

#include "app/database/Database.h"
#include "app/database/DatabaseError.h"
#include "app/masters/MasterErrors.h"
#include "app/masters/MasterFile.h"
#include "app/masters/MasterReferences.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

std::vector<MasterFile> readFolder(const QDir& folder, MasterImportResult& result, MasterErrors& errors)
{
    std::vector<MasterFile> files;
    for (const MasterTable& table : masterTables()) {
        const QString path = folder.filePath(table.fileName());
        if (!QFileInfo::exists(path)) {
            result.leftAlone << table.name;
            continue;
        }
        if (std::optional<MasterFile> file = readMasterFile(table, path, errors))
            files.push_back(std::move(*file));
    }
    return files;
}

// A file meant for a table but named a little differently would be passed over in silence.
QStringList filesNamingNoMaster(const QDir& folder)
{
    QStringList ignored;
    for (const QString& name : folder.entryList({u"*.csv"_s, u"*.CSV"_s}, QDir::Files, QDir::Name)) {
        const bool named = std::any_of(masterTables().begin(), masterTables().end(),
                                       [&](const MasterTable& table) { return table.fileName() == name; });
        if (!named)
            ignored << name;
    }
    return ignored;
}

QString insertStatement(const MasterTable& table)
{
    QStringList names;
    QStringList marks;
    for (const MasterColumn& column : table.columns) {
        names << sqlColumnName(column.name);
        marks << u"?"_s;
    }
    return u"INSERT INTO %1 (%2) VALUES (%3)"_s.arg(table.name, names.join(u", "_s), marks.join(u", "_s));
}

// One transaction; on a failure it names the row the database refused.
void replaceTables(Database& database, const std::vector<MasterFile>& files, MasterErrors& errors)
{
    const MasterFile* file = nullptr;
    int line = 0;
    try {
        database.inTransaction([&] {
            for (const MasterFile& each : files) {
                file = &each;
                line = 0;
                database.execute({u"DELETE FROM "_s + each.table->name, {}});
                PreparedStatement insert = database.prepare(insertStatement(*each.table));
                for (const MasterRow& row : each.rows) {
                    line = row.line;
                    insert.execute(row.values);
                }
            }
        });
    } catch (const DatabaseError& error) {
        errors.add(file ? file->fileName : u"データベース"_s, line, u"データベースが受け付けませんでした: "_s + error.message());
    }
}

void loadFolder(Database& database, const QDir& folder, MasterImportResult& result, MasterErrors& errors)
{
    result.ignoredFiles = filesNamingNoMaster(folder);
    const std::vector<MasterFile> files = readFolder(folder, result, errors);
    if (result.leftAlone.size() == qsizetype(masterTables().size()))
        errors.add(folder.path(), 0, u"取り込むファイルがありません (表の名前に .csv を付けたファイルを置きます)"_s);
    try {
        checkMasterReferences(files, result.leftAlone, database, errors);
    } catch (const DatabaseError& error) {
        errors.add(folder.path(), 0, u"データベースを読めませんでした: "_s + error.message());
    }
    if (!errors.empty())
        return;
    replaceTables(database, files, errors);
    if (!errors.empty())
        return;
    for (const MasterFile& file : files)
        result.loaded.push_back({file.table->name, int(file.rows.size())});
}

}  // namespace

MasterImportResult importMasters(Database& database, const QString& folder)
{
    MasterImportResult result;
    MasterErrors errors;
    if (QDir(folder).exists())
        loadFolder(database, QDir(folder), result, errors);
    else
        errors.add(folder, 0, u"フォルダがありません"_s);
    result.done = errors.empty();
    result.errors = errors.lines();
    result.errorCount = errors.count();
    return result;
}

}  // namespace edi
