#include "monitor/Timetable.h"

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

TEST(TimetableCursor, ARowFromYesterdayIsNeverDue)
{
    Timetable timetable = Timetable::build({master("A", 4, QTime(23, 0))}, QDateTime(kWednesday, QTime(22, 0)));
    EXPECT_FALSE(timetable.cursorRowDue(QDateTime(kWednesday.addDays(1), QTime(0, 5))));
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

}  // namespace
}  // namespace edi
