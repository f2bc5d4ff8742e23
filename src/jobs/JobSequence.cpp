#include "jobs/JobSequence.h"

#include "app/ResultCode.h"
#include "app/database/Database.h"
#include "app/database/DatabaseError.h"
#include "app/files/FileHelpers.h"
#include "app/files/JobFiles.h"
#include "app/text/TextHelpers.h"
#include "jobs/Alerts.h"
#include "jobs/ControlRow.h"
#include "jobs/DatabaseLoss.h"
#include "jobs/DuplicateCheck.h"
#include "jobs/JobCodes.h"
#include "jobs/JobContext.h"
#include "jobs/JobReport.h"
#include "jobs/ReceivedFileCollection.h"
#include "jobs/Recovery.h"
#include "jobs/Registration.h"
#include "jobs/Rerun.h"
#include "jobs/TransferStep.h"

#include <QFileInfo>
#include <exception>
#include <functional>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

// A step's result; anything a step lets escape is its failure.
QString guarded(const std::function<QString()>& step)
{
    try {
        return step();
    } catch (const std::exception&) {
        return ResultCode::failed;
    }
}

// One step of a job as its grid column shows it.
struct JobStep {
    StatusColumn column;
    const char16_t* runningText;  // null: the step shows nothing while it runs, nor when it ends well
    const char16_t* errorText;
    bool showsBusyAgain;  // the step's transport or converter may have hidden the busy window
    std::function<QString()> run;
};

// How a job's steps before its registration ended: all well, or stopped with the job row's codes
// and note (the grid text of the step that failed).
struct StepsOutcome {
    bool failed = false;
    bool stopped = false;  // the registration, which otherwise completes the job row, does not run
    QString code;
    QString detailCode;
    QString note;
};

// How a job receives its data under its serial: the transfer, or a re-run's copy of the files an
// earlier job received.
using Reception = std::function<QString(qint32 serial)>;

// The grid text a step ends with: OK, what a reception that brought nothing found, a duplicate
// delivery, or its error.
QString endText(const JobStep& step, const QString& code)
{
    if (code == ResultCode::ok)
        return u"OK"_s;
    if (code == JobCode::noData)
        return u"ﾃﾞｰﾀなし"_s;
    if (code == JobCode::notSettled)
        return u"書込中"_s;
    if (code == JobCode::duplicate)
        return u"重複"_s;
    return QString::fromUtf16(step.errorText);
}

// Runs a step under its grid texts and returns its code.
QString runStep(const JobStep& step, JobObserver& observer)
{
    if (step.runningText)
        observer.statusText(step.column, QString::fromUtf16(step.runningText));
    const QString code = guarded(step.run);
    if (step.showsBusyAgain)
        observer.busyAgain();
    if (step.runningText || code != ResultCode::ok)
        observer.statusText(step.column, endText(step, code));
    return code;
}

// The conversion step; the local files it made reach the disk before the registration program
// reads them.
QString convertReceivedFiles(JobContext& job, const QString& centreCode, qint32 serial, JobObserver& observer)
{
    const QString code = collectReceivedFiles(job, centreCode, serial);
    if (code == ResultCode::ok && !syncToDisk(JobFiles::serialFilesIn(job.settings().paths.receivedFolder, serial))) {
        observer.note(u"変換したファイルをディスクに書き込めません"_s);
        return ResultCode::failed;
    }
    return code;
}

// Reception, the duplicate check and conversion in order; the first that fails, or a reception
// that brought nothing, stops the job before its registration.
StepsOutcome receiveAndConvert(JobContext& job, const QString& centreCode, qint32 serial, JobObserver& observer,
                               const Reception& receive, Duplicates duplicates)
{
    const JobStep steps[] = {
        {StatusColumn::Reception, u"受信中", u"受信ｴﾗｰ", true, [&] { return receive(serial); }},
        {StatusColumn::Reception, nullptr, u"受信ｴﾗｰ", false,
         [&] { return checkDuplicateDelivery(job, centreCode, serial, duplicates, observer); }},
        {StatusColumn::Conversion, u"変換中", u"変換ｴﾗｰ", true,
         [&] { return convertReceivedFiles(job, centreCode, serial, observer); }},
    };
    for (const JobStep& step : steps) {
        const QString code = runStep(step, observer);
        if (JobCode::receivedNothing(code))
            return {false, true, ResultCode::ok, code, {}};
        if (code != ResultCode::ok)
            return {true, true, code, {}, endText(step, code)};
    }
    return {};
}

// The job row of a job that stopped before its registration, which otherwise completes it: an
// open job row then means a job that still runs, or one whose process ended.
void closeStoppedJob(JobContext& job, qint32 serial, const StepsOutcome& outcome)
{
    HistoryCompletion completion;
    completion.serial = serial;
    completion.endCode = outcome.code;
    completion.detailCode = outcome.detailCode;
    completion.note = outcome.note;
    job.history().closeRow(completion);
}

