// Creates the system's tables (and the demo data) in the database an EDI.ini names, and loads or
// writes the masters as CSV files; kHelp below says how it is called and how it ends.
//
// The scripts run in order, each in one transaction. With --demo the demo rows are then made
// to belong to this machine and their file paths to point into FOLDER.

#include "app/ConsoleOutput.h"
#include "app/HelpAndVersion.h"
#include "app/MachineName.h"
#include "app/config/Configuration.h"
#include "app/config/IniFile.h"
#include "app/database/ConfiguredDatabase.h"
#include "app/database/Database.h"
#include "app/database/DatabaseError.h"
#include "app/database/DemoSetup.h"
#include "app/database/SqlScript.h"
#include "app/masters/MasterExport.h"
#include "app/masters/MasterImport.h"
#include "app/masters/MasterTables.h"
#include "jobs/HistoryIndexes.h"

#include <QCoreApplication>
#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString kUsage = uR"(usage: edi-dbinit [--ini EDI.ini] [--demo FOLDER] SCRIPT.sql...
       edi-dbinit [--ini EDI.ini] --import FOLDER
       edi-dbinit [--ini EDI.ini] --export FOLDER [--encoding utf-8|cp932])"_s;
const QString kHelp = kUsage + uR"(

Runs SQL scripts, each in one transaction, on the database a configuration names:
the system's tables, and the demo data. Loads the masters from CSV files, or writes
them to CSV files.
  --ini EDI.ini     the configuration (default: the file EDI_INI names, or EDI.ini
                    two folders above the program)
  --demo FOLDER     then make the demo rows belong to this machine and their paths
                    point into FOLDER
  --import FOLDER   replace the masters by the CSV files in FOLDER, one per table
                    named after it (区分マスタ.csv, FL1903EDI制御マスタ.csv ...); a
                    table without a file keeps its rows; when any file has an error,
                    the errors are listed and nothing changes
  --export FOLDER   write all six masters into FOLDER as such files
  --encoding NAME   what --export writes: utf-8 (with a byte-order mark, the default)
                    or cp932; --import reads either
  -h, --help        show this text and exit
  --version         show the version and exit
Exit status: 0 when done, 1 when a script failed, a file had errors or the database
failed (an import then changes nothing), 2 for usage errors.
)"_s;

enum class Mode { Scripts, Import, Export };

struct Options {
    Mode mode = Mode::Scripts;
    QString iniPath;
    QString demoFolder;
    QString folder;  // of --import or --export
    edi::CsvEncoding encoding = edi::CsvEncoding::Utf8;
    QStringList scripts;
};

int fail(const QString& message, int status)
{
    edi::writeStandardError(u"edi-dbinit: "_s + message + u'\n');
    return status;
}

// nullopt for a command line that is not one of kUsage's.
std::optional<Options> parseOptions(const QStringList& arguments)
{
    Options options;
    bool encodingGiven = false;
    int modes = 0;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (argument == u"--ini"_s && hasValue) {
            options.iniPath = arguments[++i];
        } else if (argument == u"--demo"_s && hasValue) {
            options.demoFolder = QFileInfo(arguments[++i]).absoluteFilePath();
        } else if ((argument == u"--import"_s || argument == u"--export"_s) && hasValue) {
            options.mode = argument == u"--import"_s ? Mode::Import : Mode::Export;
            options.folder = arguments[++i];
            ++modes;
        } else if (argument == u"--encoding"_s && hasValue) {
            const std::optional<edi::CsvEncoding> encoding = edi::csvEncodingNamed(arguments[++i]);
            if (!encoding)
                return std::nullopt;
            options.encoding = *encoding;
            encodingGiven = true;
        } else if (argument.startsWith(u"--"_s)) {
            return std::nullopt;
        } else {
            options.scripts << argument;
        }
    }
    const bool scriptsOnly = options.mode == Mode::Scripts;
    if (modes > 1 || (scriptsOnly != !options.scripts.isEmpty()) || (!scriptsOnly && !options.demoFolder.isEmpty())
        || (encodingGiven && options.mode != Mode::Export))
        return std::nullopt;
    return options;
}

