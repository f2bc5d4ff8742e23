#include "app/ConsoleOutput.h"
#include "app/HelpAndVersion.h"
#include "app/ProgramOptions.h"
#include "gui/WindowProgram.h"
#include "jobs/HistoryCommand.h"
#include "monitor/HeadlessProgram.h"
#include "monitor/StatusCommand.h"
#include "web/WebProgram.h"

#include <QApplication>
#include <QCoreApplication>
#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace {

bool displayAvailable()
{
    return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY")
        || qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
}

}  // namespace

int main(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (arguments.value(0) == u"history"_s) {
        QCoreApplication application(argc, argv);
        return edi::runHistoryCommand(arguments.mid(1), QCoreApplication::applicationDirPath(), QDate::currentDate());
    }
    if (arguments.value(0) == u"status"_s) {
        QCoreApplication application(argc, argv);
        return edi::runStatusCommand(arguments.mid(1), QCoreApplication::applicationDirPath(),
                                     QDateTime::currentDateTime());
    }
    if (arguments.value(0) == u"web"_s) {
        QCoreApplication application(argc, argv);
        return edi::runWebCommand(arguments.mid(1), QCoreApplication::applicationDirPath());
    }
    edi::ProgramOptions options = edi::parseProgramOptions(arguments);
    options.configPath = edi::requestedConfigurationPath(options.configPath);
    edi::setVerboseLog(options.verbose);
    const bool windows = !options.headless && options.runJobCentre.isEmpty() && options.rerunSerial == 0 && displayAvailable();
    std::unique_ptr<QCoreApplication> application =
        windows ? std::make_unique<QApplication>(argc, argv) : std::make_unique<QCoreApplication>(argc, argv);

    if (!options.error.isEmpty()) {
        edi::writeStandardError(options.error + u'\n' + edi::programUsage());
        return 2;
    }
    if (options.help || options.version) {
        edi::writeStandardOutput(options.help ? edi::programUsage() : u"edi-auto " EDI_VERSION "\n"_s);
        return 0;
    }
    if (!options.runJobCentre.isEmpty())
        return edi::runOneJob(options);
    if (options.rerunSerial != 0)
        return edi::rerunOneJob(options);
    return windows ? edi::runWindowMonitor(options) : edi::runHeadlessMonitor(options);
}
