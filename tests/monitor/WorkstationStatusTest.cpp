#include "app/Clock.h"
#include "app/ResultCode.h"
#include "jobs/History.h"
#include "jobs/JobCodes.h"
#include "jobs/Rerun.h"
#include "monitor/Heartbeat.h"
#include "monitor/HeartbeatWatch.h"
#include "monitor/StatusCommand.h"
#include "monitor/WorkstationStatus.h"
#include "support/TestDatabase.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace edi::test {
namespace {

const QDateTime kNow(QDate(2026, 12, 9), QTime(10, 30, 0));

Heartbeat heartbeat(const QString& machine, const QDateTime& lastTick, int runState = 2)
{
    Heartbeat written;
    written.machineName = machine;
    written.version = u"0.1.0"_s;
    written.processId = 4242;
    written.started = kNow.addSecs(-3600);
    written.lastTick = lastTick;
    written.runState = runState;
    return written;
}

class WorkstationStatusTest : public ::testing::TestWithParam<Backend> {
protected:
    WorkstationStatusTest()
        : database_(GetParam())
    {
        database_.createTables();
        database_.loadDemoData(u"WS-A"_s);  // the demo's ZC02 runs on OTHER-PC
        db_ = database_.open();
    }

    // A job of the centre that the machine ran, started at `started`, its transfer and job rows
    // ended with the codes given (and the detail code, when given); the serial.
    qint32 job(const QString& centre, const QString& machine, const QDateTime& started, const QString& transferCode,
               const QString& jobCode, const QString& note = {}, const QString& detailCode = {})
    {
        ManualClock clock(started);
        History history(*db_, clock);
        HistoryStart start{0, 0, u"R"_s, u"1"_s, u"01"_s, centre,
                           note.isEmpty() ? History::machineNote(machine) : History::machineNote(machine) + u" / "_s + note};
        EXPECT_EQ(history.openJob(start), ResultCode::ok);
        HistoryStart transfer{start.serial, 0, u"R"_s, u"1"_s, u"10"_s, centre, {}};
        EXPECT_EQ(history.addStep(transfer), ResultCode::ok);
        HistoryCompletion transferEnd;
        transferEnd.serial = start.serial;
        transferEnd.branch = transfer.branch;
        transferEnd.endCode = transferCode;
        transferEnd.detailCode = detailCode;
        history.closeRow(transferEnd);
        HistoryCompletion jobEnd;
        jobEnd.serial = start.serial;
        jobEnd.endCode = jobCode;
        jobEnd.detailCode = detailCode;
        history.closeRow(jobEnd);
        return start.serial;
    }

    const WorkstationStatus& of(const std::vector<WorkstationStatus>& all, const QString& machine)
    {
        for (const WorkstationStatus& status : all)
            if (status.machineName == machine)
                return status;
        ADD_FAILURE() << "no workstation " << machine.toStdString();
        static const WorkstationStatus none;
        return none;
    }

    TestDatabase database_;
    std::unique_ptr<Database> db_;
};

// Written at start, every minute and at the end; read back alike on every database, nulls
// included. A database made before the table gets it at the first write.
TEST_P(WorkstationStatusTest, HeartbeatsAreWrittenOverAndReadBack)
{
    db_->execute({u"DROP TABLE EDI端末稼働状況"_s, {}});
    HeartbeatTable table(*db_);
    EXPECT_TRUE(table.all().empty());
    EXPECT_FALSE(table.of(u"WS-A"_s));

    Heartbeat first = heartbeat(u"WS-A"_s, kNow);
    first.nextReception = QDateTime(kNow.date(), QTime(11, 0));
    first.nextCentre = u"ZC01"_s;
    first.runningCentre = u"WC01"_s;
    first.runningSerial = 17;
    first.waitingFiles = u"/srv/edi/received/00000003_RCV_ZC01________.CII.UNCONFIRMED"_s;
    table.write(first);
    Heartbeat later = heartbeat(u"WS-A"_s, kNow.addSecs(60), 0);  // automatic running off: no next reception
    HeartbeatTable(*db_).write(later);
    table.write(heartbeat(u"WS-B"_s, kNow));

    const std::vector<Heartbeat> all = HeartbeatTable(*db_).all();
    ASSERT_EQ(all.size(), 2u);
    const Heartbeat& read = all[0];
    EXPECT_EQ(read.machineName, u"WS-A"_s);
    EXPECT_EQ(read.version, u"0.1.0"_s);
    EXPECT_EQ(read.processId, 4242);
    EXPECT_EQ(read.started, kNow.addSecs(-3600));
    EXPECT_EQ(read.lastTick, kNow.addSecs(60));
    EXPECT_EQ(read.runState, 0);
    EXPECT_FALSE(read.nextReception.isValid());
    EXPECT_TRUE(read.runningCentre.isEmpty());
    EXPECT_TRUE(read.waitingFiles.isEmpty());

    table.write(first);
    const std::optional<Heartbeat> again = table.of(u"WS-A"_s);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->nextReception, QDateTime(kNow.date(), QTime(11, 0)));
    EXPECT_EQ(again->nextCentre, u"ZC01"_s);
    EXPECT_EQ(again->runningSerial, 17);
    EXPECT_EQ(again->waitingFiles, first.waitingFiles);
}

