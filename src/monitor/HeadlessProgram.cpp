#include "monitor/HeadlessProgram.h"

#include "app/AppState.h"
#include "app/ConsoleOutput.h"
#include "app/ProgramOptions.h"
#include "app/StateReport.h"
#include "app/Startup.h"
#include "jobs/JobContext.h"
#include "jobs/JobSequence.h"
#include "jobs/LoggingJobObserver.h"
#include "monitor/HeadlessMonitor.h"
#include "monitor/JobWorker.h"
#include "monitor/MonitorEngine.h"
#include "monitor/TimetableLoader.h"
#include "transport/MailProgress.h"
#include "transport/MailTransport.h"

#include <QCoreApplication>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

bool start(AppState& state, const ProgramOptions& options, const Clock& clock, MessageSink& messages)
{
    const StartupRequest request{QCoreApplication::applicationDirPath(), options.configPath, options.operatorArgument,
                                 &clock};
    return runStartup(state, request, messages);
}

}  // namespace

int runHeadlessMonitor(const ProgramOptions& options)
{
    SystemClock clock;
    ConsoleMessageSink messages(u"SCHMON01"_s, clock);
    AppState state;
    if (!start(state, options, clock, messages))
        return 1;
    std::optional<Timetable> timetable = loadTimetable(*state.database, state.machineName, clock.now(), messages);
    if (!timetable)
        return 1;
    for (const QString& line : stateReport(state))
        writeStandardError(consoleLine(clock.now(), u"SCHMON01"_s, line) + u'\n');

    const JobSettings settings = JobSettings::fromState(state, QCoreApplication::applicationDirPath());
    ConsoleMailProgress mailProgress(clock);
    MailTransport mail(settings.configPath, settings.paths.receivedFolder, mailProgress);
    auto worker = std::make_unique<JobWorker>(state.database->settings(), settings, clock, mail);
    MonitorEngine engine(clock, std::move(*timetable), std::move(worker));
    HeadlessMonitor monitor(engine, clock);
    monitor.showTimetable();
    monitor.endOnSignals();
    engine.start();
    return QCoreApplication::exec();
}

int runOneJob(const ProgramOptions& options)
{
    SystemClock clock;
    ConsoleMessageSink messages(u"SCHMON01"_s, clock);
    AppState state;
    if (!start(state, options, clock, messages))
        return 1;
    const JobSettings settings = JobSettings::fromState(state, QCoreApplication::applicationDirPath());
    ConsoleMailProgress mailProgress(clock);
    MailTransport mail(settings.configPath, settings.paths.receivedFolder, mailProgress);
    JobContext job(*state.database, clock, settings, mail);
    LoggingJobObserver observer(options.runJobCentre, clock);
    return runScheduledJob(job, options.runJobCentre, observer) == RowState::Finished ? 0 : 1;
}

}  // namespace edi
