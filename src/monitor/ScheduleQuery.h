#pragma once

#include <QString>
#include <QTime>
#include <vector>

namespace edi {

class Database;

// One row of the schedule master joined with its centre, as the timetable is built from it.
struct ScheduleMasterRow {
    QString centreCode;
    QString centreName;
    QString transferMethod;
    QTime startTime;  // as stored, seconds included
    int weekday = 0;  // 1 = Sunday ... 7 = Saturday

    bool operator==(const ScheduleMasterRow&) const = default;
};

// The receptions scheduled for this workstation: the centres of partner kind "1" whose
// executing workstation is machineName, with their "R" schedule rows, by weekday and start time.
// Throws DatabaseError.
std::vector<ScheduleMasterRow> loadScheduleMasterRows(Database& database, const QString& machineName);

}  // namespace edi
