#include "app/database/CodeLookup.h"
#include "app/database/ColumnValues.h"
#include "app/database/Database.h"
#include "app/database/DatabaseError.h"
#include "app/database/SqlScript.h"
#include "support/TestDatabase.h"

#include <QElapsedTimer>
#include <functional>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

using test::Backend;
using test::TestDatabase;

const QStringList kTables = {u"区分マスタ"_s, u"FL1903EDI制御マスタ"_s, u"FL1912EDIスケジュールマスタ"_s,
                             u"FL1102処理履歴ファイル"_s, u"FL1915センタ利用企業マスタ"_s,
                             u"FL1902フォーマット情報マスタ"_s, u"FL1903レコードフォーマット情報マスタ"_s};

class DatabaseTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        test_ = std::make_unique<TestDatabase>(GetParam());
        test_->createTables();
        db_ = test_->open();
    }

    void insertHistoryRow(int serial, int branch, const QString& centre)
    {
        db_->execute({u"INSERT INTO FL1102処理履歴ファイル (通番, 枝番, 送受信種別, 処理開始日付, 処理開始時刻, センターコード)"
                      u" VALUES (?, ?, ?, ?, ?, ?)"_s,
                      {serial, branch, u"R"_s, QDate(2003, 4, 1), QTime(9, 5, 7), centre}});
    }

    std::unique_ptr<TestDatabase> test_;
    std::unique_ptr<Database> db_;
};

TEST_P(DatabaseTest, EveryTableReadsByItsJapaneseColumnNames)
{
    for (const QString& table : kTables) {
        const ResultSet rows = db_->query({u"SELECT * FROM "_s + table, {}});
        EXPECT_TRUE(rows.atEnd()) << table.toStdString();
        EXPECT_EQ(db_->noRowsFlag(), u'9');
    }
    const ResultSet format = db_->query({u"SELECT * FROM FL1902フォーマット情報マスタ"_s, {}});
    EXPECT_GE(format.record().indexOf(u"1バイト文字集合"_s), 0);
    const ResultSet layout = db_->query({u"SELECT * FROM FL1903レコードフォーマット情報マスタ"_s, {}});
    EXPECT_GE(layout.record().indexOf(u"項目№"_s), 0);
    EXPECT_GE(layout.record().indexOf(u"bpid"_s), 0);  // case does not matter
}

TEST_P(DatabaseTest, BoundValuesStayValues)
{
    const QString hostile = u"Z' OR '1'='1"_s;  // fits the 12-character centre code
    EXPECT_EQ(db_->execute({u"INSERT INTO FL1903EDI制御マスタ (センターコード, センター名) VALUES (?, ?)"_s,
                            {u"ZC01"_s, u"東日本受注センター"_s}}),
              1);
    ResultSet none = db_->query({u"SELECT * FROM FL1903EDI制御マスタ WHERE センターコード = ?"_s, {hostile}});
    EXPECT_TRUE(none.atEnd());

    insertHistoryRow(1, 0, hostile);
    ResultSet rows = db_->query({u"SELECT * FROM FL1102処理履歴ファイル WHERE センターコード = ?"_s, {hostile}});
    ASSERT_FALSE(rows.atEnd());
    EXPECT_EQ(db_->noRowsFlag(), u'0');
    EXPECT_EQ(rows.value(u"センターコード"_s).toString(), hostile);
    EXPECT_EQ(dateValue(rows.value(u"処理開始日付"_s)), QDate(2003, 4, 1));
    EXPECT_EQ(timeValue(rows.value(u"処理開始時刻"_s)), QTime(9, 5, 7));
    EXPECT_TRUE(rows.value(u"処理終了日付"_s).isNull());
    rows.next();
    EXPECT_TRUE(rows.atEnd());
    EXPECT_THROW(rows.value(u"通番"_s), DatabaseError);
}

