#include "monitor/Timetable.h"

#include "jobs/JobReport.h"

namespace edi {
namespace {

// The weekday of a schedule row counted on from Sunday = 1, so 8 is Sunday again; 0 = Sunday ... 6.
int weekdayIndex(int scheduleDay)
{
    return ((scheduleDay - 1) % 7 + 7) % 7;
}

// Qt numbers Monday 1 ... Sunday 7.
int weekdayIndex(const QDate& date)
{
    return date.dayOfWeek() % 7;
}

QTime minuteOf(const QTime& time)
{
    return QTime(time.hour(), time.minute());
}

}  // namespace

QString& ScheduleRow::status(StatusColumn column)
{
    switch (column) {
    case StatusColumn::Reception: return receptionStatus;
    case StatusColumn::Conversion: return conversionStatus;
    case StatusColumn::Registration: break;
    }
    return registrationStatus;
}

QString ScheduleRow::jobTip() const
{
    return reportWithNotes(report, notes).join(u'\n');
}

Timetable Timetable::build(const std::vector<ScheduleMasterRow>& schedule, const QDateTime& now)
{
    Timetable timetable;
    const QDate today = now.date();
    const QTime second = QTime(now.time().hour(), now.time().minute(), now.time().second());
    for (int pass = 0; pass < 2; ++pass) {
        for (int day = 0; day < 7; ++day) {
            const QDate date = today.addDays(day + 7 * pass);
            for (const ScheduleMasterRow& entry : schedule) {
                if (weekdayIndex(entry.weekday) != weekdayIndex(date))
                    continue;
                if (pass == 0 && day == 0 && entry.startTime < second)
                    continue;  // already passed today
                if (timetable.rowCount() == kMaxRows)
                    return timetable;
                ScheduleRow row;
                row.date = date;
                row.startTime = minuteOf(entry.startTime);
                row.centreCode = entry.centreCode;
                row.centreName = entry.centreName;
                row.transferMethod = entry.transferMethod;
                timetable.rows_.push_back(std::move(row));
            }
        }
    }
    return timetable;
}

void Timetable::findNextRow(const QDateTime& now)
{
    const QDate today = now.date();
    const QTime minute = minuteOf(now.time());
    for (int i = 0; i < rowCount(); ++i) {
        const ScheduleRow& row = rows_[size_t(i)];
        const bool toCome = row.date > today || (row.date == today && row.startTime >= minute);
        if (row.selected && row.displayState == RowState::NotRun && toCome) {
            cursor_ = i;
            return;
        }
    }
    cursor_ = rowCount();
}

bool Timetable::cursorRowDue(const QDateTime& now) const
{
    if (cursor_ >= rowCount())
        return false;
    const ScheduleRow& row = rows_[size_t(cursor_)];
    return row.date == now.date() && row.startTime <= minuteOf(now.time());
}

int Timetable::insertRow(const ScheduleRow& row)
{
    int index = 0;
    while (index < rowCount()) {
        const ScheduleRow& existing = rows_[size_t(index)];
        if (existing.date > row.date || (existing.date == row.date && existing.startTime >= row.startTime))
            break;
        ++index;
    }
    rows_.insert(rows_.begin() + index, row);
    return index;  // rows are added only while automatic running is off; starting it finds the cursor anew
}

int Timetable::moveRow(int from, const ScheduleRow& row)
{
    rows_.erase(rows_.begin() + from);
    return insertRow(row);
}

bool Timetable::hasRow(const QString& centreCode, const QDate& date, const QTime& startTime) const
{
    for (const ScheduleRow& row : rows_) {
        if (row.centreCode == centreCode && row.date == date && row.startTime == startTime)
            return true;
    }
    return false;
}

}  // namespace edi
