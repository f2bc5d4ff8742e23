#include "monitor/TimetableLoader.h"

#include "app/MessageSink.h"
#include "app/database/DatabaseError.h"

using namespace Qt::Literals::StringLiterals;

namespace edi {

std::optional<BuiltTimetable> loadTimetable(TimetableSource& source, const QDateTime& now, const QDateTime& lastAlive,
                                            MessageSink& messages, bool emptyIsFatal)
{
    const QString noData = u"該当するデータがありませんでした"_s;
    try {
        BuiltTimetable built = source.startingTimetable(now, lastAlive);
        if (built.schedule.empty() && emptyIsFatal) {
            messages.showMessage(noData, u"no schedule for "_s + source.machineName());
            return std::nullopt;
        }
        return built;
    } catch (const DatabaseError& error) {
        messages.showMessage(noData, error.message());
        return std::nullopt;
    }
}

}  // namespace edi
