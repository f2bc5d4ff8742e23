#pragma once

#include "monitor/Timetable.h"

#include <optional>

namespace edi {

class Database;
class MessageSink;

// Start-up's timetable: this workstation's schedule read and built for the fourteen days from
// now. A schedule query that fails or finds no row shows "該当するデータがありませんでした" and
// gives nothing; start-up then ends.
std::optional<Timetable> loadTimetable(Database& database, const QString& machineName, const QDateTime& now,
                                       MessageSink& messages);

}  // namespace edi
