// The converters for scripts and checks; kHelp below says how they are called and how they end.
// "cii" appends its inputs in order to the one output, the header record carried from one to the
// next, as a job does with its XML files; it stops at the first input that fails.

#include "app/Clock.h"
#include "app/ConsoleOutput.h"
#include "app/HelpAndVersion.h"
#include "app/config/Configuration.h"
#include "app/config/IniFile.h"
#include "app/database/ConfiguredDatabase.h"
#include "app/database/ConnectionSettings.h"
#include "app/database/Database.h"
#include "app/database/DatabaseError.h"
#include "app/files/ConversionLogLocation.h"
#include "convert/ciixml/CiiAppendFile.h"
#include "convert/ciixml/CiiXmlConverter.h"
#include "convert/localcii/ConversionContext.h"
#include "convert/localcii/ConversionError.h"
#include "convert/localcii/ConversionLog.h"
#include "convert/localcii/FormatMasters.h"
#include "convert/localcii/LocalCiiConverter.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString kUsage = u"usage: ediconv local|xml|cii [--db FILE.sqlite | --ini EDI.ini] [--log FILE] [--serial N] INPUT... OUTPUT"_s;
const QString kHelp = kUsage + uR"(

Converts EDI files by the layouts of the format masters.
  local   a CII file into fixed-length local record files, one per information class,
          which goes in front of the first "." of OUTPUT's name
  xml     a CII file into XML documents, one per message group (the second is OUTPUT
          with "_2" before its extension, and so on)
  cii     XML documents, in order, appended to one CII file

Options:
  --db FILE.sqlite  read the format masters from this SQLite file
  --ini EDI.ini     read them from the database this configuration names; without
                    --db and --ini: the file EDI_INI names, or EDI.ini two folders
                    above the program
  --log FILE        the conversion log; by default ERR.LOG in the first of: the
                    configuration's [PATH] LOGPATH; the program's folder when it
                    may be written (never under /usr); $LOGS_DIRECTORY; the
                    configuration's EDIINFIL, or without that (--db)
                    $XDG_STATE_HOME/edi-auto (~/.local/state/edi-auto)
  --serial N        the serial in the log's start line, 0 to 99999999 (default 0)
  -h, --help        show this text and exit
  --version         show the version and exit

Exit status: 0 when the result code is 0000 (an empty input converts to nothing,
said on standard error); 1 with the code and its reason on standard error
otherwise; 2 for usage errors and inputs that cannot be read.
)"_s;

struct Options {
    QString mode;
    QString sqliteFile;
    QString iniPath;
    QString logPath;
    qint64 serial = 0;
    QStringList files;
};

class UsageError : public std::runtime_error {
public:
    explicit UsageError(const QString& message) : std::runtime_error(message.toStdString()), message(message) {}
    QString message;
};

Options parseOptions(QStringList arguments)
{
    Options options;
    if (arguments.isEmpty())
        throw UsageError(kUsage);
    options.mode = arguments.takeFirst();
    if (options.mode != u"local"_s && options.mode != u"xml"_s && options.mode != u"cii"_s)
        throw UsageError(u"unknown conversion "_s + options.mode + u"; "_s + kUsage);
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        auto value = [&]() -> QString {
            if (i + 1 >= arguments.size())
                throw UsageError(argument + u" needs a value"_s);
            return arguments[++i];
        };
        if (argument == u"--db"_s) {
            options.sqliteFile = value();
        } else if (argument == u"--ini"_s) {
            options.iniPath = value();
        } else if (argument == u"--log"_s) {
            options.logPath = value();
        } else if (argument == u"--serial"_s) {
            bool ok = false;
            options.serial = value().toLongLong(&ok);
            if (!ok || options.serial < 0 || options.serial > 99999999)
                throw UsageError(u"--serial needs a number from 0 to 99999999"_s);
        } else if (argument.startsWith(u"--"_s)) {
            throw UsageError(u"unknown option "_s + argument + u"; "_s + kUsage);
        } else {
            options.files << argument;
        }
    }
    if (!options.sqliteFile.isEmpty() && !options.iniPath.isEmpty())
        throw UsageError(u"--db and --ini exclude each other"_s);
    if (options.files.size() < 2 || (options.mode != u"cii"_s && options.files.size() != 2))
        throw UsageError(kUsage);
    return options;
}

