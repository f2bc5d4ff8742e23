// The converters for scripts and checks.
//
//   ediconv local [--db FILE.sqlite | --ini EDI.ini] [--log FILE] [--serial N] INPUT.CII OUTPUT.LOC
//
// Masters come from a SQLite file (--db), from the database an EDI.ini names (--ini), or from the
// EDI.ini two folders above the program. Exit status: 0 when the result code is "0000"; 1 with
// the code on standard error otherwise; 2 for usage errors and inputs that cannot be read.

#include "app/Clock.h"
#include "app/ConsoleOutput.h"
#include "app/MachineName.h"
#include "app/config/Configuration.h"
#include "app/config/IniFile.h"
#include "app/database/Database.h"
#include "app/database/DatabaseError.h"
#include "convert/localcii/ConversionContext.h"
#include "convert/localcii/ConversionLog.h"
#include "convert/localcii/FormatMasters.h"
#include "convert/localcii/LocalCiiConverter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString kUsage = u"usage: ediconv local [--db FILE.sqlite | --ini EDI.ini] [--log FILE] [--serial N] INPUT.CII OUTPUT.LOC"_s;

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
    if (options.mode != u"local"_s)
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
    if (options.files.size() != 2)
        throw UsageError(kUsage);
    return options;
}

std::unique_ptr<edi::Database> openMasters(const Options& options)
{
    edi::ConnectionSettings settings;
    if (!options.sqliteFile.isEmpty()) {
        settings.kind = edi::DatabaseKind::Sqlite;
        settings.dataSource = QFileInfo(options.sqliteFile).absoluteFilePath();
    } else {
        QString iniPath = options.iniPath;
        if (iniPath.isEmpty()) {
            const std::optional<QString> folder = edi::configurationFolder(QCoreApplication::applicationDirPath());
            if (!folder)
                throw UsageError(u"no EDI.ini above the program's folder; name one with --ini"_s);
            iniPath = edi::configurationPathIn(*folder);
        }
        const edi::EnvironmentSettings environment = edi::readEnvironmentSettings(edi::IniFile::read(iniPath));
        settings = edi::ConnectionSettings::fromEnvironment(environment, QFileInfo(iniPath).absolutePath(),
                                                           edi::systemMachineName());
    }
    try {
        return edi::Database::open(settings);
    } catch (const edi::DatabaseError& error) {
        throw UsageError(u"cannot open the masters: "_s + error.message());
    }
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

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    try {
        const Options options = parseOptions(application.arguments().mid(1));
        const QString& input = options.files[0];
        if (!QFileInfo(input).isFile() || !QFileInfo(input).isReadable())
            throw UsageError(u"cannot read "_s + input);
        auto database = openMasters(options);
        const QString logPath = options.logPath.isEmpty()
                              ? QDir(QCoreApplication::applicationDirPath()).filePath(u"ERR.LOG"_s)
                              : options.logPath;
        edi::DatabaseFormatMasters masters(*database);
        edi::ConversionContext context;
        edi::ConversionLog log(logPath);
        edi::SystemClock clock;
        const edi::ConversionResult result = edi::convertLocalCii(masters, context, log, clock, options.serial, input,
                                                                  options.files[1], terminalProgress());
        if (result.succeeded())
            return 0;
        edi::writeStandardError(result.code + (result.failure.isEmpty() ? QString() : u" "_s + result.failure) + u'\n');
        return 1;
    } catch (const UsageError& error) {
        edi::writeStandardError(u"ediconv: "_s + error.message + u'\n');
        return 2;
    }
}
