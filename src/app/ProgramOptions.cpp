#include "app/ProgramOptions.h"

using namespace Qt::Literals::StringLiterals;

namespace edi {

ProgramOptions parseProgramOptions(const QStringList& arguments)
{
    ProgramOptions options;
    bool operatorTaken = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == u"--ini"_s) {
            if (i + 1 >= arguments.size()) {
                options.error = u"--ini needs a file"_s;
                return options;
            }
            options.configPath = arguments[++i];
        } else if (argument.startsWith(u"--ini="_s)) {
            options.configPath = argument.mid(6);
        } else if (argument == u"--run-job"_s) {
            if (i + 1 >= arguments.size()) {
                options.error = u"--run-job needs a centre code"_s;
                return options;
            }
            options.runJobCentre = arguments[++i];
        } else if (argument == u"--rerun"_s) {
            bool number = false;
            options.rerunSerial = i + 1 < arguments.size() ? arguments[++i].toInt(&number) : 0;
            if (!number || options.rerunSerial <= 0) {
                options.error = u"--rerun needs the serial of a job"_s;
                return options;
            }
        } else if (argument == u"--force"_s) {
            options.force = true;
        } else if (argument == u"--headless"_s) {
            options.headless = true;
        } else if (argument == u"--verbose"_s) {
            options.verbose = true;
        } else if (argument == u"--help"_s || argument == u"-h"_s) {
            options.help = true;
        } else if (argument == u"--version"_s) {
            options.version = true;
        } else if (argument.startsWith(u"--"_s)) {
            options.error = u"Unknown option "_s + argument;
            return options;
        } else if (!operatorTaken) {
            options.operatorArgument = argument;
            operatorTaken = true;
        }
    }
    return options;
}

QString programUsage()
{
    return u"Usage: edi-auto [--ini EDI.ini] [--headless] [--verbose] [--run-job CENTRE | --rerun SERIAL [--force]] [OPERATOR]\n"
           u"       edi-auto history [OPTION]...   (edi-auto history --help tells its options)\n"
           u"       edi-auto status [OPTION]...    (edi-auto status --help tells its options)\n"
           u"       edi-auto web [OPTION]...       (the monitor in a browser; edi-auto web --help tells its options)\n"
           u"  --ini PATH         read the configuration from PATH; without it, from the file the\n"
           u"                     environment variable EDI_INI names, or from EDI.ini two folders\n"
           u"                     above the program's folder\n"
           u"  --headless         no windows: the monitor's changes are log lines on standard error\n"
           u"                     (also without a display)\n"
           u"  --verbose          log every timetable row, each change of a row and every step's\n"
           u"                     texts too, not only a summary at the start and each job's outcome\n"
           u"  --run-job CENTRE   run one reception for the centre now, then exit: 0 when it\n"
           u"                     finished, 1 when it failed\n"
           u"  --rerun SERIAL     run the conversion and registration of the job SERIAL again from\n"
           u"                     its received files, as a new job, then exit: 0 when it finished,\n"
           u"                     1 when it failed or was refused (its data was registered)\n"
           u"  --force            with --rerun: run it even when its data was registered\n"
           u"  -h, --help         show this text\n"
           u"  --version          show the version\n"
           u"Exit status: 0 after a normal end, 1 after a start-up failure or a failed job, 2 for\n"
           u"a usage error or an unknown centre.\n"_s;
}

}  // namespace edi
