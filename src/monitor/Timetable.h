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
    bool oneOff = false;  // added or moved in the add-schedule dialog, not built from the schedule
    qint32 serial = 0;  // the serial of the row's last job, 0 before one was written
    QStringList notes;   // what its job told beyond the status texts (codes, failures), for the operator
    QStringList report;  // at its job's end: what the job did, from its history rows

    QString& status(StatusColumn column);
    // The row's tool tip: its job's report with the notes it does not tell; empty before a job ran.
    QString jobTip() const;
    // The moment the row is due: its date at its start time.
    QDateTime due() const { return QDateTime(date, startTime); }
    // Whole minutes from the row's minute to the minute of `now`; 0 while it is due or to come.
    qint64 minutesLate(const QDateTime& now) const;
    // Why the row did not run: at `now` it is that many minutes late, beyond the catch-up.
    QString missedNote(const QDateTime& now, int catchupMinutes) const;
    // The same centre at the same date and minute.
    bool samePlace(const ScheduleRow& other) const;
};

// The receptions of the next fourteen days for this workstation, in run order, and the cursor:
// the next row the timer runs, equal to the row count when none is left.
//
// The timetable rolls: rebuilt from the schedule at every change of date (and whenever the
// schedule or the clock changed), it keeps what it knew of its rows.
class Timetable {
public:
    // Row indexes are 16-bit in the grid: a timetable holds at most this many rows.
    static constexpr int kMaxRows = 32766;
    // The grid's reception text of a row that was not run because its minute passed.
    static inline const QString kMissedText = QStringLiteral("実行漏れ");

    // Build: for today and the next six days, and the same seven weekdays a week later, the
    // schedule rows of the day's weekday; today's rows of a minute that has passed are left out
    // (the current minute's rows stay). Rows of one date keep the schedule's order, dates follow
    // each other.
    static Timetable build(const std::vector<ScheduleMasterRow>& schedule, const QDateTime& now);
    // The schedule's rows on one date, in the schedule's order.
    static std::vector<ScheduleRow> rowsOn(const std::vector<ScheduleMasterRow>& schedule, const QDate& date);

    // The timetable built anew at `now`, keeping what this one knew: a row of the schedule that
    // this timetable has keeps its mark, state, texts and job; rows whose minute passed stay
    // while they are of today, wait to be caught up (within catchupMinutes) or run; one-off
    // rows stay until their minute passed; a row of the schedule moved elsewhere in the dialog
    // does not come back. Rows still to come that the schedule no longer has are gone.
    Timetable rolled(const std::vector<ScheduleMasterRow>& schedule, const QDateTime& now, int catchupMinutes) const;
    // Rows whose minute passed before `now` (the start's catch-ups and missed rows), placed before
    // all others.
    void addEarlierRows(std::vector<ScheduleRow> rows);

    std::vector<ScheduleRow>& rows() { return rows_; }
    const std::vector<ScheduleRow>& rows() const { return rows_; }
    int rowCount() const { return int(rows_.size()); }
    int cursor() const { return cursor_; }

    // Selected rows that have not run and whose minute passed more than catchupMinutes ago become
    // missed: their state, reception text and a note say so. Returns their indexes.
    std::vector<int> markMissed(const QDateTime& now, int catchupMinutes);
    // Find next row: the first row that is selected, has not run and is still to come (a later
    // minute than catchupMinutes before the current one); the row count when there is none.
    void findNextRow(const QDateTime& now, int catchupMinutes = 0);
    // Whether the cursor's row is due: its minute has come.
    bool cursorRowDue(const QDateTime& now) const;

    // Add-schedule: the row is inserted before the first row that is later than it or at the
    // same minute, and its index returned.
    int insertRow(const ScheduleRow& row);
    // Change-schedule: the row at `from` is replaced by `row`, placed as an added row is, so
    // the timer never waits on a row that now belongs later while earlier ones pass by. Its
    // new index is returned. A row of the schedule moved away stays away when the timetable rolls.
    int moveRow(int from, const ScheduleRow& row);
    // Whether a row of the centre runs at that date and minute.
    bool hasRow(const QString& centreCode, const QDate& date, const QTime& startTime) const;

private:
    // Where a row of the schedule was before the dialog moved it.
    struct Place {
        QString centreCode;
        QDateTime due;
    };

    // Appends while there is room.
    bool append(const ScheduleRow& row);
    bool movedAway(const ScheduleRow& row) const;

    std::vector<ScheduleRow> rows_;
    int cursor_ = 0;
    std::vector<Place> movedAway_;
};

}  // namespace edi
