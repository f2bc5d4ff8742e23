#pragma once

#include "monitor/Timetable.h"

#include <QDateTime>
#include <QString>
#include <vector>

namespace edi {

struct MonitorSnapshot;

// A line of a workstation's timetable on the web page: the row as the window builds it, and its
// state from the history.
struct TimetableLine {
    enum class State { NotRun, Running, Finished, Failed, Busy, Missed };

    ScheduleRow row;
    State state = State::NotRun;
    qint32 serial = 0;  // the job that ran for it; 0 when none did
    QString tip;        // the job's report, as the window's tool tip tells it, or why the row was missed

    QString stateText() const;
    QString stateKey() const;
    QString stateClass() const;
};

// The fourteen days from today of one workstation: all of today's receptions, those that passed
// with the job that ran for each (the first of its centre from its minute on, before the centre's
// next reception), then the thirteen days to come. A row of today that no job ran for and whose
// minute passed more than catchupMinutes ago was missed. Empty for a workstation without a
// schedule.
std::vector<TimetableLine> machineTimetable(const MonitorSnapshot& snapshot, const QString& machine, const QDateTime& now,
                                            int catchupMinutes);

}  // namespace edi
