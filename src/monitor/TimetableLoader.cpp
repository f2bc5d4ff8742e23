#include "monitor/TimetableLoader.h"

#include "app/MessageSink.h"
#include "app/database/DatabaseError.h"
#include "monitor/ScheduleQuery.h"

using namespace Qt::Literals::StringLiterals;

namespace edi {

std::optional<Timetable> loadTimetable(Database& database, const QString& machineName, const QDateTime& now,
                                       MessageSink& messages)
{
    const QString noData = u"該当するデータがありませんでした"_s;
    try {
        const std::vector<ScheduleMasterRow> schedule = loadScheduleMasterRows(database, machineName);
        if (schedule.empty()) {
            messages.showMessage(noData, u"no schedule for "_s + machineName);
            return std::nullopt;
        }
        return Timetable::build(schedule, now);
    } catch (const DatabaseError& error) {
        messages.showMessage(noData, error.message());
        return std::nullopt;
    }
}

}  // namespace edi
