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
#include "monitor/JobWorker.h"
#include "monitor/MonitorEngine.h"
#include "monitor/TimetableLoader.h"
#include "transport/MailTransport.h"

#include <QApplication>
#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace edi {

int runWindowMonitor(const ProgramOptions& options)
{
    chooseApplicationFont();
    if (!installQtJapanese())
        qWarning("Qt's Japanese translation (qtbase_ja.qm) is missing: standard buttons stay in English");
    SystemClock clock;
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
    std::optional<Timetable> timetable = loadTimetable(*state.database, state.machineName, clock.now(), messages);
    if (!timetable)
        return 1;

    const JobSettings settings = JobSettings::fromState(state, QApplication::applicationDirPath());
    recoverAtStart(*state.database, clock, settings);
    // A window of its own, not the monitor's child: jobs report to it until the engine has ended.
    MailWindow mailWindow;
    MailTransport mail(settings.configPath, settings.paths.receivedFolder, mailWindow);
    auto worker = std::make_unique<JobWorker>(state.database->settings(), settings, clock, mail);
    MonitorEngine engine(clock, std::move(*timetable), std::move(worker));
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
    engine.start();
    return QApplication::exec();
}

}  // namespace edi