std::unique_ptr<edi::Database> openDatabase(const QString& iniPath, bool createIfMissing)
{
    const QString baseFolder = QFileInfo(iniPath).absolutePath();
    const edi::EnvironmentSettings environment = edi::readEnvironmentSettings(edi::IniFile::read(iniPath));
    edi::ConnectionSettings settings =
        edi::ConnectionSettings::fromEnvironment(environment, baseFolder, edi::systemMachineName());
    settings.createIfMissing = createIfMissing;
    return edi::Database::open(settings);
}

void reportErrors(const QStringList& errors, int count, const QString& outcome)
{
    for (const QString& error : errors)
        edi::writeStandardError(error + u'\n');
    const QString shown = count > errors.size() ? u" (最初の %1 件を示しました)"_s.arg(errors.size()) : QString();
    edi::writeStandardError(u"edi-dbinit: エラーが %1 件あります%2。%3\n"_s.arg(QString::number(count), shown, outcome));
}

// The history's indexes that a database made by an older schema lacks. The tables are the
// administrator's: a database that refuses them gets a warning, the run still counts as done.
void makeHistoryIndexes(edi::Database& database)
{
    const edi::HistoryIndexesMade indexes = edi::makeMissingHistoryIndexes(database);
    for (const QString& name : indexes.made)
        edi::writeStandardOutput(u"FL1102処理履歴ファイル: 索引 %1 を作りました\n"_s.arg(name));
    if (!indexes.problem.isEmpty())
        edi::writeStandardError(u"edi-dbinit: 処理履歴の索引を作れません: "_s + indexes.problem + u'\n');
}

int importFolder(edi::Database& database, const QString& folder)
{
    const edi::MasterImportResult result = edi::importMasters(database, folder);
    for (const QString& ignored : result.ignoredFiles)
        edi::writeStandardError(u"edi-dbinit: 表の名前ではないので読みませんでした: "_s + ignored + u'\n');
    if (!result.done) {
        reportErrors(result.errors, result.errorCount, u"データベースは変更していません。"_s);
        return 1;
    }
    for (const edi::MasterTable& table : edi::masterTables()) {
        for (const edi::TableRowCount& loaded : result.loaded) {
            if (loaded.table == table.name)
                edi::writeStandardOutput(u"%1: %2 行を読み込みました\n"_s.arg(table.name, QString::number(loaded.rows)));
        }
        if (result.leftAlone.contains(table.name))
            edi::writeStandardOutput(u"%1: ファイルがないので変更していません\n"_s.arg(table.name));
    }
    makeHistoryIndexes(database);
    return 0;
}

int exportFolder(edi::Database& database, const QString& folder, edi::CsvEncoding encoding)
{
    const edi::MasterExportResult result = edi::exportMasters(database, folder, encoding);
    if (!result.done) {
        reportErrors(result.errors, result.errorCount, u"ファイルは書いていません。"_s);
        return 1;
    }
    for (const edi::TableRowCount& written : result.written)
        edi::writeStandardOutput(u"%1.csv: %2 行を書き出しました\n"_s.arg(written.table, QString::number(written.rows)));
    return 0;
}

int runScripts(edi::Database& database, const Options& options)
{
    for (const QString& script : options.scripts)
        edi::runSqlScript(database, script);
    if (!options.demoFolder.isEmpty())
        edi::adaptDemoRows(database, edi::systemMachineName(), options.demoFolder);
    makeHistoryIndexes(database);
    return 0;
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments().mid(1);
    if (const std::optional<int> answered = edi::answerHelpOrVersion(arguments, u"edi-dbinit"_s, kHelp))
        return *answered;
    std::optional<Options> options = parseOptions(arguments);
    if (!options)
        return fail(kUsage, 2);
    try {
        options->iniPath = edi::toolConfigurationPath(options->iniPath, QCoreApplication::applicationDirPath());
        // Only the scripts that create the tables may create the database file.
        auto database = openDatabase(options->iniPath, options->mode == Mode::Scripts);
        switch (options->mode) {
        case Mode::Scripts: return runScripts(*database, *options);
        case Mode::Import: return importFolder(*database, options->folder);
        case Mode::Export: return exportFolder(*database, options->folder, options->encoding);
        }
    } catch (const edi::ConfigurationError& error) {
        return fail(error.message(), 2);
    } catch (const edi::DatabaseError& error) {
        return fail(error.message(), 1);
    }
    return 0;
}
