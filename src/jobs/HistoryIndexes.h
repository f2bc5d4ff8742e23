#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace edi {

class Database;

// An index on FL1102処理履歴ファイル beside its key (通番, 枝番).
struct HistoryIndex {
    QString name;
    QString columns;  // "a, b, c"
};

// The indexes the history's readers need on a large table, as db/schema.sql makes them:
//  - by centre (センターコード, 枝番, 処理開始日付, 通番): a centre's latest job and its latest
//    "0000" job read backwards from its newest, a centre's jobs of a span of days, its open rows;
//  - by start date (枝番, 処理開始日付, 通番): the job rows of a span of days newest first, and
//    their serials, from the index alone.
const std::vector<HistoryIndex>& historyIndexes();

struct HistoryIndexesMade {
    QStringList made;  // the names of those made now
    QString problem;   // why one could not be made; empty when all are there
};

// Makes those the database lacks. An index already there is looked up in the catalogue (SQLite,
// PostgreSQL), not created again: creating takes a lock on the table. Another database is asked
// to create each with IF NOT EXISTS. A database without the history table is left alone. A failure is no error: the history works without them, only
// slower.
HistoryIndexesMade makeMissingHistoryIndexes(Database& database);

}  // namespace edi