// The configuration the masters come from; none with --db.
QString configurationPath(const Options& options)
{
    if (!options.sqliteFile.isEmpty())
        return {};
    try {
        return edi::toolConfigurationPath(options.iniPath, QCoreApplication::applicationDirPath());
    } catch (const edi::ConfigurationError& error) {
        throw UsageError(error.message());
    }
}

std::unique_ptr<edi::Database> openMasters(const Options& options, const QString& configPath)
{
    try {
        if (!configPath.isEmpty())
            return edi::openConfiguredDatabase(configPath);
        edi::ConnectionSettings settings;
        settings.kind = edi::DatabaseKind::Sqlite;
        settings.dataSource = QFileInfo(options.sqliteFile).absoluteFilePath();
        return edi::Database::open(settings);
    } catch (const edi::ConfigurationError& error) {
        throw UsageError(error.message());
    } catch (const edi::DatabaseError& error) {
        throw UsageError(u"cannot open the masters: "_s + error.message());
    }
}

// --log, else where the configuration's jobs write their log; a tool without a configuration,
// or with one that names no received-files folder, falls back to the user's state folder.
QString conversionLog(const Options& options, const QString& configPath)
{
    if (!options.logPath.isEmpty())
        return options.logPath;
    const QString programFolder = QCoreApplication::applicationDirPath();
    const edi::PathSettings paths =
        configPath.isEmpty() ? edi::PathSettings{} : edi::readPathSettings(edi::IniFile::read(configPath));
    const QString fallback = paths.receivedFolder.isEmpty() ? edi::userStateFolder() : paths.receivedFolder;
    return edi::conversionLogPath(paths.logFolder, programFolder, fallback);
}

// On a terminal, a long conversion shows how far it has come.
edi::ConversionProgress terminalProgress()
{
    if (!isatty(STDERR_FILENO))
        return {};
    return [](qint64 done, qint64 total) {
        const int percent = total > 0 ? int(done * 100 / total) : 100;
        edi::writeStandardError(u"\r変換中 %1%"_s.arg(percent) + (done >= total ? u"\n"_s : QString()));
    };
}

// The documents in order into one copy of the CII file, which replaces it once: what the
// documents before a failing one added stays.
edi::ConversionResult appendDocuments(edi::FormatMasters& masters, edi::ConversionContext& context, edi::ConversionLog& log,
                                      qint64 serial, const QStringList& inputs, const QString& output)
{
    edi::CiiAppendFile cii(output);
    edi::ConversionResult result;
    for (const QString& input : inputs) {
        result = edi::appendXmlToCii(masters, context, log, serial, input, cii, terminalProgress());
        if (!result.succeeded())
            break;
    }
    try {
        cii.commit();
    } catch (const edi::ConversionIoError& error) {
        result = {edi::ResultCode::failed, error.message(), result.counts};
    }
    return result;
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    if (const std::optional<int> answered = edi::answerHelpOrVersion(application.arguments().mid(1), u"ediconv"_s, kHelp))
        return *answered;
    try {
        const Options options = parseOptions(application.arguments().mid(1));
        const QStringList inputs = options.files.mid(0, options.files.size() - 1);
        const QString& output = options.files.last();
        for (const QString& input : inputs) {
            if (!QFileInfo(input).isFile() || !QFileInfo(input).isReadable())
                throw UsageError(u"cannot read "_s + input);
            if (QFileInfo(input).size() == 0)
                edi::writeStandardError(u"変換するデータがありません: "_s + input + u'\n');
        }
        const QString configPath = configurationPath(options);
        auto database = openMasters(options, configPath);
        edi::DatabaseFormatMasters masters(*database);
        edi::ConversionContext context;
        edi::ConversionLog log(conversionLog(options, configPath));
        edi::SystemClock clock;
        edi::ConversionResult result;
        if (options.mode == u"local"_s) {
            result = edi::convertLocalCii(masters, context, log, clock, options.serial, inputs[0], output,
                                          terminalProgress());
        } else if (options.mode == u"xml"_s) {
            result = edi::convertCiiXml(masters, context, log, options.serial, inputs[0], output, terminalProgress(),
                                        edi::CiiXmlDirection::CiiToXml);
        } else {
            result = appendDocuments(masters, context, log, options.serial, inputs, output);
        }
        if (result.succeeded())
            return 0;
        edi::writeStandardError(result.code + (result.failure.isEmpty() ? QString() : u" "_s + result.failure) + u'\n');
        return 1;
    } catch (const UsageError& error) {
        edi::writeStandardError(u"ediconv: "_s + error.message + u'\n');
        return 2;
    }
}