// What an administrator checks every morning: who answers, what failed today, what waits.
TEST_P(WorkstationStatusTest, TellsWhoAnswersWhatFailedAndWhatWaits)
{
    HeartbeatTable table(*db_);
    Heartbeat alive = heartbeat(u"WS-A"_s, kNow.addSecs(-50));
    alive.waitingFiles = u"/h/WC01.CII.returned-00000004"_s;
    table.write(alive);
    table.write(heartbeat(u"WS-B"_s, kNow.addSecs(-HeartbeatTable::kSilenceSeconds - 1)));
    table.write(heartbeat(u"WS-C"_s, kNow.addSecs(-7200), Heartbeat::kEnded));

    const QDateTime morning(kNow.date(), QTime(8, 0));
    job(u"WC01"_s, u"WS-A"_s, morning, u"5100"_s, u"5100"_s);                                  // failed today
    job(u"ZC01"_s, u"WS-A"_s, morning.addDays(-1), u"5001"_s, u"5001"_s);                       // failed yesterday
    const qint32 interrupted = job(u"ZC01"_s, u"WS-A"_s, morning.addDays(-2), ResultCode::ok, JobCode::interrupted);
    const qint32 rerun = job(u"WX01"_s, u"WS-B"_s, morning.addDays(-3), ResultCode::ok, JobCode::interrupted);
    job(u"WX01"_s, u"WS-B"_s, morning.addDays(-3).addSecs(600), ResultCode::ok, ResultCode::ok, rerunNote(rerun));
    job(u"WC01"_s, u"WS-C"_s, morning, JobCode::interrupted, JobCode::interrupted);  // the data went back
    job(u"ZC01"_s, u"WS-A"_s, morning, JobCode::centreBusy, JobCode::centreBusy);       // busy is no failure
    job(u"MX01"_s, u"HAND-PC"_s, morning, u"5100"_s, u"5100"_s);                        // a job run by hand elsewhere
    // Receptions that brought nothing: no failure, and nothing to run again after an interruption.
    job(u"WC01"_s, u"WS-A"_s, morning, ResultCode::ok, ResultCode::ok, {}, JobCode::noData);
    job(u"WC01"_s, u"WS-A"_s, morning.addDays(-2), ResultCode::ok, JobCode::interrupted, {}, JobCode::notSettled);

    const std::vector<WorkstationStatus> all = readWorkstationStatus(*db_, kNow);
    QStringList names;
    for (const WorkstationStatus& status : all)
        names << status.machineName;
    EXPECT_EQ(names, (QStringList{u"HAND-PC"_s, u"OTHER-PC"_s, u"WS-A"_s, u"WS-B"_s, u"WS-C"_s}));

    const WorkstationStatus& a = of(all, u"WS-A"_s);
    EXPECT_EQ(a.liveness, Liveness::Alive);
    ASSERT_EQ(a.failedToday.size(), 1);
    EXPECT_TRUE(a.failedToday[0].startsWith(u"00000001 WC01 5100 "_s)) << a.failedToday[0].toStdString();
    EXPECT_EQ(a.interrupted, QStringList{u"%1 ZC01"_s.arg(interrupted, 8, 10, QChar(u'0'))});
    EXPECT_EQ(a.waitingFiles, QStringList{u"/h/WC01.CII.returned-00000004"_s});
    EXPECT_TRUE(a.needsAttention());

    const WorkstationStatus& b = of(all, u"WS-B"_s);
    EXPECT_EQ(b.liveness, Liveness::Silent);
    EXPECT_TRUE(b.interrupted.isEmpty());  // run again since
    EXPECT_TRUE(b.needsAttention());
    EXPECT_EQ(of(all, u"WS-C"_s).liveness, Liveness::Ended);
    EXPECT_TRUE(of(all, u"WS-C"_s).interrupted.isEmpty());
    EXPECT_EQ(of(all, u"OTHER-PC"_s).liveness, Liveness::Unknown);  // scheduled, never started
    const WorkstationStatus& hand = of(all, u"HAND-PC"_s);
    EXPECT_EQ(hand.liveness, Liveness::None);
    EXPECT_EQ(hand.failedToday.size(), 1) << hand.failedToday.join(u" | "_s).toStdString();
    EXPECT_FALSE(hand.needsAttention());  // its failure is listed; nothing of it waits

    const QJsonArray json = QJsonDocument::fromJson(formatStatusJson(all).toUtf8()).array();
    ASSERT_EQ(json.size(), 5);
    const QJsonObject jsonA = json[2].toObject();
    EXPECT_EQ(jsonA[u"state"_s].toString(), u"alive"_s);
    EXPECT_TRUE(jsonA[u"attention"_s].toBool());
    EXPECT_EQ(jsonA[u"last_tick"_s].toString(), kNow.addSecs(-50).toString(u"yyyy-MM-dd HH:mm:ss"_s));
    EXPECT_EQ(jsonA[u"failed_today"_s].toArray().size(), 1);
    EXPECT_EQ(json[3].toObject()[u"state"_s].toString(), u"unresponsive"_s);

    const QString table_ = formatStatusTable(all);
    EXPECT_TRUE(table_.contains(QRegularExpression(u"\nWS-B +応答なし +2026-12-09 10:26:59 "_s))) << table_.toStdString();
    EXPECT_TRUE(table_.contains(u"WS-A 操作待ち: ファイル /h/WC01.CII.returned-00000004"_s)) << table_.toStdString();
}

