#pragma once

#include "app/config/Configuration.h"
#include "app/database/ConnectionSettings.h"
#include "jobs/JobContext.h"
#include "jobs/JobObserver.h"

#include <QObject>
#include <functional>
#include <memory>

namespace edi {

class Clock;
class Database;
class MailReceiver;

// Runs jobs on its own thread, with its own database connection (a connection belongs to the
// thread that opened it) and its own converters' state, and reports back through queued signals.
// One job runs at a time: what it reports is of the job that runs.
class JobWorker : public QObject {
    Q_OBJECT
public:
    JobWorker(ConnectionSettings connection, JobSettings settings, const Clock& clock, MailReceiver& mail);
    ~JobWorker() override;

public Q_SLOTS:
    // Runs the reception of the centre; ends with jobFinished. A job note goes into the job row
    // (a reception caught up late says so).
    void runJob(const QString& centreCode, const QString& jobNote);
    // Runs the conversion and registration of the earlier job `serial` again; ends with
    // jobFinished, after rerunRefused when it could not run.
    void rerunJob(qint32 serial);

Q_SIGNALS:
    void serialOpened(qint32 serial);
    void rerunRefused(const QString& reason);
    void statusText(edi::StatusColumn column, const QString& text);
    void rowState(edi::RowState state);
    void busyAgain();
    void note(const QString& text);
    void report(const QStringList& lines);
    void jobFinished(edi::RowState state);

private:
    // Runs a job on the worker's connection, opened at the first job; without one the row fails.
    void runOnConnection(const std::function<RowState(JobContext&, JobObserver&)>& job);

    ConnectionSettings connection_;
    JobSettings settings_;
    const Clock& clock_;
    MailReceiver& mail_;
    std::unique_ptr<Database> database_;
    std::unique_ptr<JobContext> context_;
};

}  // namespace edi
