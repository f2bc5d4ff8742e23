#pragma once

#include "app/config/Configuration.h"
#include "app/database/ConnectionSettings.h"
#include "jobs/JobContext.h"
#include "jobs/JobObserver.h"

#include <QObject>
#include <memory>

namespace edi {

class Clock;
class Database;
class MailReceiver;

// Runs jobs on its own thread, with its own database connection (a connection belongs to the
// thread that opened it) and its own converters' state, and reports back through queued signals.
class JobWorker : public QObject {
    Q_OBJECT
public:
    JobWorker(ConnectionSettings connection, JobSettings settings, const Clock& clock, MailReceiver& mail);
    ~JobWorker() override;

public Q_SLOTS:
    // Runs the reception of the centre for timetable row `row`; ends with jobFinished.
    void runJob(int row, const QString& centreCode);

Q_SIGNALS:
    void statusText(int row, edi::StatusColumn column, const QString& text);
    void rowState(int row, edi::RowState state);
    void busyAgain();
    void note(int row, const QString& text);
    void jobFinished(int row, edi::RowState state);

private:
    ConnectionSettings connection_;
    JobSettings settings_;
    const Clock& clock_;
    MailReceiver& mail_;
    std::unique_ptr<Database> database_;
    std::unique_ptr<JobContext> context_;
};

}  // namespace edi
