#include "app/AppState.h"
#include "app/ConsoleOutput.h"
#include "app/ProgramOptions.h"
#include "app/StateReport.h"
#include "app/Startup.h"
#include "app/database/DatabaseError.h"
#include "jobs/JobContext.h"
#include "jobs/JobSequence.h"
#include "jobs/LoggingJobObserver.h"
#include "monitor/ScheduleQuery.h"
#include "transport/MailReceiver.h"

#include <QCoreApplication>

using namespace Qt::Literals::StringLiterals;

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const edi::ProgramOptions options = edi::parseProgramOptions(application.arguments().mid(1));
    if (!options.error.isEmpty()) {
        edi::writeStandardError(options.error + u'\n' + edi::programUsage());
        return 2;
    }
    if (options.help || options.version) {
        edi::writeStandardOutput(options.help ? edi::programUsage() : u"edi-auto " EDI_VERSION "\n"_s);
        return 0;
    }

    edi::SystemClock clock;
    edi::ConsoleMessageSink messages(u"SCHMON01"_s, clock);
    edi::AppState state;
    const edi::StartupRequest request{QCoreApplication::applicationDirPath(), options.configPath,
                                      options.operatorArgument, &clock};
    if (!edi::runStartup(state, request, messages))
        return 1;

    if (!options.runJobCentre.isEmpty()) {
        edi::NoMailReceiver mail;
        edi::JobSettings settings{state.configPath,
                                  state.settings.paths,
                                  state.settings.linkDriver,
                                  state.operatorCode,
                                  state.programId,
                                  QCoreApplication::applicationDirPath() + u"/ERR.LOG"_s};
        edi::JobContext job(*state.database, clock, settings, mail);
        edi::LoggingJobObserver observer(options.runJobCentre, clock);
        return edi::runScheduledJob(job, options.runJobCentre, observer) == edi::RowState::Finished ? 0 : 1;
    }

    const QString noData = u"該当するデータがありませんでした"_s;
    std::vector<edi::ScheduleMasterRow> rows;
    try {
        rows = edi::loadScheduleMasterRows(*state.database, state.machineName);
    } catch (const edi::DatabaseError& error) {
        messages.showMessage(noData, error.message());
        return 1;
    }
    if (rows.empty()) {
        messages.showMessage(noData, u"no schedule for "_s + state.machineName);
        return 1;
    }
    edi::writeStandardOutput(edi::stateReport(state) + u'\n' + edi::scheduleRowsReport(rows));
    return 0;
}
