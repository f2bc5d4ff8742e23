#include "monitor/JobWorker.h"

#include "app/database/Database.h"
#include "app/database/DatabaseError.h"
#include "jobs/JobSequence.h"

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

// Hands a job's reports to the worker's signals.
class SignallingObserver final : public JobObserver {
public:
    explicit SignallingObserver(JobWorker& worker) : worker_(worker) {}
    void serialOpened(qint32 serial) override { Q_EMIT worker_.serialOpened(serial); }
    void statusText(StatusColumn column, const QString& text) override { Q_EMIT worker_.statusText(column, text); }
    void rowState(RowState state) override { Q_EMIT worker_.rowState(state); }
    void busyAgain() override { Q_EMIT worker_.busyAgain(); }
    void note(const QString& text) override { Q_EMIT worker_.note(text); }
    void report(const QStringList& lines) override { Q_EMIT worker_.report(lines); }

private:
    JobWorker& worker_;
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

void JobWorker::runJob(const QString& centreCode, const QString& jobNote)
{
    runOnConnection([&](JobContext& context, JobObserver& observer) {
        return runScheduledJob(context, centreCode, observer, jobNote);
    });
}

void JobWorker::rerunJob(qint32 serial)
{
    runOnConnection([&](JobContext& context, JobObserver& observer) {
        const RerunOutcome outcome = edi::rerunJob(context, serial, false, observer);
        if (!outcome.refusal.isEmpty())
            Q_EMIT rerunRefused(outcome.refusal);
        return outcome.state;
    });
}

void JobWorker::runOnConnection(const std::function<RowState(JobContext&, JobObserver&)>& job)
{
    SignallingObserver observer(*this);
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
    Q_EMIT jobFinished(state);
}

}  // namespace edi
