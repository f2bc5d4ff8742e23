#include "monitor/Timetable.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

// 2026-12-09 is a Wednesday (weekday 4).
const QDate kWednesday(2026, 12, 9);

ScheduleMasterRow master(const char* centre, int weekday, QTime start)
{
    return {QString::fromLatin1(centre), u"センター"_s, u"Z"_s, start, weekday};
}

QStringList describe(const Timetable& timetable)
{
    QStringList rows;
    for (const ScheduleRow& row : timetable.rows())
        rows << row.date.toString(u"MM/dd"_s) + u' ' + row.startTime.toString(u"HH:mm:ss"_s) + u' ' + row.centreCode;
    return rows;
}

TEST(TimetableBuild, FourteenDaysFromNow)
{
    const QDateTime now(kWednesday, QTime(10, 30, 0));
    const Timetable timetable = Timetable::build({master("PAST", 4, QTime(10, 0)), master("SAME", 4, QTime(10, 30, 0)),
                                                  master("LATER", 4, QTime(11, 0)), master("TUE", 3, QTime(9, 0)),
                                                  master("SECS", 5, QTime(10, 15, 40))},
                                                 now);
    EXPECT_EQ(describe(timetable), (QStringList{u"12/09 10:30:00 SAME"_s, u"12/09 11:00:00 LATER"_s,
                                                u"12/10 10:15:00 SECS"_s, u"12/15 09:00:00 TUE"_s,
                                                u"12/16 10:00:00 PAST"_s, u"12/16 10:30:00 SAME"_s,
                                                u"12/16 11:00:00 LATER"_s, u"12/17 10:15:00 SECS"_s,
                                                u"12/22 09:00:00 TUE"_s}));
    EXPECT_EQ(timetable.cursor(), 0);
    for (const ScheduleRow& row : timetable.rows()) {
        EXPECT_TRUE(row.selected);
        EXPECT_EQ(row.displayState, RowState::NotRun);
        EXPECT_TRUE(row.receptionStatus.isEmpty());
    }
}

// The rows of the minute of the build stay, though their second has passed.
TEST(TimetableBuild, TheCurrentMinuteStays)
{
    const Timetable timetable = Timetable::build({master("B", 4, QTime(4, 22, 59)), master("A", 4, QTime(4, 23))},
                                                 QDateTime(kWednesday, QTime(4, 23, 20)));
    EXPECT_EQ(describe(timetable).mid(0, 2), (QStringList{u"12/09 04:23:00 A"_s, u"12/16 04:22:00 B"_s}));
}

TEST(TimetableBuild, WeekdaysCountOnAndOrderFollowsTheSchedule)
{
    const QDateTime now(kWednesday, QTime(0, 0));
    // Two centres at the same minute keep the schedule's order; 8 is Sunday again, 0 Saturday.
    const Timetable timetable = Timetable::build(
        {master("B", 4, QTime(9, 0)), master("A", 4, QTime(9, 0)), master("SUN", 8, QTime(7, 0)), master("SAT", 0, QTime(7, 0))},
        now);
    EXPECT_EQ(describe(timetable).mid(0, 4), (QStringList{u"12/09 09:00:00 B"_s, u"12/09 09:00:00 A"_s,
                                                         u"12/12 07:00:00 SAT"_s, u"12/13 07:00:00 SUN"_s}));
    EXPECT_TRUE(Timetable::build({}, now).rows().empty());

    std::vector<ScheduleMasterRow> many(3000, master("M", 4, QTime(12, 0)));
    EXPECT_EQ(Timetable::build(many, now).rowCount(), 6000);
    many.resize(20000, master("M", 4, QTime(12, 0)));
    EXPECT_EQ(Timetable::build(many, now).rowCount(), Timetable::kMaxRows);
}

