#include "jobs/HistoryIndexes.h"

#include "app/database/Database.h"
#include "app/database/DatabaseError.h"

#include <optional>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

// Whether the catalogue lists the index; nullopt for a database whose catalogue is not known.
std::optional<bool> listed(Database& database, const HistoryIndex& index)
{
    if (database.kind() == DatabaseKind::Sqlite)
        return !database.query({u"SELECT name FROM sqlite_master WHERE type = 'index' AND name = ?"_s, {index.name}}).atEnd();
    if (database.isPostgreSqlServer())  // which folds the unquoted name's ASCII letters
        return !database.query({u"SELECT indexname FROM pg_indexes WHERE indexname = ?"_s, {index.name.toLower()}}).atEnd();
    return std::nullopt;
}

bool historyTableExists(Database& database)
{
    try {
        database.query({u"SELECT 通番 FROM FL1102処理履歴ファイル WHERE 1 = 0"_s, {}});
        return true;
    } catch (const DatabaseError&) {
        return false;
    }
}

// Whether it was made now: false when it was there, or when a database whose catalogue is not
// known took the statement. Throws DatabaseError when it is not there afterwards.
bool makeIndex(Database& database, const HistoryIndex& index)
{
    const std::optional<bool> there = listed(database, index);
    if (there.value_or(false))
        return false;
    try {
        database.execute(
            {u"CREATE INDEX IF NOT EXISTS "_s + index.name + u" ON FL1102処理履歴ファイル ("_s + index.columns + u')', {}});
    } catch (const DatabaseError&) {
        // Another workstation may have made it at the same moment: look again.
        if (!listed(database, index).value_or(false))
            throw;
        return false;
    }
    if (!there)
        return false;  // IF NOT EXISTS is all there is to go by
    // IF NOT EXISTS also passes over a table or a view of that name.
    if (!listed(database, index).value_or(false))
        throw DatabaseError(u"CREATE INDEX made no index of that name (another object has it)"_s);
    return true;
}

}  // namespace

const std::vector<HistoryIndex>& historyIndexes()
{
    static const std::vector<HistoryIndex> indexes{
        {u"FL1102処理履歴_センター"_s, u"センターコード, 枝番, 処理開始日付, 通番"_s},
        {u"FL1102処理履歴_開始日付"_s, u"枝番, 処理開始日付, 通番"_s},
    };
    return indexes;
}

HistoryIndexesMade makeMissingHistoryIndexes(Database& database)
{
    HistoryIndexesMade result;
    if (!historyTableExists(database))
        return result;
    QStringList problems;
    for (const HistoryIndex& index : historyIndexes()) {
        try {
            if (makeIndex(database, index))
                result.made << index.name;
        } catch (const DatabaseError& error) {
            problems << index.name + u": "_s + error.message();
        }
    }
    result.problem = problems.join(u"; "_s);
    return result;
}

}  // namespace edi
