#include "../jobs/JobFixture.h"
#include "monitor/HeadlessMonitor.h"
#include "monitor/JobWorker.h"
#include "monitor/MonitorEngine.h"
#include "support/TestFiles.h"

#include <QEventLoop>
#include <QSignalSpy>
#include <QTimer>
#include <csignal>

using namespace Qt::Literals::StringLiterals;

namespace edi::test {
namespace {

// 2026-12-09 is a Wednesday (weekday 4); the demo's centres belong to this workstation.
const QDate kWednesday(2026, 12, 9);
constexpr int kEveryDay[] = {1, 2, 3, 4, 5, 6, 7};

class MonitorEngineTest : public JobFixture {
protected:
    // The schedule goes into the masters; the engine starts from them at `now`, as a scheduler does.
    void startEngine(const std::vector<Reception>& schedule, const QDateTime& now, int catchupMinutes = 0,
                     const QDateTime& lastAlive = {})
    {
        replaceSchedule(schedule);
        clock_.set(now);
        source_ = std::make_unique<TimetableSource>(*db_, kMachine, catchupMinutes);
        engine_ = std::make_unique<MonitorEngine>(clock_, *source_, source_->startingTimetable(now, lastAlive),
                                                  std::make_unique<JobWorker>(db_->settings(), settings_, clock_, mail_));
        missed_ = std::make_unique<QSignalSpy>(engine_.get(), &MonitorEngine::missed);
        rebuilt_ = std::make_unique<QSignalSpy>(engine_.get(), &MonitorEngine::rebuilt);
        // As start() does, but without the timer: the tests tick at the moments they choose.
        engine_->startAutomatic();
    }
    void startEngine(const std::vector<Reception>& schedule, QTime now, int catchupMinutes = 0)
    {
        startEngine(schedule, QDateTime(kWednesday, now), catchupMinutes);
    }
    // Runs the tick at a moment; when it started a job, the clock moves to `jobEnds` and the job is
    // waited for.
    bool tickAt(const QDateTime& now, const QDateTime& jobEnds = {})
    {
        QSignalSpy ended(engine_.get(), &MonitorEngine::jobEnded);
        clock_.set(now);
        engine_->tick();
        if (!engine_->jobRunning())
            return false;
        if (jobEnds.isValid())
            clock_.set(jobEnds);
        EXPECT_TRUE(ended.wait(30000));
        return true;
    }
    bool tickAt(QTime now, QTime jobEnds = {})
    {
        return tickAt(QDateTime(kWednesday, now), jobEnds.isValid() ? QDateTime(kWednesday, jobEnds) : QDateTime());
    }
    const ScheduleRow& row(int index) const { return engine_->timetable().rows()[size_t(index)]; }
    int rowOf(const char* centre, const QDateTime& due) const
    {
        const auto& rows = engine_->timetable().rows();
        for (size_t i = 0; i < rows.size(); ++i)
            if (rows[i].centreCode == QString::fromLatin1(centre) && rows[i].due() == due)
                return int(i);
        return -1;
    }
    // The job rows' notes, by serial.
    QStringList jobNotes() const
    {
        QStringList found;
        for (ResultSet row = db_->query({u"SELECT 備考 FROM FL1102処理履歴ファイル WHERE 枝番 = 0 ORDER BY 通番"_s, {}});
             !row.atEnd(); row.next())
            found << row.value(0).toString();
        return found;
    }