// The steps of a job whose row is open, to the end of its job row, and the backup copy, which
// runs after every job's reception and conversion; true when something failed.
bool runJobSteps(JobContext& job, const QString& centreCode, qint32 serial, JobObserver& observer,
                 const Reception& receive, Duplicates duplicates)
{
    StepsOutcome outcome = receiveAndConvert(job, centreCode, serial, observer, receive, duplicates);
    // The backup copies are on the disk before the job row ends (the registration ends it).
    const bool backedUp = backupJobFiles(job, serial);
    if (outcome.stopped) {
        closeStoppedJob(job, serial, outcome);
    } else {
        const JobStep registration{StatusColumn::Registration, u"登録中", u"登録ｴﾗｰ", false,
                                   [&] { return runRegistration(job, centreCode, serial); }};
        outcome.failed = runStep(registration, observer) != ResultCode::ok;
    }
    if (!backedUp) {
        const QString note = u"バックアップエラー %1"_s.arg(serialText(serial));
        observer.note(note);
        job.history().annotateRow(serial, 0, note, outcome.failed ? QString() : JobCode::backupFailed);
    }
    return outcome.failed || !backedUp;
}

// The job's report from its rows, once they are written, and the alert it raises; without its
// rows the notes stand alone.
void reportJob(JobContext& job, qint32 serial, JobObserver& observer)
{
    if (serial == 0)
        return;
    std::vector<HistoryRow> rows;
    try {
        rows = job.history().jobRows(serial);
    } catch (const DatabaseError&) {
        return;  // the notes told the operator what happened
    }
    observer.report(jobReport(serial, rows));
    alertIfDue(job, serial, rows, [&observer](const QString& line) { observer.note(line); });
}

// Why a job may not run: the end code of its rows and their note.
struct Refusal {
    QString code;
    QString note;  // empty: the job may run
};

// A job that may not run touches nothing: no transfer, no file, no mail. Its job and transfer rows
// say why: another process receives the centre, or something of an earlier job still does
// ("8001"), or the centre's lock could not be tried ("9999").
void recordUntouchedJob(JobContext& job, const QString& centreCode, JobObserver& observer, const Refusal& refusal)
{
    const bool busy = refusal.code == JobCode::centreBusy;
    observer.note(refusal.note);
    HistoryStart start{0, 0, u"R"_s, u"1"_s, u"01"_s, centreCode, History::machineNote(job.settings().machineName)};
    if (job.history().openJob(start) != ResultCode::ok) {
        observer.statusText(StatusColumn::Reception, u"通番ｴﾗｰ"_s);
        return;
    }
    observer.statusText(StatusColumn::Reception, busy ? u"他で受信中"_s : u"受信ｴﾗｰ"_s);
    auto close = [&](qint16 branch) {
        HistoryCompletion completion;
        completion.serial = start.serial;
        completion.branch = branch;
        completion.endCode = refusal.code;
        completion.note = refusal.note;
        job.history().closeRow(completion);
    };
    HistoryStart transfer{start.serial, 0, u"R"_s, u"1"_s, u"10"_s, centreCode, {}};
    if (job.history().addStep(transfer) == ResultCode::ok)
        close(transfer.branch);
    close(0);
    reportJob(job, start.serial, observer);
}

// The centre's lock, or why there is none: another process holds it (empty problem), or it could
// not be tried.
std::unique_ptr<HeldLock> lockCentre(JobContext& job, const QString& centreCode, QString& problem)
{
    try {
        job.database().reconnectIfLost();
    } catch (const std::exception&) {
        // The job row's insert fails later and says so.
    }
    try {
        return job.locks().tryLock(LockScope::Centre, centreCode);
    } catch (const LockError& error) {
        problem = error.message();
        return nullptr;
    }
}

// An earlier job of the centre whose process ended is completed before the centre's next job.
// Returns the line of one that still runs, empty when none does.
QString recoverEarlierJobs(JobContext& job, const QString& centreCode, JobObserver& observer)
{
    return recoverCentre(job, centreCode, [&observer](const QString& line) { observer.note(line); });
}

// Another machine's job of a centre received through the communication package whose transfer
// was never completed: the package's file is where every machine's package delivers, and only
// that machine can tell whether its package delivered what lies there. Until its program completes
// the job, another reception would take that file or write over it. Returns the line that says
// so, empty when there is no such job.
QString unsettledDeliveryElsewhere(JobContext& job, const QString& centreCode)
{
    try {
        const ControlRowLookup centre = loadControlRow(job.database(), centreCode);
        if (!centre.row || centre.row->transferMethod != u"Z"_s)
            return {};
        const auto open = job.history().openTransfersElsewhere(job.settings().machineName, centreCode);
        if (open.empty())
            return {};
        const auto& [serial, machine] = open.front();
        return u"%1 の通番 %2 の通信パッケージによる受信が完了していません (その端末のプログラムが次に起動したときに完了します)"_s.arg(
            machine.isEmpty() ? u"他の端末"_s : machine, serialText(serial));
    } catch (const DatabaseError&) {
        return {};  // the job's own rows say what became of the database
    }
}

