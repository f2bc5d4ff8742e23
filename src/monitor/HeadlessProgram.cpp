#include "monitor/HeadlessProgram.h"

#include "app/AppState.h"
#include "app/ConsoleOutput.h"
#include "app/ProgramOptions.h"
#include "app/ServiceNotify.h"
#include "app/Startup.h"
#include "app/StateReport.h"
#include "app/database/DatabaseError.h"
#include "app/text/TextHelpers.h"
#include "jobs/ControlRow.h"
#include "jobs/JobContext.h"
#include "jobs/JobSequence.h"
#include "jobs/LoggingJobObserver.h"
#include "jobs/Recovery.h"
#include "monitor/HeadlessMonitor.h"
#include "monitor/MonitorEngine.h"
#include "monitor/Scheduler.h"
#include "transport/MailProgress.h"
#include "transport/MailTransport.h"

#include <QCoreApplication>
#include <optional>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

// What both ways of running without a window share: the started program, its jobs' settings
// and the mail transport, whose progress goes out as log lines.
class HeadlessSession {
public:
    bool start(const ProgramOptions& options, bool scheduler)
    {
        const QString programFolder = QCoreApplication::applicationDirPath();
        const StartupRequest request{programFolder,      options.configPath, options.operatorArgument, clock.get(),
                                     systemMachineName, scheduler};
        if (!runStartup(state, request, messages))
            return false;
        settings = JobSettings::fromState(state, programFolder);
        mail.emplace(settings.configPath, settings.paths.receivedFolder, mailProgress);
        recoverAtStart(*state.database, *clock, settings);
        return true;
    }

    std::unique_ptr<Clock> clock = programClock();
    ConsoleMessageSink messages{u"SCHMON01"_s, *clock};
    AppState state;
    JobSettings settings;
    ConsoleMailProgress mailProgress{*clock};
    std::optional<MailTransport> mail;
};

}  // namespace

int runHeadlessMonitor(const ProgramOptions& options)
{
    HeadlessSession session;
    const Clock& clock = *session.clock;
    if (!session.start(options, true))
        return 1;
    auto log = [&clock](LogPriority priority, const QString& text) {
        writeLogLine(priority, clock.now(), u"SCHMON01"_s, text);
    };
    std::unique_ptr<Scheduler> scheduler =
        Scheduler::create(session.state, session.settings, *session.mail, session.messages, false, log);
    if (!scheduler)
        return 1;
    if (const QString note = programClockNote(clock); !note.isEmpty())
        log(LogPriority::Warning, note);
    for (const QString& line : stateReport(session.state))
        log(LogPriority::Detail, line);

    MonitorEngine& engine = scheduler->engine();
    HeadlessMonitor monitor(engine, clock);
    // SIGINT and SIGTERM are ours before the first line says the scheduler runs.
    monitor.followSignals();
    const QString summary = monitor.summary(session.state.machineName, session.state.database->settings().description());
    monitor.log(summary);
    if (scheduler->startedEmpty())
        monitor.warn(u"端末 %1 の受信がスケジュールマスタにありません。マスタが変わるか日付が変わるか SIGHUP で作り直します"_s.arg(
            session.state.machineName));
    for (const QString& missed : scheduler->missedEarlier())
        monitor.warn(missed);
    monitor.showTimetable();
    scheduler->begin();
    notifyServiceReady(summary);
    const int status = QCoreApplication::exec();
    scheduler->end();
    return status;
}

int runOneJob(const ProgramOptions& options)
{
    HeadlessSession session;
    if (!session.start(options, false))
        return 1;
    try {
        if (!hasControlRow(*session.state.database, options.runJobCentre)) {
            session.messages.showMessage(u"センターコードエラー"_s,
                                         u"センター %1 は EDI制御マスタにありません"_s.arg(options.runJobCentre));
            return 2;
        }
    } catch (const DatabaseError&) {
        // The job records the look-up that failed, as a scheduled one would.
    }
    JobContext job(*session.state.database, *session.clock, session.settings, *session.mail);
    LoggingJobObserver observer(options.runJobCentre, *session.clock);
    return runScheduledJob(job, options.runJobCentre, observer) == RowState::Finished ? 0 : 1;
}

int rerunOneJob(const ProgramOptions& options)
{
    HeadlessSession session;
    if (!session.start(options, false))
        return 1;
    JobContext job(*session.state.database, *session.clock, session.settings, *session.mail);
    LoggingJobObserver observer(serialText(options.rerunSerial), *session.clock);
    const RerunOutcome outcome = rerunJob(job, options.rerunSerial, options.force, observer);
    if (!outcome.refusal.isEmpty())
        session.messages.showMessage(u"再実行できません"_s, outcome.refusal);
    return outcome.state == RowState::Finished ? 0 : 1;
}

}  // namespace edi