TEST_P(DatabaseTest, ReadsRowsInOrderAndUnknownColumnsThrow)
{
    for (int serial : {3, 1, 2})
        insertHistoryRow(serial, 0, u"ZC01"_s);
    QList<int> serials;
    for (ResultSet rows = db_->query({u"SELECT 通番 FROM FL1102処理履歴ファイル ORDER BY 通番 DESC, 枝番 DESC"_s, {}});
         !rows.atEnd(); rows.next()) {
        serials << rows.value(u"通番"_s).toInt();
        EXPECT_THROW(rows.value(u"枝番"_s), DatabaseError);
    }
    EXPECT_EQ(serials, (QList<int>{3, 2, 1}));
}

TEST_P(DatabaseTest, UpdatableRowChangesInPlace)
{
    insertHistoryRow(41, 0, u"ZC01"_s);
    insertHistoryRow(41, 1, u"ZC01"_s);
    UpdatableResultSet row = db_->queryForUpdate(
        {u"SELECT * FROM FL1102処理履歴ファイル WHERE 通番 = ? AND 枝番 = ?"_s, {41, 1}},
        u"FL1102処理履歴ファイル"_s, {u"通番"_s, u"枝番"_s});
    ASSERT_FALSE(row.atEnd());
    row.setValue(u"処理終了日付"_s, QDate(2003, 4, 1));
    row.setValue(u"処理終了時刻"_s, QTime(9, 6, 0));
    row.setValue(u"終了コード"_s, u"0000"_s);
    row.update();

    ResultSet check = db_->query({u"SELECT * FROM FL1102処理履歴ファイル ORDER BY 枝番"_s, {}});
    EXPECT_TRUE(check.value(u"終了コード"_s).isNull());  // the other row is untouched
    check.next();
    EXPECT_EQ(check.value(u"終了コード"_s).toString(), u"0000"_s);
    EXPECT_EQ(timeValue(check.value(u"処理終了時刻"_s)), QTime(9, 6, 0));

    UpdatableResultSet missing = db_->queryForUpdate(
        {u"SELECT * FROM FL1102処理履歴ファイル WHERE 通番 = ? AND 枝番 = ?"_s, {41, 9}},
        u"FL1102処理履歴ファイル"_s, {u"通番"_s, u"枝番"_s});
    EXPECT_TRUE(missing.atEnd());
    EXPECT_EQ(db_->noRowsFlag(), u'9');
}

TEST_P(DatabaseTest, DuplicateKeysAndBadStatementsThrow)
{
    insertHistoryRow(1, 0, u"ZC01"_s);
    EXPECT_THROW(insertHistoryRow(1, 0, u"ZC01"_s), DatabaseError);
    EXPECT_THROW(db_->query({u"SELECT * FROM no_such_table"_s, {}}), DatabaseError);
    // The connection carries on after a failed statement.
    EXPECT_FALSE(db_->query({u"SELECT * FROM FL1102処理履歴ファイル"_s, {}}).atEnd());
}

TEST_P(DatabaseTest, APreparedStatementRunsForEachSetOfValues)
{
    PreparedStatement insert = db_->prepare(u"INSERT INTO 区分マスタ (区分, 区分ｺｰﾄﾞ, 区分名称) VALUES (?, ?, ?)"_s);
    EXPECT_EQ(insert.execute({u"送受信方式"_s, u"Z"_s, u"CVXLINK"_s}), 1);
    EXPECT_EQ(insert.execute({u"送受信方式"_s, u"M"_s, QVariant(QMetaType::fromType<QString>())}), 1);
    EXPECT_THROW(insert.execute({u"送受信方式"_s, u"Z"_s, u"again"_s}), DatabaseError);
    EXPECT_EQ(insert.execute({u"送受信方式"_s, u"W"_s, u"持込"_s}), 1);  // it carries on after a failure
    ResultSet rows = db_->query({u"SELECT 区分ｺｰﾄﾞ, 区分名称 FROM 区分マスタ ORDER BY 区分ｺｰﾄﾞ"_s, {}});
    EXPECT_EQ(rows.value(0).toString(), u"M"_s);
    EXPECT_TRUE(rows.value(1).isNull());
    rows.next();
    EXPECT_EQ(rows.value(1).toString(), u"持込"_s);
    rows.next();
    EXPECT_EQ(rows.value(1).toString(), u"CVXLINK"_s);
}