Refusal refusalWithoutLock(const QString& centreCode, const QString& lockProblem)
{
    if (!lockProblem.isEmpty())
        return {ResultCode::failed, lockProblem};
    return {JobCode::centreBusy, u"他のプロセスがセンター %1 を受信中のため受信しませんでした"_s.arg(centreCode)};
}

// Under the centre's lock, once the earlier jobs are completed: what of them still runs, or
// another machine's delivery that is not settled, keeps the centre busy.
Refusal refusalUnderLock(JobContext& job, const QString& centreCode, JobObserver& observer)
{
    QString waitFor = recoverEarlierJobs(job, centreCode, observer);
    if (waitFor.isEmpty())
        waitFor = unsettledDeliveryElsewhere(job, centreCode);
    if (waitFor.isEmpty())
        return {};
    return {JobCode::centreBusy, u"センター %1 の前の受信が終わっていないため受信しませんでした: "_s.arg(centreCode) + waitFor};
}

// A job whose centre's lock is held: the job's row and its steps.
RowState runLockedJob(JobContext& job, const QString& centreCode, JobObserver& observer, const QString& jobNote,
                      const Reception& receive, Duplicates duplicates)
{
    bool failed = true;
    const QString machine = History::machineNote(job.settings().machineName);
    HistoryStart start{0, 0, u"R"_s, u"1"_s, u"01"_s, centreCode, jobNote.isEmpty() ? machine : machine + u" / "_s + jobNote};
    QString serialsSkipped;
    if (job.history().openJob(start, &serialsSkipped) != ResultCode::ok) {
        observer.statusText(StatusColumn::Reception, u"通番ｴﾗｰ"_s);
    } else {
        observer.serialOpened(start.serial);
        if (!serialsSkipped.isEmpty())
            observer.note(serialsSkipped);
        failed = runJobSteps(job, centreCode, start.serial, observer, receive, duplicates);
    }
    if (const QString lost = databaseLossNote(job.database(), centreCode, start.serial); !lost.isEmpty())
        observer.note(lost);
    reportJob(job, start.serial, observer);
    const RowState state = failed ? RowState::Failed : RowState::Finished;
    observer.rowState(state);
    return state;
}

}  // namespace

bool backupJobFiles(JobContext& job, qint32 serial)
{
    const PathSettings& paths = job.settings().paths;
    bool copied = true;
    for (const QString& file : JobFiles::serialFilesIn(paths.receivedFolder, serial)) {
        const QString target = JobFiles::joinPath(paths.backupFolder, QFileInfo(file).fileName());
        copied = copyFile(file, target) == FileStatus::Done && copied;
    }
    return copied;
}

RowState runScheduledJob(JobContext& job, const QString& centreCode, JobObserver& observer, const QString& jobNote)
{
    observer.rowState(RowState::Running);
    QString lockProblem;
    const std::unique_ptr<HeldLock> centreLock = lockCentre(job, centreCode, lockProblem);
    const Refusal refusal = centreLock ? refusalUnderLock(job, centreCode, observer) : refusalWithoutLock(centreCode, lockProblem);
    if (!refusal.note.isEmpty()) {
        recordUntouchedJob(job, centreCode, observer, refusal);
        observer.rowState(RowState::Failed);
        return RowState::Failed;
    }
    return runLockedJob(
        job, centreCode, observer, jobNote, [&](qint32 serial) { return runTransfer(job, centreCode, serial, observer); },
        Duplicates::KeepAside);
}

RerunOutcome rerunJob(JobContext& job, qint32 serial, bool force, JobObserver& observer)
{
    const RerunPlan found = planRerun(job, serial, force);
    if (found.centreCode.isEmpty())
        return {RowState::Failed, found.refusal};
    QString lockProblem;
    const std::unique_ptr<HeldLock> centreLock = lockCentre(job, found.centreCode, lockProblem);
    if (!centreLock) {
        return {RowState::Failed, lockProblem.isEmpty()
                                      ? u"他のプロセスがセンター %1 を受信中です"_s.arg(found.centreCode)
                                      : lockProblem};
    }
    // Looked at again under the lock, after the recovery: nobody else runs the centre's jobs now.
    if (const QString running = recoverEarlierJobs(job, found.centreCode, observer); !running.isEmpty())
        return {RowState::Failed, running};
    const RerunPlan plan = planRerun(job, serial, force);
    if (!plan.refusal.isEmpty())
        return {RowState::Failed, plan.refusal};
    observer.rowState(RowState::Running);
    const RowState state = runLockedJob(
        job, plan.centreCode, observer, rerunNote(serial),
        [&](qint32 newSerial) { return restoreReceivedFiles(job, plan, newSerial, observer); },
        force ? Duplicates::Register : Duplicates::KeepAside);
    if (state == RowState::Finished) {
        for (const QString& line : restoreKeptAsideNames(plan.sources))
            observer.note(line);
    }
    return {state, {}};
}

}  // namespace edi
