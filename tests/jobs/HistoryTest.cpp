#include "app/Clock.h"
#include "app/ResultCode.h"
#include "app/database/ColumnValues.h"
#include "app/database/Database.h"
#include "app/text/TextHelpers.h"
#include "convert/localcii/ConversionCodes.h"
#include "convert/localcii/ConversionLog.h"
#include "jobs/CodeMeaning.h"
#include "jobs/History.h"
#include "jobs/HistoryListing.h"
#include "jobs/JobCodes.h"
#include "support/TestDatabase.h"
#include "transport/TransferCodes.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace edi::test {
namespace {

std::unique_ptr<Database> withTables(const TestDatabase& database)
{
    database.createTables();
    return database.open();
}

class HistoryTest : public ::testing::TestWithParam<Backend> {
protected:
    HistoryTest() : database_(GetParam()), db_(withTables(database_)) {}
    HistoryStart job() const { return {0, 0, u"R"_s, u"1"_s, u"01"_s, u"ABC"_s, {}}; }
    HistoryStart step(qint32 serial) const { return {serial, 0, {}, {}, {}, u"ABC"_s, {}}; }
    QVariantList row(qint32 serial, qint16 branch) const
    {
        const ResultSet rows = db_->query({u"SELECT * FROM FL1102処理履歴ファイル WHERE 通番 = ? AND 枝番 = ?"_s, {serial, branch}});
        QVariantList values;
        if (!rows.atEnd()) {
            for (int i = 0; i < rows.record().count(); ++i)
                values << rows.value(i);
        }
        return values;
    }
    int rowCount() const
    {
        int count = 0;
        for (ResultSet rows = db_->query({u"SELECT * FROM FL1102処理履歴ファイル"_s, {}}); !rows.atEnd(); rows.next())
            ++count;
        return count;
    }

