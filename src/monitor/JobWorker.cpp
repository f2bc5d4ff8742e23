#include "monitor/JobWorker.h"

#include "app/database/Database.h"
#include "app/database/DatabaseError.h"
#include "jobs/JobSequence.h"

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

// Hands a job's reports to the worker's signals for one timetable row.
class RowObserver final : public JobObserver {
public:
    RowObserver(JobWorker& worker, int row) : worker_(worker), row_(row) {}
    void serialOpened(qint32 serial) override { Q_EMIT worker_.serialOpened(row_, serial); }
    void statusText(StatusColumn column, const QString& text) override { Q_EMIT worker_.statusText(row_, column, text); }
    void rowState(RowState state) override { Q_EMIT worker_.rowState(row_, state); }
    void busyAgain() override { Q_EMIT worker_.busyAgain(); }
    void note(const QString& text) override { Q_EMIT worker_.note(row_, text); }
    void report(const QStringList& lines) override { Q_EMIT worker_.report(row_, lines); }

private:
    JobWorker& worker_;
    int row_;
};

}  // namespace

JobWorker::JobWorker(ConnectionSettings connection, JobSettings settings, const Clock& clock, MailReceiver& mail)
    : connection_(std::move(connection))
    , settings_(std::move(settings))
    , clock_(clock)
    , mail_(mail)
{
}

JobWorker::~JobWorker() = default;

void JobWorker::runJob(int row, const QString& centreCode)
{
    runOnConnection(row, [&](JobContext& context, JobObserver& observer) {
        return runScheduledJob(context, centreCode, observer);
    });
}

void JobWorker::rerunJob(int row, qint32 serial)
{
    runOnConnection(row, [&](JobContext& context, JobObserver& observer) {
        const RerunOutcome outcome = edi::rerunJob(context, serial, false, observer);
        if (!outcome.refusal.isEmpty())
            Q_EMIT rerunRefused(row, outcome.refusal);
        return outcome.state;
    });
}

void JobWorker::runOnConnection(int row, const std::function<RowState(JobContext&, JobObserver&)>& job)
{
    RowObserver observer(*this, row);
    RowState state = RowState::Failed;
    try {
        if (!database_) {
            database_ = Database::open(connection_);
            context_ = std::make_unique<JobContext>(*database_, clock_, settings_, mail_);
        }
        state = job(*context_, observer);
    } catch (const DatabaseError& error) {
        // Without a connection the job cannot even start: its row fails, the next one tries again.
        observer.statusText(StatusColumn::Reception, u"通番ｴﾗｰ"_s);
        observer.rowState(RowState::Failed);
        observer.note(error.message());
    }
    Q_EMIT jobFinished(row, state);
}

}  // namespace edi
