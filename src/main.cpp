#include "app/ConsoleOutput.h"
#include "app/ProgramOptions.h"
#include "monitor/HeadlessProgram.h"

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
    if (!options.runJobCentre.isEmpty())
        return edi::runOneJob(options);
    return edi::runHeadlessMonitor(options);
}