TEST_P(DatabaseTest, TransactionRollsBackWhenItsWorkThrows)
{
    EXPECT_THROW(db_->inTransaction([&] {
        insertHistoryRow(5, 0, u"ZC01"_s);
        throw DatabaseError(u"stop"_s);
    }),
                 DatabaseError);
    EXPECT_TRUE(db_->query({u"SELECT * FROM FL1102処理履歴ファイル"_s, {}}).atEnd());
}

TEST_P(DatabaseTest, CodeNamesFallBackToEmpty)
{
    db_->execute({u"INSERT INTO 区分マスタ (区分, 区分ｺｰﾄﾞ, 区分名称) VALUES (?, ?, ?), (?, ?, NULL)"_s,
                  {u"送受信方式"_s, u"Z"_s, u"CVXLINK"_s, u"送受信方式"_s, u"M"_s}});
    EXPECT_EQ(lookUpCodeName(*db_, u"送受信方式"_s, u"Z"_s), u"CVXLINK"_s);
    EXPECT_EQ(lookUpCodeName(*db_, u"送受信方式"_s, u"M"_s), QString());
    EXPECT_EQ(lookUpCodeName(*db_, u"送受信方式"_s, u"W"_s), QString());
    EXPECT_EQ(lookUpCodeName(*db_, u"送受信方式"_s, u"Z' OR '1'='1"_s), QString());
    db_->execute({u"DROP TABLE 区分マスタ"_s, {}});
    EXPECT_EQ(lookUpCodeName(*db_, u"送受信方式"_s, u"Z"_s), QString());
}

INSTANTIATE_TEST_SUITE_P(Backends, DatabaseTest,
                         ::testing::Values(Backend::Sqlite, Backend::PostgreSql, Backend::OdbcPostgreSql),
                         [](const auto& info) { return test::backendName(info.param); });

TEST_P(DatabaseTest, AStatementEndsAtItsTimeLimit)
{
    if (GetParam() == Backend::Sqlite)
        GTEST_SKIP() << "an embedded database has no server to wait for";
    EXPECT_EQ(db_->firstRowOnly(), u" LIMIT 1"_s);  // the server is known behind the data source too
    ConnectionSettings shortLimit = test_->settings();
    shortLimit.queryTimeoutSeconds = 1;
    const std::unique_ptr<Database> db = Database::open(shortLimit);
    QElapsedTimer timer;
    timer.start();
    EXPECT_THROW(db->query({u"SELECT pg_sleep(20)"_s, {}}), DatabaseError);
    EXPECT_LT(timer.elapsed(), 10000);
}

// What Qt itself would write to standard error while it is installed.
class QtMessages {
public:
    QtMessages() { previous_ = qInstallMessageHandler(&record); }
    ~QtMessages() { qInstallMessageHandler(previous_); }
    static QStringList& recorded()
    {
        static QStringList messages;
        return messages;
    }

private:
    static void record(QtMsgType, const QMessageLogContext&, const QString& message) { recorded() << message; }
    QtMessageHandler previous_;
};

// The server drops the connection: every statement from then on fails with a Japanese line that
// says so, and the connection comes back when asked to.
TEST_P(DatabaseTest, ALostConnectionSaysSoAndComesBack)
{
    if (GetParam() == Backend::Sqlite)
        GTEST_SKIP() << "an embedded database has no connection to lose";
    insertHistoryRow(1, 0, u"ZC01"_s);
    test_->open()->query({u"SELECT pg_terminate_backend(pid) FROM pg_stat_activity"
                          u" WHERE datname = current_database() AND pid <> pg_backend_pid()"_s,
                          {}});
    QtMessages::recorded().clear();
    QStringList failures;
    {
        const QtMessages messages;
        auto failure = [&](const std::function<void()>& statement) {
            try {
                statement();
                failures << u"(no error)"_s;
            } catch (const DatabaseError& error) {
                failures << error.message();
            }
        };
        const Sql select{u"SELECT * FROM FL1102処理履歴ファイル WHERE 通番 = ?"_s, {1}};
        failure([&] { db_->query(select); });
        failure([&] { db_->query(select); });
        failure([&] { db_->execute({u"DELETE FROM FL1102処理履歴ファイル"_s, {}}); });
        failure([&] { db_->prepare(u"SELECT 1"_s); });
        failure([&] { db_->inTransaction([] {}); });
    }
    ASSERT_EQ(failures.size(), 5);
    for (const QString& failure : failures)
        EXPECT_TRUE(failure.startsWith(u"データベースへの接続が切れ"_s)) << failures.join(u"\n"_s).toStdString();
    EXPECT_TRUE(db_->connectionLost());
    // Qt is not asked to run statements on a closed connection, which it would warn about. (The
    // ODBC driver's line about the statement that failed first is left out by a handler of the
    // program's, which this recorder stands in front of.)
    for (const QString& message : QtMessages::recorded())
        EXPECT_FALSE(message.contains(u"not open"_s, Qt::CaseInsensitive)) << message.toStdString();

    db_->reconnectIfLost();
    EXPECT_FALSE(db_->connectionLost());
    EXPECT_FALSE(db_->query({u"SELECT * FROM FL1102処理履歴ファイル WHERE 通番 = ?"_s, {1}}).atEnd());
}

