#include "app/ResultCode.h"
#include "jobs/JobCodes.h"
#include "web/MachineTimetable.h"
#include "web/MonitorSnapshot.h"

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

// 2026-12-09 is a Wednesday (weekday 4); the pages are read at 14:00.
const QDate kToday(2026, 12, 9);
const QDateTime kNow(kToday, QTime(14, 0));
// Late rows may still run all day: no row is missed unless a test says so.
constexpr int kCatchup = 24 * 60;

QDateTime at(int hour, int minute, int second = 0)
{
    return QDateTime(kToday, QTime(hour, minute, second));
}

// A job of the centre started at `started`; ended a minute later with the codes, or still running
// when endCode is empty.
JobHistory job(qint32 serial, const QString& centre, const QDateTime& started, const QString& endCode = ResultCode::ok,
               const QString& detailCode = ResultCode::ok)
{
    HistoryRow row;
    row.processingKind = u"01"_s;
    row.centreCode = centre;
    row.started = started;
    row.completed = !endCode.isEmpty();
    row.ended = row.completed ? started.addSecs(60) : QDateTime();
    row.endCode = endCode;
    row.detailCode = row.completed ? detailCode : QString();
    return {serial, {row}};
}

// A is received at 10:00 and 11:00, B at 10:30, on Wednesdays.
class MachineTimetableTest : public ::testing::Test {
protected:
    MachineTimetableTest()
    {
        snapshot_.taken = kNow;
        snapshot_.schedules[u"WS-A"_s] = {{u"A"_s, u"A センター"_s, u"Z"_s, QTime(10, 0), 4},
                                          {u"B"_s, u"B センター"_s, u"Z"_s, QTime(10, 30), 4},
                                          {u"A"_s, u"A センター"_s, u"Z"_s, QTime(11, 0), 4}};
    }

    // Today's rows as "HH:mm CENTRE state serial".
    QStringList today(const std::vector<JobHistory>& jobs)
    {
        snapshot_.todaysJobs = jobs;
        QStringList rows;
        for (const TimetableLine& line : machineTimetable(snapshot_, u"WS-A"_s, kNow, kCatchup)) {
            if (line.row.date == kToday)
                rows << u"%1 %2 %3 %4"_s.arg(line.row.startTime.toString(u"HH:mm"_s), line.row.centreCode, line.stateKey())
                            .arg(line.serial);
            else
                EXPECT_EQ(line.state, TimetableLine::State::NotRun);
        }
        return rows;
    }

    MonitorSnapshot snapshot_;
};

// All of today's rows are listed, those that passed too, then next Wednesday's.
TEST_F(MachineTimetableTest, ListsAllOfTodayAndTheDaysToCome)
{
    snapshot_.todaysJobs = {job(1, u"A"_s, at(10, 0, 5))};
    const std::vector<TimetableLine> lines = machineTimetable(snapshot_, u"WS-A"_s, kNow, kCatchup);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0].row.due(), at(10, 0));
    EXPECT_EQ(lines[3].row.due(), QDateTime(kToday.addDays(7), QTime(10, 0)));
    EXPECT_FALSE(lines[0].tip.isEmpty());  // the job's report, as the window's tool tip
    EXPECT_TRUE(lines[1].tip.isEmpty());
    EXPECT_TRUE(machineTimetable(snapshot_, u"WS-B"_s, kNow, kCatchup).empty());
}

// The 10:00 job is the 10:00 row's only: the centre's 11:00 row did not run.
TEST_F(MachineTimetableTest, AJobColoursOnlyTheRowItRanFor)
{
    EXPECT_EQ(today({job(7, u"A"_s, at(10, 0, 20))}),
              (QStringList{u"10:00 A finished 7"_s, u"10:30 B not_run 0"_s, u"11:00 A not_run 0"_s}));
    // From the row's minute on, up to the next row's minute: 11:00:00 belongs to 11:00.
    EXPECT_EQ(today({job(8, u"A"_s, at(11, 0, 0))}),
              (QStringList{u"10:00 A not_run 0"_s, u"10:30 B not_run 0"_s, u"11:00 A finished 8"_s}));
    // Before the centre's first row, or of a centre not on this workstation: no row's job.
    EXPECT_EQ(today({job(9, u"A"_s, at(9, 59, 59)), job(10, u"C"_s, at(10, 30, 5))}),
              (QStringList{u"10:00 A not_run 0"_s, u"10:30 B not_run 0"_s, u"11:00 A not_run 0"_s}));
}

// A row caught up late (the workstation was off at 10:00) still shows the job that ran for it; the
// next row's own job shows on the next row.
TEST_F(MachineTimetableTest, ACatchUpRunLaterStillBelongsToItsRow)
{
    EXPECT_EQ(today({job(3, u"A"_s, at(10, 42)), job(4, u"B"_s, at(10, 42, 30)), job(5, u"A"_s, at(11, 0, 3))}),
              (QStringList{u"10:00 A finished 3"_s, u"10:30 B finished 4"_s, u"11:00 A finished 5"_s}));
    // The last row of the day takes a job up to midnight.
    EXPECT_EQ(today({job(6, u"A"_s, at(23, 59, 59))}),
              (QStringList{u"10:00 A not_run 0"_s, u"10:30 B not_run 0"_s, u"11:00 A finished 6"_s}));
}

TEST_F(MachineTimetableTest, TheStateIsTheJobsOutcome)
{
    const std::vector<std::pair<JobHistory, QString>> outcomes{
        {job(1, u"A"_s, at(10, 1), {}), u"running"_s},
        {job(1, u"A"_s, at(10, 1), JobCode::centreBusy, JobCode::centreBusy), u"busy"_s},
        {job(1, u"A"_s, at(10, 1), u"5100"_s, u"5100"_s), u"failed"_s},
        {job(1, u"A"_s, at(10, 1), JobCode::interrupted, JobCode::interrupted), u"failed"_s},
        {job(1, u"A"_s, at(10, 1), ResultCode::ok, JobCode::backupFailed), u"failed"_s},
        {job(1, u"A"_s, at(10, 1), ResultCode::ok, JobCode::noData), u"finished"_s},
        {job(1, u"A"_s, at(10, 1)), u"finished"_s},
    };
    for (const auto& [ran, state] : outcomes)
        EXPECT_EQ(today({ran}).first(), u"10:00 A %1 1"_s.arg(state)) << ran.jobRow().endCode.toStdString();
}

// A row that no job ran for is missed once it is later than the catch-up allows, as the window
// shows it, with the reason as its tip; within the catch-up it may still run.
TEST_F(MachineTimetableTest, ARowPastTheCatchUpWithoutAJobWasMissed)
{
    snapshot_.todaysJobs = {job(5, u"A"_s, at(11, 0, 3))};
    const std::vector<TimetableLine> lines = machineTimetable(snapshot_, u"WS-A"_s, at(11, 15), 60);
    EXPECT_EQ(lines[0].state, TimetableLine::State::Missed);  // 10:00, 75 minutes late
    EXPECT_EQ(lines[0].stateText(), u"実行漏れ"_s);
    EXPECT_TRUE(lines[0].tip.contains(u"CATCHUP 60 分"_s)) << lines[0].tip.toStdString();
    EXPECT_EQ(lines[1].state, TimetableLine::State::NotRun);  // 10:30, 45 minutes late: may still run
    EXPECT_EQ(lines[2].state, TimetableLine::State::Finished);
}

}  // namespace
}  // namespace edi
