// Reading a large history: the indexes its readers need, made where a database lacks them, and
// the jobs of many serials read whole.
#include "app/database/Database.h"
#include "app/database/DatabaseError.h"
#include "jobs/History.h"
#include "jobs/HistoryIndexes.h"
#include "support/TestDatabase.h"
#include "support/TestFiles.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace edi::test {
namespace {

// The history table as a database made before the indexes has it.
const QString kOldHistoryTable =
    u"CREATE TABLE FL1102処理履歴ファイル (通番 INTEGER NOT NULL, 枝番 SMALLINT NOT NULL, 送受信種別 VARCHAR(1),"
    u" 相手先種別 VARCHAR(1), 処理種別 VARCHAR(2), 処理開始日付 DATE, 処理開始時刻 TIME, センターコード VARCHAR(12),"
    u" 処理終了日付 DATE, 処理終了時刻 TIME, 相手先企業コード VARCHAR(20), BPID VARCHAR(8), 取引情報区分 VARCHAR(4),"
    u" 最終シーケンス番号 INTEGER, 入力レコード数 INTEGER, 入力ファイルサイズ INTEGER, 出力レコード数 INTEGER,"
    u" 出力ファイルサイズ INTEGER, 格納モード VARCHAR(1), 終了コード VARCHAR(4), 詳細コード VARCHAR(4),"
    u" ファイル名 VARCHAR(4096), PRIMARY KEY (通番, 枝番))"_s;

QStringList indexNames()
{
    QStringList names;
    for (const HistoryIndex& index : historyIndexes())
        names << index.name;
    return names;
}

class HistoryReadingTest : public ::testing::TestWithParam<Backend> {
protected:
    HistoryReadingTest() : database_(GetParam()), db_(database_.open()) {}

    // The indexes the catalogue lists on the history table.
    QStringList listedIndexes() const
    {
        const Sql sql = GetParam() == Backend::Sqlite
            ? Sql{u"SELECT name FROM sqlite_master WHERE type = 'index' AND tbl_name = 'FL1102処理履歴ファイル'"_s, {}}
            : Sql{u"SELECT indexname FROM pg_indexes WHERE tablename = 'fl1102処理履歴ファイル'"_s, {}};
        QStringList names;
        for (ResultSet row = db_->query(sql); !row.atEnd(); row.next()) {
            const QString name = row.value(0).toString();
            if (!name.startsWith(u"sqlite_autoindex"_s) && !name.endsWith(u"_pkey"_s))
                names << name;
        }
        names.sort();
        return names;
    }

    QStringList expectedNames() const
    {
        QStringList names = indexNames();
        if (GetParam() != Backend::Sqlite)  // the server folds unquoted ASCII letters
            names.replaceInStrings(u"FL"_s, u"fl"_s);
        names.sort();
        return names;
    }

    void insertRows(const QList<std::pair<qint32, qint16>>& keys)
    {
        PreparedStatement insert = db_->prepare(
            u"INSERT INTO FL1102処理履歴ファイル (通番, 枝番, 処理種別, 処理開始日付, 処理開始時刻, センターコード, 終了コード)"
            u" VALUES (?, ?, ?, ?, ?, ?, ?)"_s);
        db_->inTransaction([&] {
            for (const auto& [serial, branch] : keys)
                insert.execute({serial, branch, branch == 0 ? u"01"_s : u"10"_s, QDate(2026, 12, 9), QTime(9, 0),
                                u"C%1"_s.arg(serial % 7), u"0000"_s});
        });
    }

