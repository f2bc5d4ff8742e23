#pragma once

#include "jobs/JobObserver.h"
#include "monitor/ScheduleQuery.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTime>
#include <vector>

namespace edi {

// One reception of the timetable.
struct ScheduleRow {
    bool selected = true;  // only selected rows run automatically: "○", otherwise "×"
    QDate date;
    QTime startTime;       // hour and minute
    QString centreCode;
    QString centreName;
    QString transferMethod;
    QString receptionStatus;     // grid column 6
    QString conversionStatus;    // grid column 7
    QString registrationStatus;  // grid column 8
    RowState displayState = RowState::NotRun;
    qint32 serial = 0;  // the serial of the row's last job, 0 before one was written
    QStringList notes;   // what its job told beyond the status texts (codes, failures), for the operator
    QStringList report;  // at its job's end: what the job did, from its history rows

    QString& status(StatusColumn column);
    // The row's tool tip: its job's report with the notes it does not tell; empty before a job ran.
    QString jobTip() const;
};

// The receptions of the next fourteen days for this workstation, in run order, and the cursor:
// the next row the timer runs, equal to the row count when none is left.
class Timetable {
public:
    // Row indexes are 16-bit in the grid: a timetable holds at most this many rows.
    static constexpr int kMaxRows = 32766;

    // Build: for today and the next six days, and the same seven weekdays a week later, the
    // schedule rows of the day's weekday; today's rows whose start time (to the second) has
    // passed are left out. Rows of one date keep the schedule's order, dates follow each other.
    static Timetable build(const std::vector<ScheduleMasterRow>& schedule, const QDateTime& now);

    std::vector<ScheduleRow>& rows() { return rows_; }
    const std::vector<ScheduleRow>& rows() const { return rows_; }
    int rowCount() const { return int(rows_.size()); }
    int cursor() const { return cursor_; }

    // Find next row: the first row that is selected, has not run and is still to come (a later
    // date, or today at or after the current minute); the row count when there is none.
    void findNextRow(const QDateTime& now);
    // Whether the cursor's row is due: today, at or before the current minute.
    bool cursorRowDue(const QDateTime& now) const;

    // Add-schedule: the row is inserted before the first row that is later than it or at the
    // same minute, and its index returned.
    int insertRow(const ScheduleRow& row);
    // Change-schedule: the row at `from` is replaced by `row`, placed as an added row is, so
    // the timer never waits on a row that now belongs later while earlier ones pass by. Its
    // new index is returned.
    int moveRow(int from, const ScheduleRow& row);
    // Whether a row of the centre runs at that date and minute.
    bool hasRow(const QString& centreCode, const QDate& date, const QTime& startTime) const;

private:
    std::vector<ScheduleRow> rows_;
    int cursor_ = 0;
};

}  // namespace edi