// A workstation that stops answering is told once, when it goes silent, not again each minute,
// and again after it answered once more. Silent at the first look: nobody knows since when.
TEST_P(WorkstationStatusTest, TheWatchTellsOfAWorkstationThatGoesSilentOnce)
{
    HeartbeatTable table(*db_);
    table.write(heartbeat(u"WS-A"_s, kNow));
    table.write(heartbeat(u"WS-B"_s, kNow));
    table.write(heartbeat(u"WS-OLD"_s, kNow.addDays(-3)));
    HeartbeatWatch watch(*db_, u"WS-A"_s);
    QSignalSpy lost(&watch, &HeartbeatWatch::lost);
    watch.look(kNow);
    EXPECT_TRUE(lost.isEmpty());
    watch.look(kNow.addSecs(240));  // WS-B silent for four minutes, WS-A is this one
    ASSERT_EQ(lost.size(), 1);
    EXPECT_EQ(lost.at(0).at(0).toString(), u"WS-B"_s);
    watch.look(kNow.addSecs(300));
    EXPECT_EQ(lost.size(), 1);
    table.write(heartbeat(u"WS-B"_s, kNow.addSecs(360)));
    watch.look(kNow.addSecs(370));
    table.write(heartbeat(u"WS-B"_s, kNow.addSecs(380), Heartbeat::kEnded));  // stopped on purpose
    watch.look(kNow.addSecs(900));
    EXPECT_EQ(lost.size(), 1);
}

INSTANTIATE_TEST_SUITE_P(Backends, WorkstationStatusTest,
                         ::testing::Values(Backend::Sqlite, Backend::PostgreSql, Backend::OdbcPostgreSql),
                         [](const auto& info) { return backendName(info.param); });

}  // namespace
}  // namespace edi::test
