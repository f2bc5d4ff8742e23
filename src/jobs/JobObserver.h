#pragma once

#include <QString>
#include <QStringList>

namespace edi {

// The grid's status columns a job writes.
enum class StatusColumn { Reception = 6, Conversion = 7, Registration = 8 };

// Display states of a schedule row. A row is missed when its minute passed beyond the catch-up
// without its job running.
enum class RowState : qint16 { NotRun = 0, Running = 1, Finished = 2, Missed = 3, Failed = 9 };

// What a job tells the window it runs for (or the log, without one). Called on the job's thread;
// a window hands the calls over to its own thread.
class JobObserver {
public:
    virtual ~JobObserver() = default;
    // The job's serial, once its job row is written.
    virtual void serialOpened(qint32) {}
    virtual void statusText(StatusColumn column, const QString& text) = 0;
    virtual void rowState(RowState state) = 0;
    // After a long step the busy window comes to the front again.
    virtual void busyAgain() {}
    // A line for the operator's log: what went wrong where the grid has no room for it.
    virtual void note(const QString& text) = 0;
    // At the job's end: what it did, told from its history rows (see jobReport).
    virtual void report(const QStringList&) {}
};

}  // namespace edi
