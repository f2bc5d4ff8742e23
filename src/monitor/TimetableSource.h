#pragma once

#include "monitor/Timetable.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <vector>

namespace edi {

class Database;

// A timetable and the schedule it was built from, which later looks at the masters compare with.
struct BuiltTimetable {
    std::vector<ScheduleMasterRow> schedule;
    Timetable timetable;
    // Rows of earlier days that passed while no scheduler of this workstation ran and that no
    // job received: told in the log only, as the timetable begins today.
    QStringList missedEarlier;
};

// Where the scheduler's timetable comes from: this workstation's schedule in the masters, what
// the history says of the receptions that ran, and how late a reception may still run.
class TimetableSource {
public:
    // How far back the start looks for rows that passed while no scheduler ran.
    static constexpr int kLookBackDays = 7;

    TimetableSource(Database& database, QString machineName, int catchupMinutes);

    int catchupMinutes() const { return catchupMinutes_; }
    const QString& machineName() const { return machineName_; }
    // This workstation's schedule, read again (the connection reopened when it was lost). Throws
    // DatabaseError.
    std::vector<ScheduleMasterRow> schedule();
    // The timetable a scheduler starts with at `now`: the build from the current minute on, and
    // before it the rows whose minute passed while no scheduler of this workstation ran (since
    // lastAlive, its last heartbeat, at most kLookBackDays back; without one, within the
    // catch-up) and that no job of their centre has run since: those of today and those within
    // the catch-up wait to run or to be marked missed. Throws DatabaseError.
    BuiltTimetable startingTimetable(const QDateTime& now, const QDateTime& lastAlive);

private:
    Database& database_;
    QString machineName_;
    int catchupMinutes_;
};

}  // namespace edi