    std::unique_ptr<TimetableSource> source_;
    std::unique_ptr<MonitorEngine> engine_;
    std::unique_ptr<QSignalSpy> missed_;
    std::unique_ptr<QSignalSpy> rebuilt_;
};

TEST_P(MonitorEngineTest, ARowRunsAtTheFirstTickOfItsMinute)
{
    startEngine({{"WC01", 4, QTime(10, 31)}}, QTime(10, 30, 20));
    writeFile(path(u"handover/WC01.CII"_s), demoCii(1));
    EXPECT_FALSE(tickAt(QTime(10, 30, 59)));
    QSignalSpy started(engine_.get(), &MonitorEngine::jobStarted);
    EXPECT_TRUE(tickAt(QTime(10, 31, 0), QTime(10, 31, 2)));
    EXPECT_EQ(started.size(), 1);
    EXPECT_EQ(row(0).displayState, RowState::Finished);
    EXPECT_EQ(row(0).receptionStatus, u"OK"_s);
    EXPECT_EQ(row(0).registrationStatus, u"OK"_s);
    EXPECT_EQ(engine_->runState(), RunState::Waiting);
    EXPECT_EQ(engine_->timetable().cursor(), 1);  // next week's row
    EXPECT_FALSE(tickAt(QTime(10, 32)));          // a row runs once
}

// Started in the minute of a row, after its first second: the row still runs.
TEST_P(MonitorEngineTest, TheRowOfTheMinuteOfTheStartRuns)
{
    startEngine({{"WC01", 4, QTime(4, 23)}}, QTime(4, 23, 20));
    EXPECT_EQ(row(0).due(), QDateTime(kWednesday, QTime(4, 23)));
    EXPECT_TRUE(tickAt(QTime(4, 23, 21), QTime(4, 23, 22)));
    EXPECT_FALSE(jobNotes().constFirst().contains(u"遅れ"_s)) << jobNotes().constFirst().toStdString();  // on time
}

TEST_P(MonitorEngineTest, ARowWhoseMinutePassedDuringAJobIsMissedWithoutCatchUp)
{
    startEngine({{"WC01", 4, QTime(10, 0)}, {"WX01", 4, QTime(10, 0)}, {"ZC01", 4, QTime(11, 0)}}, QTime(9, 0));
    EXPECT_TRUE(tickAt(QTime(10, 0), QTime(10, 0, 40)));  // nothing handed over; ends in time
    EXPECT_EQ(row(0).displayState, RowState::Finished);
    EXPECT_EQ(engine_->timetable().cursor(), 1);
    EXPECT_TRUE(tickAt(QTime(10, 0, 41), QTime(10, 1, 5)));  // ends after its minute
    EXPECT_EQ(engine_->timetable().cursor(), 2);
    EXPECT_FALSE(tickAt(QTime(10, 30)));
    EXPECT_TRUE(tickAt(QTime(11, 0)));
    EXPECT_TRUE(missed_->isEmpty());

    // A row whose minute passed while its predecessor ran is missed, and says so.
    startEngine({{"ZC01", 4, QTime(12, 0)}, {"WC01", 4, QTime(12, 0)}}, QTime(11, 59));
    EXPECT_TRUE(tickAt(QTime(12, 0), QTime(12, 1, 5)));
    EXPECT_FALSE(tickAt(QTime(12, 1, 6)));
    EXPECT_EQ(row(1).displayState, RowState::Missed);
    EXPECT_EQ(row(1).receptionStatus, Timetable::kMissedText);
    EXPECT_TRUE(row(1).jobTip().contains(u"1 分過ぎた"_s)) << row(1).jobTip().toStdString();
    ASSERT_EQ(missed_->size(), 1);
    EXPECT_EQ(missed_->at(0).at(0).toInt(), 1);
}

// With CATCHUP, what passed during a long job runs after it, in order, once, and its job row says
// so; what is later than the catch-up is missed.
TEST_P(MonitorEngineTest, RowsPassedDuringALongJobAreCaughtUpInOrder)
{
    startEngine({{"ZC01", 4, QTime(10, 0)}, {"WC01", 4, QTime(10, 5)}, {"WX01", 4, QTime(10, 10)}}, QTime(9, 0), 30);
    EXPECT_TRUE(tickAt(QTime(10, 0), QTime(10, 36)));  // 10:05 is 31 minutes late, 10:10 26
    EXPECT_TRUE(tickAt(QTime(10, 36, 1), QTime(10, 36, 10)));
    EXPECT_EQ(row(1).displayState, RowState::Missed);
    EXPECT_EQ(row(2).displayState, RowState::Finished);  // it ran (nothing was handed over)
    EXPECT_TRUE(row(2).jobTip().contains(u"26 分遅れ"_s)) << row(2).jobTip().toStdString();
    const QStringList notes = jobNotes();
    ASSERT_EQ(notes.size(), 2);
    EXPECT_TRUE(notes[1].contains(u"定刻 2026/12/09 10:10 の受信を 26 分遅れで実行 (CATCHUP 30 分)"_s)) << notes[1].toStdString();
    EXPECT_FALSE(tickAt(QTime(10, 37)));  // each runs once
}

TEST_P(MonitorEngineTest, StopDuringAJobTakesEffectWhenItEnds)
{
    startEngine({{"WC01", 4, QTime(10, 0)}}, QTime(9, 0));
    QSignalSpy ended(engine_.get(), &MonitorEngine::jobEnded);
    clock_.set(QDateTime(kWednesday, QTime(10, 0)));
    engine_->tick();
    ASSERT_TRUE(engine_->jobRunning());
    engine_->stopAutomatic();
    EXPECT_EQ(engine_->runState(), RunState::Off);
    EXPECT_FALSE(engine_->editable());  // not while the job runs
    ASSERT_TRUE(ended.wait(30000));
    EXPECT_EQ(engine_->runState(), RunState::Off);
    EXPECT_TRUE(engine_->editable());
    EXPECT_TRUE(engine_->mayEnd());
}

// Without a window, SIGTERM ends the program once no job runs: the running job ends first, and
// no other starts, though one is due.
TEST_P(MonitorEngineTest, TheHeadlessEndWaitsForTheRunningJobAndStartsNoOther)
{
    setPackage(u"SLEEP=1"_s);
    startEngine({{"ZC01", 4, QTime(10, 0)}, {"WC01", 4, QTime(10, 0)}}, QTime(9, 0));
    HeadlessMonitor monitor(*engine_, clock_);
    monitor.followSignals();
    QSignalSpy started(engine_.get(), &MonitorEngine::jobStarted);
    QSignalSpy ended(engine_.get(), &MonitorEngine::jobEnded);
    clock_.set(QDateTime(kWednesday, QTime(10, 0)));
    engine_->start();
    QEventLoop loop;
    QTimer::singleShot(500, &loop, [] { std::raise(SIGTERM); });  // the package is still running
    // Ending stops automatic running; a second more shows whether anything starts after it.
    QObject::connect(engine_.get(), &MonitorEngine::runStateChanged, &loop, [&loop](RunState state) {
        if (state == RunState::Off)
            QTimer::singleShot(1000, &loop, &QEventLoop::quit);
    });
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(ended.size(), 1);    // the end came after the job
    EXPECT_EQ(started.size(), 1);  // and the row due next never started
    EXPECT_EQ(engine_->runState(), RunState::Off);
}

TEST_P(MonitorEngineTest, MarksToggleOnlyWhileOffOnRowsThatDidNotRun)
{
    startEngine({{"WC01", 4, QTime(10, 0)}, {"WX01", 4, QTime(12, 0)}}, QTime(9, 0));
    EXPECT_FALSE(engine_->toggleSelection(1));  // automatic running is on
    EXPECT_TRUE(tickAt(QTime(10, 0)));
    engine_->stopAutomatic();
    EXPECT_FALSE(engine_->toggleSelection(0));  // it ran
    EXPECT_TRUE(engine_->toggleSelection(1));
    EXPECT_FALSE(row(1).selected);
    engine_->startAutomatic();  // the deselected row is passed over
    EXPECT_EQ(engine_->timetable().cursor(), 2);
    EXPECT_EQ(engine_->runState(), RunState::Waiting);
}

// Twenty days without a restart: every day's row runs once, the timetable always reaches two
// weeks ahead, and a day's rows keep what they did until the day is over.
TEST_P(MonitorEngineTest, TheTimetableRollsOnDayAfterDay)
{
    std::vector<Reception> daily;
    for (const int weekday : kEveryDay)
        daily.push_back({"WC01", weekday, QTime(10, 0)});
    startEngine(daily, QTime(9, 0));
    QSignalSpy started(engine_.get(), &MonitorEngine::jobStarted);
    for (int day = 0; day < 20; ++day) {
        const QDate date = kWednesday.addDays(day);
        tickAt(QDateTime(date, QTime(0, 0, 1)));
        EXPECT_EQ(engine_->timetable().rows().back().date, date.addDays(13)) << date.toString().toStdString();
        EXPECT_TRUE(tickAt(QDateTime(date, QTime(10, 0)), QDateTime(date, QTime(10, 0, 30)))) << date.toString().toStdString();
        EXPECT_FALSE(tickAt(QDateTime(date, QTime(10, 1))));
        tickAt(QDateTime(date, QTime(23, 59, 59)));
        EXPECT_EQ(row(0).date, date);
        EXPECT_EQ(row(0).displayState, RowState::Finished);  // nothing was handed over: its job ran
        EXPECT_EQ(engine_->timetable().rowCount(), 14);
    }
    EXPECT_EQ(started.size(), 20);
    EXPECT_EQ(rebuilt_->size(), 19);
    EXPECT_TRUE(missed_->isEmpty());
    EXPECT_EQ(jobNotes().size(), 20);
}

// A job running at midnight keeps its row through the day's rebuild; the rows of the new day that
// passed meanwhile are caught up after it.
TEST_P(MonitorEngineTest, AJobAcrossMidnightKeepsItsRowAndTheNewDayCatchesUp)
{
    setPackage(u"SLEEP=2"_s);
    startEngine({{"ZC01", 4, QTime(23, 59)}, {"WC01", 5, QTime(0, 0)}}, QTime(23, 0), 15);
    const QDate thursday = kWednesday.addDays(1);
    QSignalSpy ended(engine_.get(), &MonitorEngine::jobEnded);
    clock_.set(QDateTime(kWednesday, QTime(23, 59)));
    engine_->tick();
    ASSERT_TRUE(engine_->jobRunning());
    clock_.set(QDateTime(thursday, QTime(0, 2)));
    engine_->tick();  // the new day: built anew while the job runs
    EXPECT_EQ(rebuilt_->size(), 1);
    const int running = engine_->runningRow();
    ASSERT_EQ(running, 0);
    EXPECT_EQ(row(running).due(), QDateTime(kWednesday, QTime(23, 59)));
    ASSERT_TRUE(ended.wait(30000));
    EXPECT_EQ(ended.at(0).at(0).toInt(), 0);
    EXPECT_EQ(row(0).displayState, RowState::Finished);
    EXPECT_EQ(row(0).serial, 1);
    EXPECT_EQ(row(1).due(), QDateTime(thursday, QTime(0, 0)));
    EXPECT_TRUE(tickAt(QDateTime(thursday, QTime(0, 3)), QDateTime(thursday, QTime(0, 3, 30))));
    EXPECT_TRUE(jobNotes().value(1).contains(u"定刻 2026/12/10 00:00 の受信を 3 分遅れで実行"_s))
        << jobNotes().join(u'\n').toStdString();
    // The next day's rebuild lets yesterday's rows go.
    tickAt(QDateTime(thursday.addDays(1), QTime(0, 0, 1)));
    EXPECT_EQ(row(0).date, kWednesday.addDays(7));
}

// The machine slept through a row and past midnight: the row is told as missed before the new
// day's timetable lets it go.
TEST_P(MonitorEngineTest, ARowSleptThroughIsMissedAndTheDayRollsOn)
{
    startEngine({{"WC01", 4, QTime(23, 0)}}, QTime(22, 0));
    clock_.jump(2 * 3600 + 5 * 60);
    engine_->tick();
    EXPECT_FALSE(engine_->jobRunning());
    ASSERT_EQ(missed_->size(), 1);
    ASSERT_EQ(rebuilt_->size(), 1);
    EXPECT_TRUE(rebuilt_->at(0).at(0).toString().contains(u"時計"_s)) << rebuilt_->at(0).at(0).toString().toStdString();
    EXPECT_EQ(row(0).due(), QDateTime(kWednesday.addDays(7), QTime(23, 0)));
    EXPECT_EQ(engine_->timetable().cursor(), 0);
}

// A rebuild (SIGHUP, the window's menu, a changed schedule) keeps what the operator did and what
// ran: marks, states, tips, one-off rows and rows moved away; it takes what the masters changed.
TEST_P(MonitorEngineTest, ARebuildKeepsTheOperatorsRowsAndTakesTheMastersChanges)
{
    writeFile(path(u"handover/WC01.CII"_s), demoCii(1));
    startEngine({{"WC01", 4, QTime(10, 0)}, {"WX01", 4, QTime(11, 0)}, {"ZC01", 4, QTime(12, 0)}}, QTime(9, 0));
    EXPECT_TRUE(tickAt(QTime(10, 0), QTime(10, 0, 30)));
    engine_->stopAutomatic();
    ASSERT_TRUE(engine_->toggleSelection(1));  // WX01 deselected
    ScheduleRow oneOff = row(2);              // ZC01 at 12:00 moved to 13:30
    oneOff.startTime = QTime(13, 30);
    oneOff.oneOff = true;
    engine_->timetable().moveRow(2, oneOff);
    ScheduleRow added;  // a one-off WX01 tomorrow
    added.centreCode = u"WX01"_s;
    added.date = kWednesday.addDays(1);
    added.startTime = QTime(8, 0);
    added.oneOff = true;
    engine_->timetable().insertRow(added);
    const QString tip = row(0).jobTip();

    engine_->requestRebuild(u"試験"_s);
    clock_.set(QDateTime(kWednesday, QTime(10, 30)));
    engine_->tick();
    ASSERT_EQ(rebuilt_->size(), 1);
    EXPECT_EQ(row(0).displayState, RowState::Finished);
    EXPECT_EQ(row(0).jobTip(), tip);
    EXPECT_EQ(row(0).serial, 1);
    EXPECT_FALSE(row(rowOf("WX01", QDateTime(kWednesday, QTime(11, 0)))).selected);
    EXPECT_EQ(rowOf("ZC01", QDateTime(kWednesday, QTime(12, 0))), -1);  // moved away
    EXPECT_GE(rowOf("ZC01", QDateTime(kWednesday, QTime(13, 30))), 0);
    EXPECT_GE(rowOf("WX01", QDateTime(kWednesday.addDays(1), QTime(8, 0))), 0);
    EXPECT_EQ(engine_->timetable().rowCount(), 7);

    // A schedule changed in the masters is taken at the next minute.
    replaceSchedule({{"WC01", 4, QTime(10, 0)}, {"WX01", 4, QTime(11, 0)}, {"MX01", 4, QTime(15, 0)}});
    engine_->tick();
    EXPECT_EQ(rebuilt_->size(), 1);
    clock_.set(QDateTime(kWednesday, QTime(10, 31)));
    engine_->tick();
    ASSERT_EQ(rebuilt_->size(), 2);
    EXPECT_GE(rowOf("MX01", QDateTime(kWednesday, QTime(15, 0))), 0);
    EXPECT_EQ(rowOf("ZC01", QDateTime(kWednesday.addDays(7), QTime(12, 0))), -1);  // no longer scheduled
    EXPECT_GE(rowOf("ZC01", QDateTime(kWednesday, QTime(13, 30))), 0);             // the one-off stays
    EXPECT_EQ(row(0).displayState, RowState::Finished);

    // While the dialog works on a row, the rebuild waits for it.
    bool dialogOpen = true;
    engine_->setRebuildGate([&dialogOpen] { return !dialogOpen; });
    engine_->requestRebuild(u"試験"_s);
    engine_->tick();
    EXPECT_EQ(rebuilt_->size(), 2);
    dialogOpen = false;
    engine_->tick();
    EXPECT_EQ(rebuilt_->size(), 3);
}

// After a restart within the catch-up, the rows that passed while no scheduler ran and that no
// job received run at once; those before the last heartbeat were the earlier scheduler's.
TEST_P(MonitorEngineTest, AfterARestartWhatPassedMeanwhileIsCaughtUpOnce)
{
    replaceSchedule({{"WC01", 4, QTime(9, 0)}, {"WX01", 4, QTime(9, 40)}, {"ZC01", 4, QTime(9, 45)},
                     {"MX01", 4, QTime(9, 50)}});
    clock_.set(QDateTime(kWednesday, QTime(9, 46)));
    run(u"ZC01"_s);  // received by hand after its minute
    startEngine({{"WC01", 4, QTime(9, 0)}, {"WX01", 4, QTime(9, 40)}, {"ZC01", 4, QTime(9, 45)},
                 {"MX01", 4, QTime(9, 50)}},
                QDateTime(kWednesday, QTime(10, 0, 30)), 60, QDateTime(kWednesday, QTime(9, 30, 10)));
    QStringList first;
    for (int i = 0; i < 3; ++i)
        first << row(i).centreCode + row(i).startTime.toString(u" HH:mm"_s);
    EXPECT_EQ(first, (QStringList{u"WX01 09:40"_s, u"MX01 09:50"_s, u"WC01 09:00"_s}));
    EXPECT_EQ(row(2).date, kWednesday.addDays(7));
    EXPECT_TRUE(tickAt(QTime(10, 0, 31), QTime(10, 0, 40)));
    EXPECT_TRUE(tickAt(QTime(10, 0, 41), QTime(10, 0, 50)));
    EXPECT_FALSE(tickAt(QTime(10, 0, 51)));
    const QStringList notes = jobNotes();
    ASSERT_EQ(notes.size(), 3);
    EXPECT_TRUE(notes[1].contains(u"定刻 2026/12/09 09:40 の受信を 20 分遅れで実行"_s)) << notes[1].toStdString();
    EXPECT_TRUE(notes[2].contains(u"10 分遅れ"_s)) << notes[2].toStdString();

    // Without CATCHUP the same rows of today are shown missed; those of earlier days only told.
    startEngine({{"WC01", 3, QTime(23, 0)}, {"MC01", 4, QTime(9, 40)}}, QDateTime(kWednesday, QTime(10, 0, 30)), 0,
                QDateTime(kWednesday.addDays(-1), QTime(22, 0)));
    EXPECT_EQ(row(0).displayState, RowState::Missed);
    EXPECT_EQ(row(0).centreCode, u"MC01"_s);
    EXPECT_EQ(missed_->size(), 1);
    EXPECT_EQ(source_->startingTimetable(clock_.now(), QDateTime(kWednesday.addDays(-1), QTime(22, 0))).missedEarlier.size(), 1);
}

INSTANTIATE_TEST_SUITE_P(Sqlite, MonitorEngineTest, ::testing::Values(Backend::Sqlite),
                         [](const auto& info) { return backendName(info.param); });

}  // namespace
}  // namespace edi::test