    TestDatabase database_;
    std::unique_ptr<Database> db_;
    ManualClock clock_{QDateTime(QDate(2003, 4, 1), QTime(9, 5, 7))};
    History history_{*db_, clock_};
};

TEST_P(HistoryTest, SerialsAndBranchesCountOnFromTheHighest)
{
    HistoryStart first = job();
    ASSERT_EQ(history_.openJob(first), u"0000"_s);
    EXPECT_EQ(first.serial, 1);
    EXPECT_EQ(first.branch, 0);
    HistoryStart firstStep = step(1);
    ASSERT_EQ(history_.addStep(firstStep), u"0000"_s);
    EXPECT_EQ(firstStep.branch, 1);

    // The highest serial wins however many branches it has, and gaps are not reused.
    db_->execute({u"INSERT INTO FL1102処理履歴ファイル (通番, 枝番) VALUES (41, 0), (41, 1), (41, 2), (7, 9)"_s, {}});
    HistoryStart next = job();
    ASSERT_EQ(history_.openJob(next), u"0000"_s);
    EXPECT_EQ(next.serial, 42);
    HistoryStart onOld = step(41);
    ASSERT_EQ(history_.addStep(onOld), u"0000"_s);
    EXPECT_EQ(onOld.branch, 3);

    // The job row keeps its values, a step row gets a blank for each empty one.
    const QVariantList jobRow = row(1, 0);
    EXPECT_EQ(jobRow.mid(2, 3), (QVariantList{u"R"_s, u"1"_s, u"01"_s}));
    EXPECT_EQ(dateValue(jobRow[5]), QDate(2003, 4, 1));
    EXPECT_EQ(timeValue(jobRow[6]), QTime(9, 5, 7));
    EXPECT_EQ(row(1, 1).mid(2, 3), (QVariantList{u" "_s, u" "_s, u" "_s}));
}

// A serial whose files an earlier job left is passed over, and the job row says why.
TEST_P(HistoryTest, ASerialAnEarlierJobsFilesUseIsPassedOver)
{
    QList<qint32> asked;
    History history(*db_, clock_, [&asked](qint32 serial) {
        asked << serial;
        return serial <= 3 ? u"backup/%1_RCV_ABC.CII があります"_s.arg(serialText(serial)) : QString();
    });
    HistoryStart start = job();
    start.note = u"端末 PC1"_s;
    QString skipped;
    ASSERT_EQ(history.openJob(start, &skipped), u"0000"_s);
    EXPECT_EQ(start.serial, 4);
    EXPECT_EQ(asked, (QList<qint32>{1, 2, 3, 4}));
    EXPECT_EQ(skipped, u"通番 00000001 から 00000003 は前のジョブのファイルがあるため使いません"
                       u" (データベースが古い写しから戻された可能性があります): backup/00000001_RCV_ABC.CII があります"_s);
    EXPECT_EQ(db_->query({u"SELECT 備考 FROM FL1102処理履歴ファイル"_s, {}}).value(0).toString(), u"端末 PC1 / "_s + skipped);

    HistoryStart next = job();
    ASSERT_EQ(history.openJob(next, &skipped), u"0000"_s);
    EXPECT_EQ(next.serial, 5);
    EXPECT_TRUE(skipped.isEmpty());
}

// Another workstation's job row takes the serial between this one's look-up of the highest
// serial and its insert: the insert fails on the key, and the serial after it is taken.
TEST_P(HistoryTest, ASerialAnotherWriterTakesMeanwhileIsRetried)
{
    const std::unique_ptr<Database> other = database_.open();
    QList<qint32> asked;
    History history(*db_, clock_, [&](qint32 serial) {
        asked << serial;
        if (asked.size() == 1)
            other->execute({u"INSERT INTO FL1102処理履歴ファイル (通番, 枝番, センターコード) VALUES (?, 0, ?)"_s, {serial, u"XYZ"_s}});
        return QString();
    });
    HistoryStart start = job();
    ASSERT_EQ(history.openJob(start), u"0000"_s);
    EXPECT_EQ(start.serial, 2);
    EXPECT_EQ(asked, (QList<qint32>{1, 2}));
    EXPECT_EQ(row(1, 0).value(7).toString(), u"XYZ"_s);
    EXPECT_EQ(row(2, 0).value(7).toString(), u"ABC"_s);
}

TEST_P(HistoryTest, StepsAndCompletionsNeedTheirRow)
{
    HistoryStart orphan = step(0);
    EXPECT_EQ(history_.addStep(orphan), u"9999"_s);
    EXPECT_EQ(rowCount(), 0);

    HistoryCompletion missing;
    missing.serial = 5;
    missing.branch = 1;
    EXPECT_EQ(history_.closeRow(missing), u"0000"_s);
    EXPECT_EQ(missing.endCode, u"9999"_s);
    EXPECT_EQ(rowCount(), 0);
    HistoryCompletion noSerial;
    EXPECT_EQ(history_.closeRow(noSerial), u"9999"_s);

    db_->execute({u"INSERT INTO FL1102処理履歴ファイル (通番, 枝番) VALUES (3, 32767)"_s, {}});
    HistoryStart tooMany = step(3);
    EXPECT_EQ(history_.addStep(tooMany), u"9999"_s);
}

TEST_P(HistoryTest, CompletionFillsDefaults)
{
    HistoryStart start = job();
    ASSERT_EQ(history_.openJob(start), u"0000"_s);
    clock_.advanceSeconds(65);
    HistoryCompletion completion;
    completion.serial = start.serial;
    completion.inputRecords = 12;
    ASSERT_EQ(history_.closeRow(completion), u"0000"_s);
    const ResultSet rows = db_->query({u"SELECT * FROM FL1102処理履歴ファイル"_s, {}});
    EXPECT_EQ(timeValue(rows.value(u"処理終了時刻"_s)), QTime(9, 6, 12));
    EXPECT_EQ(rows.value(u"終了コード"_s).toString(), u"0000"_s);
    EXPECT_EQ(rows.value(u"詳細コード"_s).toString(), u"0000"_s);
    EXPECT_EQ(rows.value(u"BPID"_s).toString(), u" "_s);
    EXPECT_EQ(rows.value(u"ファイル名"_s).toString(), u" "_s);
    EXPECT_EQ(rows.value(u"入力レコード数"_s).toInt(), 12);
}

TEST_P(HistoryTest, NotesAccumulateBesideTheCodes)
{
    HistoryStart start = job();
    start.note = u"再実行 00000007"_s;
    ASSERT_EQ(history_.openJob(start), u"0000"_s);
    HistoryCompletion completion;
    completion.serial = start.serial;
    completion.endCode = u"9999"_s;
    completion.note = u"変換ｴﾗｰ"_s;
    ASSERT_EQ(history_.closeRow(completion), u"0000"_s);
    // A row already completed takes a later note and detail code without losing its end code.
    ASSERT_EQ(history_.annotateRow(start.serial, 0, u"バックアップエラー"_s, u"8003"_s), u"0000"_s);
    auto note = [this] { return db_->query({u"SELECT 備考 FROM FL1102処理履歴ファイル"_s, {}}).value(0).toString(); };
    EXPECT_EQ(note(), u"再実行 00000007 / 変換ｴﾗｰ / バックアップエラー"_s);
    const ResultSet rows = db_->query({u"SELECT 終了コード, 詳細コード FROM FL1102処理履歴ファイル"_s, {}});
    EXPECT_EQ(rows.value(0).toString() + u'/' + rows.value(1).toString(), u"9999/8003"_s);
    EXPECT_EQ(history_.annotateRow(99, 0, u"none"_s), u"9999"_s);

    // A note is cut to what the column keeps.
    ASSERT_EQ(history_.annotateRow(start.serial, 0, QString(2000, u'x')), u"0000"_s);
    EXPECT_EQ(note().size(), History::kNoteLength);
}

TEST_P(HistoryTest, ATableMadeWithoutTheNoteColumnGetsIt)
{
    db_->execute({u"DROP TABLE FL1102処理履歴ファイル"_s, {}});
    db_->execute({u"CREATE TABLE FL1102処理履歴ファイル (通番 INTEGER NOT NULL, 枝番 SMALLINT NOT NULL,"
                  u" 送受信種別 VARCHAR(1), 相手先種別 VARCHAR(1), 処理種別 VARCHAR(2), 処理開始日付 DATE,"
                  u" 処理開始時刻 TIME, センターコード VARCHAR(12), PRIMARY KEY (通番, 枝番))"_s,
                  {}});
    HistoryStart start = job();
    ASSERT_EQ(history_.openJob(start), u"0000"_s);  // no note: the table stays as it is
    start.note = u"note"_s;
    ASSERT_EQ(history_.openJob(start), u"0000"_s);
    EXPECT_EQ(db_->query({u"SELECT 備考 FROM FL1102処理履歴ファイル WHERE 通番 = 2"_s, {}}).value(0).toString(), u"note"_s);
}

TEST_P(HistoryTest, OpenJobsBelongToTheMachineThatRanThem)
{
    db_->execute({u"INSERT INTO FL1903EDI制御マスタ (センターコード, 実行端末名) VALUES (?, ?), (?, ?)"_s,
                  {u"ABC"_s, u"PC1"_s, u"XYZ"_s, u"PC2"_s}});
    auto open = [this](const QString& centre, const QString& note) {
        HistoryStart start{0, 0, u"R"_s, u"1"_s, u"01"_s, centre, note};
        EXPECT_EQ(history_.openJob(start), u"0000"_s);
    };
    open(u"ABC"_s, History::machineNote(u"PC1"_s));                     // 1: ran here
    open(u"ABC"_s, History::machineNote(u"PC2"_s));                     // 2: run by PC2 for PC1's centre
    open(u"ABC"_s, {});                                                  // 3: no note: the centre's machine
    open(u"XYZ"_s, History::machineNote(u"PC1"_s) + u" / 再実行"_s);    // 4: ran here for PC2's centre
    open(u"XYZ"_s, {});                                                  // 5
    open(u"ABC"_s, History::machineNote(u"PC10"_s));                    // 6: a name that begins alike
    HistoryCompletion done;
    done.serial = 3;
    ASSERT_EQ(history_.closeRow(done), u"0000"_s);  // 3 is complete after all

    using Jobs = std::vector<std::pair<qint32, QString>>;
    EXPECT_EQ(history_.openJobs(u"PC1"_s), (Jobs{{1, u"ABC"_s}, {4, u"XYZ"_s}}));
    EXPECT_EQ(history_.openJobs(u"PC2"_s), (Jobs{{2, u"ABC"_s}, {5, u"XYZ"_s}}));
    EXPECT_EQ(history_.openJobs(u"PC1"_s, u"XYZ"_s), (Jobs{{4, u"XYZ"_s}}));

    // Of the others' open jobs, those whose transfer is still open too.
    for (qint32 serial : {2, 5, 6}) {
        HistoryStart transfer{serial, 0, u"R"_s, u"1"_s, u"10"_s, serial == 5 ? u"XYZ"_s : u"ABC"_s, {}};
        ASSERT_EQ(history_.addStep(transfer), u"0000"_s);
    }
    HistoryCompletion transferred;
    transferred.serial = 6;
    transferred.branch = 1;
    ASSERT_EQ(history_.closeRow(transferred), u"0000"_s);
    EXPECT_EQ(history_.openTransfersElsewhere(u"PC1"_s, u"ABC"_s), (Jobs{{2, u"端末 PC2"_s}}));
    EXPECT_EQ(history_.openTransfersElsewhere(u"PC1"_s, u"XYZ"_s), (Jobs{{5, QString()}}));
    EXPECT_EQ(history_.openTransfersElsewhere(u"PC2"_s, u"XYZ"_s), Jobs{});
}

TEST_P(HistoryTest, ALostDatabaseGivesTheFailureCode)
{
    db_->execute({u"DROP TABLE FL1102処理履歴ファイル"_s, {}});
    HistoryStart start = job();
    EXPECT_EQ(history_.openJob(start), u"9999"_s);
    HistoryStart next = step(1);
    EXPECT_EQ(history_.addStep(next), u"9999"_s);
    HistoryCompletion completion;
    completion.serial = 1;
    EXPECT_EQ(history_.closeRow(completion), u"9999"_s);
}

TEST_P(HistoryTest, JobsAreListedByDayCentreAndFailureWithAllTheirSteps)
{
    auto run = [&](QDate day, const QString& centre, const QString& endCode) {
        clock_.set(QDateTime(day, QTime(10, 0)));
        HistoryStart start = job();
        start.centreCode = centre;
        EXPECT_EQ(history_.openJob(start), u"0000"_s);
        HistoryStart transfer = step(start.serial);
        transfer.processingKind = u"10"_s;
        transfer.centreCode = centre;
        EXPECT_EQ(history_.addStep(transfer), u"0000"_s);
        for (qint16 branch : {qint16(1), qint16(0)}) {
            HistoryCompletion done;
            done.serial = start.serial;
            done.branch = branch;
            done.endCode = endCode;
            done.transactionCategory = u"0101"_s;
            done.inputRecords = 7;
            EXPECT_EQ(history_.closeRow(done), u"0000"_s);
        }
    };
    const QDate monday(2026, 12, 7);
    run(monday.addDays(-1), u"ABC"_s, u"0000"_s);  // 1
    run(monday, u"ABC"_s, u"0000"_s);              // 2
    run(monday, u"XYZ"_s, u"5100"_s);              // 3
    run(monday.addDays(1), u"XYZ"_s, u"0000"_s);   // 4
    clock_.set(QDateTime(monday, QTime(11, 0)));
    HistoryStart open = job();
    ASSERT_EQ(history_.openJob(open), u"0000"_s);  // 5: still running

    auto serials = [&](const HistoryFilter& filter) {
        QList<qint32> found;
        for (const JobHistory& listed : history_.jobs(filter))
            found << listed.serial;
        return found;
    };
    EXPECT_EQ(serials({monday, monday, {}, false}), (QList<qint32>{2, 3, 5}));
    EXPECT_EQ(serials({monday, monday.addDays(1), u"XYZ"_s, false}), (QList<qint32>{3, 4}));
    EXPECT_EQ(serials({monday.addDays(-7), monday.addDays(7), {}, true}), QList<qint32>{3});
    EXPECT_TRUE(serials({monday.addDays(2), monday.addDays(2), {}, false}).isEmpty());

    const std::vector<JobHistory> failed = history_.jobs({monday, monday, {}, true});
    ASSERT_EQ(failed.size(), 1u);
    ASSERT_EQ(failed[0].rows.size(), 2u);
    EXPECT_EQ(failed[0].jobRow().endCode, u"5100"_s);
    EXPECT_EQ(failed[0].rows[1].processingKind, u"10"_s);
    EXPECT_EQ(failed[0].rows[1].inputRecords, 7);
    EXPECT_EQ(failed[0].rows[1].started, QDateTime(monday, QTime(10, 0)));
}

INSTANTIATE_TEST_SUITE_P(Backends, HistoryTest, ::testing::Values(Backend::Sqlite, Backend::PostgreSql),
                         [](const auto& info) { return backendName(info.param); });

TEST(HistoryListing, TableCsvAndJsonTellTheSameRows)
{
    HistoryRow jobRow;
    jobRow.processingKind = u"01"_s;
    jobRow.centreCode = u"WC01"_s;
    jobRow.started = QDateTime(QDate(2026, 12, 7), QTime(9, 15));
    jobRow.completed = true;
    jobRow.ended = jobRow.started.addSecs(2);
    jobRow.endCode = u"5100"_s;
    jobRow.detailCode = u"0000"_s;
    jobRow.note = u"端末 PC1, \"持込\""_s;
    HistoryRow transfer = jobRow;
    transfer.branch = 1;
    transfer.ended = {};
    transfer.processingKind = u"10"_s;
    transfer.detailCode = u"9999"_s;
    transfer.note = u"受信データなし: 持込ファイル /in/WC01.CII がありません"_s;
    transfer.completed = false;
    const std::vector<JobHistory> jobs{{12, {jobRow, transfer}}};

    const QStringList csv = formatHistory(jobs, HistoryFormat::Csv).split(u"\r\n"_s);
    EXPECT_EQ(csv[0], historyColumnKeys().join(u','));
    EXPECT_EQ(csv[1], u"12,0,ジョブ,WC01,2026-12-07 09:15:00,2026-12-07 09:15:02,5100,0000,メール・持込の受信エラー,,0,0,,"
                      u"\"端末 PC1, \"\"持込\"\"\""_s);
    EXPECT_TRUE(csv[2].startsWith(u"12,1,受信,WC01,2026-12-07 09:15:00,,5100,9999,実行中または中断,"_s)) << csv[2].toStdString();

    const QJsonArray json = QJsonDocument::fromJson(formatHistory(jobs, HistoryFormat::Json).toUtf8()).array();
    ASSERT_EQ(json.size(), 1);
    EXPECT_EQ(json[0][u"serial"_s].toInt(), 12);
    EXPECT_EQ(json[0][u"meaning"_s].toString(), u"メール・持込の受信エラー"_s);
    ASSERT_EQ(json[0][u"steps"_s].toArray().size(), 1);
    EXPECT_EQ(json[0][u"steps"_s][0][u"note"_s].toString(), transfer.note);
    EXPECT_TRUE(json[0][u"steps"_s][0][u"ended"_s].isNull());

    // The table: a title line and a line per row, the columns aligned as a terminal shows them.
    const QStringList table = formatHistory(jobs, HistoryFormat::Table).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(table.size(), 3);
    const qsizetype meaningColumn = ansiByteLength(table[0].left(table[0].indexOf(u"意味"_s)));
    EXPECT_EQ(ansiByteLength(table[1].left(table[1].indexOf(u"メール・持込"_s))), meaningColumn);
    EXPECT_EQ(ansiByteLength(table[2].left(table[2].indexOf(u"実行中"_s))), meaningColumn);
}

// Every end code a job, a step or a converter writes has words, on the rows that write it; a
// detail code that says more than its end code has words of its own.
TEST(CodeMeaning, EveryCodeTheSystemWritesHasWords)
{
    const QString job = u"01"_s;
    for (const QString& code : {ResultCode::ok, ResultCode::failed})
        EXPECT_FALSE(codeMeaning(job, code).isEmpty()) << code.toStdString();
    for (const QString& code : JobCode::endCodes)
        EXPECT_FALSE(codeMeaning(job, code).isEmpty()) << code.toStdString();
    for (const QString& code : TransferCode::endCodes)
        EXPECT_FALSE(codeMeaning(u"10"_s, code, u"0042"_s).isEmpty()) << code.toStdString();

    const QString notAConverterCode = conversionCodeText(0);
    for (const int code : ConversionCode::errors) {
        EXPECT_NE(conversionCodeText(code), notAConverterCode) << code;
        const QString fourDigits = u"%1"_s.arg(code, 4, 10, QChar(u'0'));
        for (const QString& conversion : {u"31"_s, u"32"_s, u"33"_s, u"34"_s})
            EXPECT_EQ(codeMeaning(conversion, fourDigits, fourDigits), conversionCodeText(code)) << code;
        // The same digits on a row of another kind are no converter's.
        EXPECT_TRUE(codeMeaning(u"10"_s, fourDigits).isEmpty()) << code;
    }
    for (const int code : ConversionCode::warnings)
        EXPECT_NE(conversionCodeText(code), notAConverterCode) << code;
    EXPECT_EQ(codeMeaning(u"31"_s, ResultCode::failed, ResultCode::failed), codeMeaning(job, ResultCode::failed));
    EXPECT_EQ(codeMeaning(u"31"_s, JobCode::interrupted), codeMeaning(job, JobCode::interrupted));

    for (const QString& detail : JobCode::successDetails) {
        EXPECT_NE(codeMeaning(job, ResultCode::ok, detail), codeMeaning(job, ResultCode::ok)) << detail.toStdString();
        EXPECT_EQ(codeMeaning(u"10"_s, ResultCode::ok, detail), codeMeaning(job, ResultCode::ok, detail)) << detail.toStdString();
    }
    EXPECT_EQ(codeMeaning(u"10"_s, ResultCode::ok, JobCode::noData), u"受信データなし"_s);
    EXPECT_EQ(codeMeaning(u"10"_s, ResultCode::ok, JobCode::notSettled), u"書込み中のため受信せず"_s);
    EXPECT_NE(codeMeaning(job, JobCode::registrationFailed, JobCode::noStatusFile),
              codeMeaning(job, JobCode::registrationFailed, JobCode::programNotRun));
}

}  // namespace
}  // namespace edi::test
