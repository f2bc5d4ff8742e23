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

// 2026-12-09 is a Wednesday; the demo schedule has WC01 at 09:15 every day.
const QDate kWednesday(2026, 12, 9);

ScheduleMasterRow master(const char* centre, QTime start)
{
    return {QString::fromLatin1(centre), u"センター"_s, u"W"_s, start, 4};
}

class MonitorEngineTest : public JobFixture {
protected:
    void startEngine(const std::vector<ScheduleMasterRow>& schedule, QTime now)
    {
        clock_.set(QDateTime(kWednesday, now));
        engine_ = std::make_unique<MonitorEngine>(
            clock_, Timetable::build(schedule, clock_.now()),
            std::make_unique<JobWorker>(db_->settings(), settings_, clock_, mail_));
    }
    // Runs the tick at a moment; when it started a job, the clock moves to `jobEnds` and the job is
    // waited for.
    bool tickAt(QTime now, QTime jobEnds = {})
    {
        QSignalSpy ended(engine_.get(), &MonitorEngine::jobEnded);
        clock_.set(QDateTime(kWednesday, now));
        engine_->tick();
        if (!engine_->jobRunning())
            return false;
        if (jobEnds.isValid())
            clock_.set(QDateTime(kWednesday, jobEnds));
        EXPECT_TRUE(ended.wait(30000));
        return true;
    }
    const ScheduleRow& row(int index) const { return engine_->timetable().rows()[size_t(index)]; }

    std::unique_ptr<MonitorEngine> engine_;
};

TEST_P(MonitorEngineTest, ARowRunsAtTheFirstTickOfItsMinute)
{
    startEngine({master("WC01", QTime(10, 31))}, QTime(10, 30, 20));
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

TEST_P(MonitorEngineTest, ARowWhoseMinutePassedDuringAJobIsSkipped)
{
    startEngine({master("WC01", QTime(10, 0)), master("WX01", QTime(10, 0)), master("WC01", QTime(11, 0))},
                QTime(9, 0));
    EXPECT_TRUE(tickAt(QTime(10, 0), QTime(10, 0, 40)));  // fails (nothing handed over) and ends in time
    EXPECT_EQ(row(0).displayState, RowState::Failed);
    EXPECT_EQ(engine_->timetable().cursor(), 1);
    EXPECT_TRUE(tickAt(QTime(10, 0, 41), QTime(10, 1, 5)));  // ends after its minute
    EXPECT_EQ(engine_->timetable().cursor(), 2);
    EXPECT_FALSE(tickAt(QTime(10, 30)));
    EXPECT_TRUE(tickAt(QTime(11, 0)));
}

TEST_P(MonitorEngineTest, StopDuringAJobTakesEffectWhenItEnds)
{
    startEngine({master("WC01", QTime(10, 0))}, QTime(9, 0));
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
    startEngine({master("ZC01", QTime(10, 0)), master("WC01", QTime(10, 0))}, QTime(9, 0));
    HeadlessMonitor monitor(*engine_, clock_);
    monitor.endOnSignals();
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
    startEngine({master("WC01", QTime(10, 0)), master("WX01", QTime(12, 0))}, QTime(9, 0));
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

TEST_P(MonitorEngineTest, ARowOfYesterdayWaitsForARestart)
{
    startEngine({master("WC01", QTime(23, 0))}, QTime(22, 0));
    clock_.set(QDateTime(kWednesday.addDays(1), QTime(0, 5)));
    engine_->tick();
    EXPECT_FALSE(engine_->jobRunning());
    EXPECT_EQ(engine_->timetable().cursor(), 0);
    engine_->stopAutomatic();
    engine_->startAutomatic();
    EXPECT_EQ(engine_->timetable().cursor(), 1);  // a week after yesterday's row
}

INSTANTIATE_TEST_SUITE_P(Sqlite, MonitorEngineTest, ::testing::Values(Backend::Sqlite),
                         [](const auto& info) { return backendName(info.param); });

}  // namespace
}  // namespace edi::test
