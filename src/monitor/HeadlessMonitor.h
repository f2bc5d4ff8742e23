#pragma once

#include <QObject>
#include <QString>

namespace edi {

class Clock;
class MonitorEngine;

// The monitor without a window: every change of the grid, the run state and every message is a
// log line on standard error ("yyyy/mm/dd hh:nn:ss SCHMON01 ..."). SIGINT and SIGTERM end the
// program as soon as no job runs.
class HeadlessMonitor : public QObject {
    Q_OBJECT
public:
    HeadlessMonitor(MonitorEngine& engine, const Clock& clock);

    // The grid's first fill: one line per row.
    void showTimetable();
    // Ends the event loop on SIGINT or SIGTERM, when no job runs.
    void endOnSignals();

    // A row as the grid shows it: line number, mark, date, time, centre, name, method, the three
    // status texts and the state.
    QString rowLine(int row) const;

private:
    void log(const QString& text) const;

    MonitorEngine& engine_;
    const Clock& clock_;
};

}  // namespace edi
