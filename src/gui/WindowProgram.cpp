#include "gui/WindowProgram.h"

#include "app/AppState.h"
#include "app/ProgramOptions.h"
#include "app/Startup.h"
#include "gui/MailWindow.h"
#include "gui/MonitorWindow.h"
#include "gui/QtJapanese.h"
#include "gui/ScheduleDialog.h"
#include "gui/WindowMessages.h"
#include "gui/WindowStyling.h"
#include "jobs/JobContext.h"
#include "jobs/Recovery.h"
#include "app/ConsoleOutput.h"
#include "app/ProcessSignals.h"
#include "monitor/MonitorEngine.h"
#include "monitor/Scheduler.h"
#include "transport/MailTransport.h"

#include <QApplication>
#include <QTimer>
#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace edi {

int runWindowMonitor(const ProgramOptions& options)
{
    chooseApplicationFont();
    if (!installQtJapanese())
        qWarning("Qt's Japanese translation (qtbase_ja.qm) is missing: standard buttons stay in English");
    const std::unique_ptr<Clock> programTime = programClock();
    const Clock& clock = *programTime;
    WindowMessageSink messages(clock);
    AppState state;
    const StartupRequest request{QApplication::applicationDirPath(), options.configPath, options.operatorArgument, &clock,
                                 systemMachineName, true};
    if (!runStartup(state, request, messages))
        return 1;
    const QString stylingError = u"項目設定エラー"_s;

    // The dialog becomes the monitor window's child below, which then owns it.
    auto dialog = std::make_unique<ScheduleDialog>(*state.database, clock, state.machineName, state.settings.styling);
    QString stylingProblem;
    if (!applyWindowStyling(*dialog, state.settings.styling, &stylingProblem)) {
        messages.showMessage(stylingError, stylingProblem);
        return 1;
    }
    const JobSettings settings = JobSettings::fromState(state, QApplication::applicationDirPath());
    recoverAtStart(*state.database, clock, settings);
    // A window of its own, not the monitor's child: jobs report to it until the engine has ended.
    MailWindow mailWindow;
    MailTransport mail(settings.configPath, settings.paths.receivedFolder, mailWindow);
    auto log = [&clock](LogPriority priority, const QString& text) {
        writeLogLine(priority, clock.now(), u"SCHMON01"_s, text);
    };
    const std::unique_ptr<Scheduler> scheduler = Scheduler::create(state, settings, mail, messages, true, log);
    if (!scheduler)
        return 1;
    MonitorEngine& engine = scheduler->engine();
    MonitorWindow window(engine, *state.database, state.statusColours);
    messages.setParent(&window);
    dialog->setParent(&window, dialog->windowFlags());
    ScheduleDialog& scheduleDialog = *dialog.release();
    scheduleDialog.attach(engine);
    window.setScheduleDialog(&scheduleDialog);
    QObject::connect(&window, &MonitorWindow::endRequested, &window, [] { QCoreApplication::exit(0); });
    window.fillGrid();
    scheduleDialog.clearForm();
    if (!applyWindowStyling(window, state.settings.styling, &stylingProblem)
        || !applyWindowStyling(mailWindow, state.settings.styling, &stylingProblem)) {
        messages.showMessage(stylingError, stylingProblem);
        return 1;
    }
    window.setLabels(state.operatorCode, state.operatorName, clock.today());
    scheduleDialog.setScreenId();
    window.show();
    // SIGHUP builds the timetable anew, as the window's menu does.
    catchReloadSignal();
    QTimer reload;
    QObject::connect(&reload, &QTimer::timeout, &engine, [&engine] {
        if (takeReloadRequest())
            engine.requestRebuild(u"SIGHUP"_s);
    });
    reload.start(MonitorEngine::kTickMilliseconds);
    scheduler->begin();
    const int status = QApplication::exec();
    scheduler->end();
    return status;
}

}  // namespace edi