TEST(TimetableCursor, NextRowIsSelectedNotRunAndToCome)
{
    Timetable timetable = Timetable::build({master("A", 4, QTime(10, 0)), master("B", 4, QTime(10, 0)),
                                            master("C", 4, QTime(12, 0))},
                                           QDateTime(kWednesday, QTime(9, 0)));
    const QDateTime ten(kWednesday, QTime(10, 0, 0));
    EXPECT_FALSE(timetable.cursorRowDue(QDateTime(kWednesday, QTime(9, 59, 59))));
    EXPECT_TRUE(timetable.cursorRowDue(ten));

    // The first job ends at 10:00:40: the second 10:00 row still runs.
    timetable.rows()[0].displayState = RowState::Finished;
    timetable.findNextRow(QDateTime(kWednesday, QTime(10, 0, 40)));
    EXPECT_EQ(timetable.cursor(), 1);
    // It ends at 10:01:05 instead: the second is passed over and stays as it was.
    timetable.findNextRow(QDateTime(kWednesday, QTime(10, 1, 5)));
    EXPECT_EQ(timetable.cursor(), 2);
    EXPECT_EQ(timetable.rows()[1].displayState, RowState::NotRun);

    timetable.rows()[2].selected = false;  // deselected rows are skipped
    timetable.findNextRow(QDateTime(kWednesday, QTime(10, 1, 5)));
    EXPECT_EQ(timetable.cursor(), 3);      // next week's A
    for (ScheduleRow& row : timetable.rows())
        row.displayState = RowState::Failed;
    timetable.findNextRow(ten);
    EXPECT_EQ(timetable.cursor(), timetable.rowCount());
    EXPECT_FALSE(timetable.cursorRowDue(ten));
}

// A row of yesterday (the machine slept over midnight) is due, and is missed unless the catch-up
// reaches back to it.
TEST(TimetableCursor, ARowLateBeyondTheCatchUpIsMissed)
{
    Timetable timetable = Timetable::build({master("A", 4, QTime(23, 0)), master("B", 4, QTime(23, 30))},
                                           QDateTime(kWednesday, QTime(22, 0)));
    const QDateTime after(kWednesday.addDays(1), QTime(0, 5, 30));
    EXPECT_TRUE(timetable.cursorRowDue(after));
    EXPECT_TRUE(timetable.markMissed(after, 65).empty());
    EXPECT_EQ(timetable.markMissed(after, 64), std::vector<int>{0});
    EXPECT_EQ(timetable.rows()[0].displayState, RowState::Missed);
    EXPECT_EQ(timetable.rows()[0].receptionStatus, Timetable::kMissedText);
    EXPECT_EQ(timetable.rows()[0].notes, QStringList{u"2026/12/09 23:00 A の受信は予定の時刻を 65 分過ぎたため実行しませんでした (CATCHUP 64 分)"_s});
    timetable.findNextRow(after, 64);
    EXPECT_EQ(timetable.cursor(), 1);  // B, 35 minutes late, is still caught up
    EXPECT_EQ(timetable.rows()[1].minutesLate(after), 35);
    timetable.rows()[1].selected = false;
    EXPECT_TRUE(timetable.markMissed(after, 0).empty());  // a deselected row is never missed
}

TEST(TimetableInsert, GoesBeforeTheFirstLaterOrSameMinute)
{
    Timetable timetable = Timetable::build({master("A", 4, QTime(10, 0)), master("B", 4, QTime(12, 0))},
                                           QDateTime(kWednesday, QTime(9, 0)));
    ScheduleRow added;
    added.centreCode = u"X"_s;
    added.date = kWednesday;
    added.startTime = QTime(12, 0);
    EXPECT_EQ(timetable.insertRow(added), 1);  // before B at the same minute
    added.date = kWednesday.addDays(30);
    const int last = timetable.rowCount();
    EXPECT_EQ(timetable.insertRow(added), last);
    EXPECT_TRUE(timetable.hasRow(u"X"_s, kWednesday, QTime(12, 0)));
    EXPECT_FALSE(timetable.hasRow(u"X"_s, kWednesday, QTime(12, 1)));
}

// A moved row goes where its new time belongs, later or earlier, so the cursor finds the rows in
// between in their turn.
TEST(TimetableMove, ARowMovedLaterOrEarlierTakesItsPlaceInTime)
{
    const QDateTime now(kWednesday, QTime(10, 0));
    Timetable timetable = Timetable::build(
        {master("WX01", 4, QTime(10, 24)), master("MX01", 4, QTime(10, 25)), master("WC01", 4, QTime(11, 0))}, now);
    auto codes = [&] {
        QStringList today;
        for (const ScheduleRow& row : timetable.rows())
            if (row.date == kWednesday)
                today << row.centreCode;
        return today;
    };
    ScheduleRow moved = timetable.rows()[0];
    moved.startTime = QTime(23, 50);
    EXPECT_EQ(timetable.moveRow(0, moved), 2);
    EXPECT_EQ(codes(), (QStringList{u"MX01"_s, u"WC01"_s, u"WX01"_s}));
    timetable.findNextRow(now);
    EXPECT_EQ(timetable.rows()[size_t(timetable.cursor())].centreCode, u"MX01"_s);
    EXPECT_TRUE(timetable.cursorRowDue(QDateTime(kWednesday, QTime(10, 25))));

    moved = timetable.rows()[1];  // WC01 to 10:10, before MX01
    moved.startTime = QTime(10, 10);
    EXPECT_EQ(timetable.moveRow(1, moved), 0);
    EXPECT_EQ(codes(), (QStringList{u"WC01"_s, u"MX01"_s, u"WX01"_s}));
    EXPECT_EQ(timetable.rowCount(), 6);
}

