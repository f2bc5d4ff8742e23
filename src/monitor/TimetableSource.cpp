#include "monitor/TimetableSource.h"

#include "app/database/Database.h"
#include "jobs/History.h"

#include <algorithm>

namespace edi {
namespace {

QDateTime minuteOf(const QDateTime& moment)
{
    return QDateTime(moment.date(), QTime(moment.time().hour(), moment.time().minute()));
}

}  // namespace

TimetableSource::TimetableSource(Database& database, QString machineName, int catchupMinutes)
    : database_(database)
    , machineName_(std::move(machineName))
    , catchupMinutes_(catchupMinutes)
{
}

std::vector<ScheduleMasterRow> TimetableSource::schedule()
{
    database_.reconnectIfLost();
    return loadScheduleMasterRows(database_, machineName_);
}

BuiltTimetable TimetableSource::startingTimetable(const QDateTime& now, const QDateTime& lastAlive)
{
    BuiltTimetable built;
    built.schedule = schedule();
    built.timetable = Timetable::build(built.schedule, now);

    const QDateTime minute = minuteOf(now);
    const QDateTime catchupFrom = minute.addSecs(-60 * qint64(catchupMinutes_));
    // Rows before the last heartbeat were the business of the scheduler that wrote it.
    const QDateTime from = lastAlive.isValid() ? std::max(minuteOf(lastAlive), minute.addDays(-kLookBackDays)) : catchupFrom;
    if (from >= minute)
        return built;
    const std::map<QString, QDateTime> ran = latestJobStarts(database_, from.date());
    std::vector<ScheduleRow> earlier;
    for (QDate date = from.date(); date <= now.date(); date = date.addDays(1)) {
        for (ScheduleRow& row : Timetable::rowsOn(built.schedule, date)) {
            if (row.due() < from || row.due() >= minute)
                continue;
            const auto job = ran.find(row.centreCode);
            if (job != ran.end() && job->second >= row.due())
                continue;  // a job of the centre ran since: it received what the row would have
            if (row.date == now.date() || row.due() >= catchupFrom)
                earlier.push_back(std::move(row));
            else
                built.missedEarlier << row.missedNote(now, catchupMinutes_);
        }
    }
    built.timetable.addEarlierRows(std::move(earlier));
    return built;
}

}  // namespace edi
