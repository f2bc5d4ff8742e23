// Creates the system's tables (and the demo data) in the database an EDI.ini names.
//
//   edi-dbinit [--ini EDI.ini] [--demo FOLDER] SCRIPT.sql...
//
// The scripts run in order, each in one transaction. With --demo the demo rows are then made
// to belong to this machine and their file paths to point into FOLDER.

#include "app/HelpAndVersion.h"
#include "app/MachineName.h"
#include "app/config/Configuration.h"
#include "app/config/IniFile.h"
#include "app/database/Database.h"
#include "app/database/DatabaseError.h"
#include "app/database/DemoSetup.h"
#include "app/database/SqlScript.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString kUsage = u"usage: edi-dbinit [--ini EDI.ini] [--demo FOLDER] SCRIPT.sql..."_s;
const QString kHelp = kUsage + uR"(

Runs SQL scripts, each in one transaction, on the database a configuration names:
the system's tables, and the demo data.
  --ini EDI.ini   the configuration (default: the file EDI_INI names)
  --demo FOLDER   then make the demo rows belong to this machine and their paths
                  point into FOLDER
  -h, --help      show this text and exit
  --version       show the version and exit
Exit status: 0 when every script ran, 1 when one failed, 2 for usage errors.
)"_s;

int fail(const QString& message, int status)
{
    std::fprintf(stderr, "edi-dbinit: %s\n", message.toUtf8().constData());
    return status;
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QStringList arguments = application.arguments().mid(1);
    if (const std::optional<int> answered = edi::answerHelpOrVersion(arguments, u"edi-dbinit"_s, kHelp))
        return *answered;
    QString iniPath;
    QString demoFolder;
    QStringList scripts;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == u"--ini"_s && i + 1 < arguments.size())
            iniPath = arguments[++i];
        else if (arguments[i] == u"--demo"_s && i + 1 < arguments.size())
            demoFolder = QFileInfo(arguments[++i]).absoluteFilePath();
        else if (arguments[i].startsWith(u"--"_s))
            return fail(kUsage, 2);
        else
            scripts << arguments[i];
    }
    iniPath = edi::requestedConfigurationPath(iniPath);
    if (iniPath.isEmpty() || scripts.isEmpty())
        return fail(u"usage: edi-dbinit --ini EDI.ini [--demo FOLDER] SCRIPT.sql..."_s, 2);

    const QString baseFolder = QFileInfo(iniPath).absolutePath();
    const edi::EnvironmentSettings environment = edi::readEnvironmentSettings(edi::IniFile::read(iniPath));
    edi::ConnectionSettings settings =
        edi::ConnectionSettings::fromEnvironment(environment, baseFolder, edi::systemMachineName());
    settings.createIfMissing = true;
    try {
        auto database = edi::Database::open(settings);
        for (const QString& script : scripts)
            edi::runSqlScript(*database, script);
        if (!demoFolder.isEmpty())
            edi::adaptDemoRows(*database, edi::systemMachineName(), demoFolder);
    } catch (const edi::DatabaseError& error) {
        return fail(error.message(), 1);
    }
    return 0;
}