TEST(DatabaseOpen, FailsForUnreachableDatabases)
{
    ConnectionSettings odbc;
    odbc.dataSource = u"NoSuchDataSource"_s;
    EXPECT_THROW(Database::open(odbc), DatabaseError);
    odbc.dataSource.clear();  // "DSN=;UID=;PWD=;" and no default data source
    EXPECT_THROW(Database::open(odbc), DatabaseError);

    ConnectionSettings sqlite;
    sqlite.kind = DatabaseKind::Sqlite;
    sqlite.dataSource = u"/nonexistent/edi.sqlite"_s;
    EXPECT_THROW(Database::open(sqlite), DatabaseError);

    ConnectionSettings unknown;
    unknown.kind = DatabaseKind::Unknown;
    EXPECT_THROW(Database::open(unknown), DatabaseError);

    ConnectionSettings down;  // nothing listens on port 1
    down.kind = DatabaseKind::PostgreSql;
    down.dataSource = u"host=127.0.0.1 port=1 dbname=edi"_s;
    QElapsedTimer timer;
    timer.start();
    EXPECT_THROW(Database::open(down), DatabaseError);
    EXPECT_LT(timer.elapsed(), 10000);
}

TEST(SqlScript, SplitsStatementsAtLineEnds)
{
    EXPECT_EQ(splitSqlScript(u"-- comment\nCREATE TABLE a (x INTEGER);\n\nINSERT INTO a VALUES\n  (1),\n  (2);\nSELECT 1"_s),
              (QStringList{u"CREATE TABLE a (x INTEGER)"_s, u"INSERT INTO a VALUES\n  (1),\n  (2)"_s, u"SELECT 1"_s}));
}

// Times as the drivers give them: text from SQLite (with the milliseconds Qt writes), after a
// date from some ODBC drivers, or typed values; anything else is no time.
TEST(ColumnValues, TimesInEveryFormTheDriversGive)
{
    EXPECT_EQ(timeValue(u"09:05:07"_s), QTime(9, 5, 7));
    EXPECT_EQ(timeValue(u"09:05:07.000"_s), QTime(9, 5, 7));
    EXPECT_EQ(timeValue(u" 9:05 "_s), QTime(9, 5));
    EXPECT_EQ(timeValue(u"1899-12-30 23:59:59"_s), QTime(23, 59, 59));
    EXPECT_EQ(timeValue(u"2026-12-09T00:00:01.250"_s), QTime(0, 0, 1));
    EXPECT_EQ(timeValue(QTime(8, 30)), QTime(8, 30));
    EXPECT_EQ(timeValue(QDateTime(QDate(2026, 1, 2), QTime(10, 11, 12))), QTime(10, 11, 12));
    for (const QString& bad : {u""_s, u"24:00:00"_s, u"9:5"_s, u"09:60"_s, u"09:05:7"_s, u"9:05:07:01"_s, u"ab:cd"_s,
                               u"１０:００"_s, u"-1:00"_s, u"123:00"_s})
        EXPECT_FALSE(timeValue(bad).isValid()) << bad.toStdString();
}

}  // namespace
}  // namespace edi