    TestDatabase database_;
    std::unique_ptr<Database> db_;
};

// A database made before the indexes gets them once; later starts find them in the catalogue.
TEST_P(HistoryReadingTest, ADatabaseWithoutTheIndexesGetsThemOnce)
{
    db_->execute({kOldHistoryTable, {}});
    ASSERT_TRUE(listedIndexes().isEmpty());

    const HistoryIndexesMade first = makeMissingHistoryIndexes(*db_);
    EXPECT_EQ(first.made, indexNames());
    EXPECT_TRUE(first.problem.isEmpty()) << first.problem.toStdString();
    EXPECT_EQ(listedIndexes(), expectedNames());

    const HistoryIndexesMade again = makeMissingHistoryIndexes(*db_);
    EXPECT_TRUE(again.made.isEmpty());
    EXPECT_TRUE(again.problem.isEmpty());
}

TEST_P(HistoryReadingTest, TheSchemaMakesTheSameIndexes)
{
    database_.createTables();
    EXPECT_EQ(listedIndexes(), expectedNames());
    EXPECT_TRUE(makeMissingHistoryIndexes(*db_).made.isEmpty());
}

// Nothing to index in a database without the history, and a name the database refuses is told,
// not thrown: the history works without the index.
TEST_P(HistoryReadingTest, WhatCannotBeIndexedIsToldNotThrown)
{
    const HistoryIndexesMade empty = makeMissingHistoryIndexes(*db_);
    EXPECT_TRUE(empty.made.isEmpty());
    EXPECT_TRUE(empty.problem.isEmpty());

    db_->execute({kOldHistoryTable, {}});
    const QString taken = historyIndexes().front().name;
    db_->execute({u"CREATE TABLE "_s + taken + u" (x INTEGER)"_s, {}});
    const HistoryIndexesMade made = makeMissingHistoryIndexes(*db_);
    EXPECT_EQ(made.made, QStringList{historyIndexes().back().name});
    EXPECT_TRUE(made.problem.startsWith(taken + u": "_s)) << made.problem.toStdString();
}

// More serials than one statement binds, named again and again, a null among them, and a serial
// whose job row is gone: every job once, by serial, with all its rows.
TEST_P(HistoryReadingTest, JobsOfManySerialsAreReadWhole)
{
    database_.createTables();
    QList<std::pair<qint32, qint16>> keys;
    for (qint32 serial = 1; serial <= 1203; ++serial) {
        if (serial != 600)
            keys.append({serial, 0});
        keys.append({serial, 1});
        if (serial % 100 == 0)
            keys.append({serial, 2});
    }
    insertRows(keys);

    const std::vector<JobHistory> jobs =
        jobsOfSerials(*db_, {u"SELECT 通番 FROM FL1102処理履歴ファイル WHERE 通番 > ? UNION ALL SELECT NULL"_s, {0}});
    ASSERT_EQ(jobs.size(), 1202u);
    qint32 expected = 0;
    for (const JobHistory& job : jobs) {
        expected += expected + 1 == 600 ? 2 : 1;
        ASSERT_EQ(job.serial, expected);
        EXPECT_EQ(job.rows.size(), job.serial % 100 == 0 ? 3u : 2u) << job.serial;
        EXPECT_EQ(job.jobRow().branch, 0);
        EXPECT_EQ(job.jobRow().centreCode, u"C%1"_s.arg(job.serial % 7));
        EXPECT_EQ(job.jobRow().started, QDateTime(QDate(2026, 12, 9), QTime(9, 0)));
    }
    EXPECT_TRUE(jobsOfSerials(*db_, {u"SELECT 通番 FROM FL1102処理履歴ファイル WHERE 通番 < 0"_s, {}}).empty());
}

INSTANTIATE_TEST_SUITE_P(Backends, HistoryReadingTest,
                         ::testing::Values(Backend::Sqlite, Backend::PostgreSql, Backend::OdbcPostgreSql),
                         [](const auto& info) { return backendName(info.param); });

// The schema and the program make the same indexes: a database made by the one and a database
// completed by the other read alike.
TEST(HistoryIndexDefinitions, TheSchemaNamesEachWithItsColumns)
{
    const QString schema = QString::fromUtf8(readFile(qEnvironmentVariable("EDI_SOURCE_DIR") + u"/db/schema.sql"_s));
    static const QRegularExpression create(
        u"CREATE INDEX IF NOT EXISTS (\\S+) ON FL1102処理履歴ファイル \\(([^)]*)\\);"_s);
    QStringList inSchema;
    for (auto match = create.globalMatch(schema); match.hasNext();) {
        const QRegularExpressionMatch found = match.next();
        inSchema << found.captured(1) + u' ' + found.captured(2);
    }
    QStringList inProgram;
    for (const HistoryIndex& index : historyIndexes())
        inProgram << index.name + u' ' + index.columns;
    EXPECT_EQ(inSchema, inProgram);
}

}  // namespace
}  // namespace edi::test
