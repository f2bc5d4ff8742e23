#pragma once

#include "monitor/TimetableSource.h"

#include <optional>

namespace edi {

class MessageSink;

// Start-up's timetable (TimetableSource::startingTimetable). A schedule query that fails shows
// "該当するデータがありませんでした" and gives nothing, and so does a schedule without a row of this
// workstation when emptyIsFatal (the window, which then ends); otherwise an empty timetable is
// given, which the next rebuild fills.
std::optional<BuiltTimetable> loadTimetable(TimetableSource& source, const QDateTime& now, const QDateTime& lastAlive,
                                            MessageSink& messages, bool emptyIsFatal);

}  // namespace edi
