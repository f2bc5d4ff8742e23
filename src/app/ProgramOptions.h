#pragma once

#include <QString>
#include <QStringList>

namespace edi {

// The scheduler's command line: options, and the operator code as the first argument that is
// not an option.
struct ProgramOptions {
    QString configPath;  // --ini PATH
    QString runJobCentre;  // --run-job CENTRE: one reception now, then exit
    qint32 rerunSerial = 0;  // --rerun SERIAL: the conversion and registration of a job again, then exit
    bool force = false;      // --force: a re-run even of a job whose data was registered
    bool headless = false; // --headless: no windows even where a display is
    bool verbose = false;  // --verbose: the log's detail lines too
    QString operatorArgument;
    bool help = false;
    bool version = false;
    QString error;  // set for an unknown option or a missing option value
};

ProgramOptions parseProgramOptions(const QStringList& arguments);
QString programUsage();

}  // namespace edi
