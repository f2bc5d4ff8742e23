#include "monitor/Timetable.h"

#include "jobs/JobReport.h"

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

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

QDateTime minuteOf(const QDateTime& moment)
{
    return QDateTime(moment.date(), minuteOf(moment.time()));
}

bool waitsToRun(const ScheduleRow& row)
{
    return row.selected && row.displayState == RowState::NotRun;
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

qint64 ScheduleRow::minutesLate(const QDateTime& now) const
{
    return std::max<qint64>(0, due().secsTo(minuteOf(now)) / 60);
}

QString ScheduleRow::missedNote(const QDateTime& now, int catchupMinutes) const
{
    return u"%1 %2 の受信は予定の時刻を %3 分過ぎたため実行しませんでした (CATCHUP %4 分)"_s
        .arg(due().toString(u"yyyy/MM/dd HH:mm"_s), centreCode)
        .arg(minutesLate(now))
        .arg(catchupMinutes);
}

bool ScheduleRow::samePlace(const ScheduleRow& other) const
{
    return centreCode == other.centreCode && date == other.date && startTime == other.startTime;
}

std::vector<ScheduleRow> Timetable::rowsOn(const std::vector<ScheduleMasterRow>& schedule, const QDate& date)
{
    std::vector<ScheduleRow> rows;
    for (const ScheduleMasterRow& entry : schedule) {
        if (weekdayIndex(entry.weekday) != weekdayIndex(date))
            continue;
        ScheduleRow row;
        row.date = date;
        row.startTime = minuteOf(entry.startTime);
        row.centreCode = entry.centreCode;
        row.centreName = entry.centreName;
        row.transferMethod = entry.transferMethod;
        rows.push_back(std::move(row));
    }
    return rows;
}

Timetable Timetable::build(const std::vector<ScheduleMasterRow>& schedule, const QDateTime& now)
{
    Timetable timetable;
    const QDateTime minute = minuteOf(now);
    for (int day = 0; day < 14; ++day) {
        for (const ScheduleRow& row : rowsOn(schedule, now.date().addDays(day))) {
            if (row.due() < minute)
                continue;  // already passed today
            if (!timetable.append(row))
                return timetable;
        }
    }
    return timetable;
}

Timetable Timetable::rolled(const std::vector<ScheduleMasterRow>& schedule, const QDateTime& now,
                            int catchupMinutes) const
{
    const QDateTime minute = minuteOf(now);
    const QDateTime catchupFrom = minute.addSecs(-60 * qint64(catchupMinutes));
    std::vector<bool> taken(rows_.size(), false);
    Timetable result;
    for (size_t i = 0; i < rows_.size(); ++i) {
        const ScheduleRow& row = rows_[i];
        if (row.due() >= minute)
            continue;
        taken[i] = true;
        const bool keep = row.date >= now.date() || row.displayState == RowState::Running
                       || (waitsToRun(row) && row.due() >= catchupFrom);
        if (keep)
            result.append(row);
    }
    for (const ScheduleRow& fresh : build(schedule, now).rows_) {
        if (movedAway(fresh))
            continue;
        size_t known = 0;
        while (known < rows_.size() && (taken[known] || !rows_[known].samePlace(fresh)))
            ++known;
        if (known < rows_.size()) {
            taken[known] = true;
            ScheduleRow kept = rows_[known];
            kept.centreName = fresh.centreName;  // the masters may have renamed it
            kept.transferMethod = fresh.transferMethod;
            result.append(kept);
        } else {
            result.append(fresh);
        }
    }
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (!taken[i] && rows_[i].oneOff && result.rowCount() < kMaxRows)
            result.insertRow(rows_[i]);
    }
    for (const Place& place : movedAway_) {
        if (place.due >= minute)
            result.movedAway_.push_back(place);
    }
    return result;
}

void Timetable::addEarlierRows(std::vector<ScheduleRow> rows)
{
    const size_t room = size_t(kMaxRows) - std::min<size_t>(rows_.size(), kMaxRows);
    if (rows.size() > room)
        rows.erase(rows.begin(), rows.end() - qsizetype(room));  // the latest matter most
    rows_.insert(rows_.begin(), std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
}

std::vector<int> Timetable::markMissed(const QDateTime& now, int catchupMinutes)
{
    std::vector<int> missed;
    for (int i = 0; i < rowCount(); ++i) {
        ScheduleRow& row = rows_[size_t(i)];
        if (!waitsToRun(row) || row.minutesLate(now) <= catchupMinutes)
            continue;
        row.displayState = RowState::Missed;
        row.receptionStatus = kMissedText;
        row.notes << row.missedNote(now, catchupMinutes);
        missed.push_back(i);
    }
    return missed;
}

void Timetable::findNextRow(const QDateTime& now, int catchupMinutes)
{
    for (int i = 0; i < rowCount(); ++i) {
        const ScheduleRow& row = rows_[size_t(i)];
        if (waitsToRun(row) && row.minutesLate(now) <= catchupMinutes) {
            cursor_ = i;
            return;
        }
    }
    cursor_ = rowCount();
}

bool Timetable::cursorRowDue(const QDateTime& now) const
{
    return cursor_ < rowCount() && rows_[size_t(cursor_)].due() <= now;
}

int Timetable::insertRow(const ScheduleRow& row)
{
    int index = 0;
    while (index < rowCount() && rows_[size_t(index)].due() < row.due())
        ++index;
    rows_.insert(rows_.begin() + index, row);
    return index;  // rows are added only while automatic running is off; starting it finds the cursor anew
}

int Timetable::moveRow(int from, const ScheduleRow& row)
{
    const ScheduleRow& before = rows_[size_t(from)];
    if (!before.oneOff)
        movedAway_.push_back({before.centreCode, before.due()});
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

bool Timetable::append(const ScheduleRow& row)
{
    if (rowCount() >= kMaxRows)
        return false;
    rows_.push_back(row);
    return true;
}

bool Timetable::movedAway(const ScheduleRow& row) const
{
    return std::any_of(movedAway_.begin(), movedAway_.end(), [&](const Place& place) {
        return place.centreCode == row.centreCode && place.due == row.due();
    });
}

}  // namespace edi