// Built anew on the next day: what ran or was chosen stays, the day that is over goes, one-off
// rows stay until their minute and rows moved away stay away.
TEST(TimetableRoll, KeepsWhatItKnewOfItsRows)
{
    const std::vector<ScheduleMasterRow> schedule{master("A", 4, QTime(10, 0)), master("A", 5, QTime(10, 0)),
                                                  master("B", 4, QTime(11, 0)), master("L", 4, QTime(23, 50))};
    Timetable timetable = Timetable::build(schedule, QDateTime(kWednesday, QTime(9, 0)));
    timetable.rows()[0].displayState = RowState::Finished;  // A Wednesday
    timetable.rows()[0].serial = 5;
    ScheduleRow oneOff;
    oneOff.centreCode = u"C"_s;
    oneOff.date = kWednesday.addDays(1);
    oneOff.startTime = QTime(8, 0);
    oneOff.oneOff = true;
    timetable.insertRow(oneOff);
    const int nextB = int(std::find_if(timetable.rows().begin(), timetable.rows().end(),
                                       [](const ScheduleRow& row) { return row.centreCode == u"B"_s && row.date == kWednesday.addDays(7); })
                          - timetable.rows().begin());
    ScheduleRow moved = timetable.rows()[size_t(nextB)];
    moved.startTime = QTime(12, 0);
    moved.oneOff = true;
    timetable.moveRow(nextB, moved);
    timetable.rows()[1].selected = false;  // B Wednesday

    const Timetable thursday = timetable.rolled(schedule, QDateTime(kWednesday.addDays(1), QTime(0, 10)), 30);
    EXPECT_EQ(describe(thursday),
              (QStringList{u"12/09 23:50:00 L"_s,  // waits to be caught up
                           u"12/10 08:00:00 C"_s, u"12/10 10:00:00 A"_s, u"12/16 10:00:00 A"_s,
                           u"12/16 12:00:00 B"_s, u"12/16 23:50:00 L"_s, u"12/17 10:00:00 A"_s,
                           u"12/23 10:00:00 A"_s, u"12/23 11:00:00 B"_s, u"12/23 23:50:00 L"_s}));
    // Without the catch-up, yesterday's rows go, whatever they did; a running one stays.
    timetable.rows()[0].displayState = RowState::Running;
    const Timetable noCatchUp = timetable.rolled(schedule, QDateTime(kWednesday.addDays(1), QTime(0, 10)), 0);
    EXPECT_EQ(describe(noCatchUp).mid(0, 2), (QStringList{u"12/09 10:00:00 A"_s, u"12/10 08:00:00 C"_s}));
    EXPECT_EQ(noCatchUp.rows()[0].serial, 5);

    // The same day: a deselected row keeps its mark, a finished one its state.
    const Timetable later = timetable.rolled(schedule, QDateTime(kWednesday, QTime(10, 30)), 0);
    EXPECT_EQ(later.rows()[0].displayState, RowState::Running);
    EXPECT_FALSE(later.rows()[1].selected);
    EXPECT_EQ(later.rows()[1].centreCode, u"B"_s);

    // A centre renamed in the masters shows its new name, its row still as it was.
    std::vector<ScheduleMasterRow> renamed = schedule;
    renamed[2].centreName = u"新センター"_s;
    const Timetable afterRename = timetable.rolled(renamed, QDateTime(kWednesday, QTime(10, 30)), 0);
    EXPECT_EQ(afterRename.rows()[1].centreName, u"新センター"_s);
    EXPECT_FALSE(afterRename.rows()[1].selected);
}

}  // namespace
}  // namespace edi
