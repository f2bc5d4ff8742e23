#pragma once

#include <QObject>
#include <QString>

namespace edi {

class Clock;
class MonitorEngine;

// The monitor without a window, as log lines on standard error: at the start a summary, at each
// job's end its outcome and steps, and what the scheduler does on its own: a timetable built
// anew, a reception caught up late or missed, no reception left. In the verbose log also every row
// of the timetable, each change of a row and of the run state. SIGINT and SIGTERM end the program
// as soon as no job runs; SIGHUP builds the timetable anew. Every tick tells the service
// manager's watchdog that the scheduler lives.
class HeadlessMonitor : public QObject {
    Q_OBJECT
public:
    HeadlessMonitor(MonitorEngine& engine, const Clock& clock);

    // One line: the machine, the database, the number of timetable rows and the next reception.
    QString summary(const QString& machineName, const QString& database) const;
    // The number of rows and the next reception.
    QString nextReception() const;
    void log(const QString& text) const;
    void warn(const QString& text) const;
    // The grid's first fill: one detail line per row.
    void showTimetable();
    // Ends the event loop on SIGINT or SIGTERM, when no job runs; rebuilds on SIGHUP.
    void followSignals();

    // A row as the grid shows it: line number, mark, date, time, centre, name, method, the three
    // status texts and the state.
    QString rowLine(int row) const;

private:
    void detail(const QString& text) const;
    void jobEnded(int row, bool failed) const;

    MonitorEngine& engine_;
    const Clock& clock_;
};

}  // namespace edi
