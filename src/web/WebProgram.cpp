#include "web/WebProgram.h"

#include "app/Clock.h"
#include "app/ConsoleOutput.h"
#include "app/ProcessSignals.h"
#include "app/ServiceNotify.h"
#include "app/config/Configuration.h"
#include "app/config/IniFile.h"
#include "app/database/ConfiguredDatabase.h"
#include "web/WebServer.h"
#include "web/WebSettings.h"
#include "web/WebSite.h"
#include "web/WebUsers.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QTimer>
#include <cstdio>
#include <optional>
#include <termios.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

const QString kComponent = u"WEB"_s;
// How often the program looks whether it was asked to end.
constexpr int kEndWatchMsecs = 200;

struct WebOptions {
    QString configPath;
    QString listen;
    QString addUser;
    bool help = false;
    QString error;
};

WebOptions parseWebOptions(const QStringList& arguments)
{
    WebOptions options;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (argument == u"--ini"_s && hasValue)
            options.configPath = arguments[++i];
        else if (argument == u"--listen"_s && hasValue)
            options.listen = arguments[++i];
        else if (argument == u"--add-user"_s && hasValue)
            options.addUser = arguments[++i];
        else if (argument == u"--help"_s || argument == u"-h"_s)
            options.help = true;
        else
            options.error = u"edi-auto web: unknown or incomplete option "_s + argument;
    }
    return options;
}

void log(LogPriority priority, const QString& text)
{
    writeLogLine(priority, QDateTime::currentDateTime(), kComponent, text);
}

// A password from the terminal without echo, asked twice; from a pipe, its first line.
std::optional<QByteArray> readPassword()
{
    auto line = []() -> std::optional<QByteArray> {
        char buffer[WebUsers::kMaxPasswordLength + 2];
        if (!std::fgets(buffer, sizeof buffer, stdin))
            return std::nullopt;
        QByteArray text(buffer);
        while (text.endsWith('\n') || text.endsWith('\r'))
            text.chop(1);
        return text;
    };
    if (!isatty(STDIN_FILENO))
        return line();
    termios saved{};
    tcgetattr(STDIN_FILENO, &saved);
    termios silent = saved;
    silent.c_lflag &= ~tcflag_t(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
    writeStandardError(u"パスワード: "_s);
    const std::optional<QByteArray> first = line();
    writeStandardError(u"\nもう一度: "_s);
    const std::optional<QByteArray> second = line();
    writeStandardError(u"\n"_s);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    if (!first || first != second) {
        writeStandardError(u"edi-auto web: パスワードが一致しません\n"_s);
        return std::nullopt;
    }
    return first;
}

int addUser(const WebSettings& settings, const QString& name)
{
    if (settings.usersFile.isEmpty()) {
        writeStandardError(u"edi-auto web: [WEB] USERS に利用者ファイルを指定してください\n"_s);
        return 1;
    }
    const std::optional<QByteArray> password = readPassword();
    if (!password)
        return 1;
    QString problem;
    if (!WebUsers::addUser(settings.usersFile, name, *password, problem)) {
        writeStandardError(u"edi-auto web: "_s + problem + u'\n');
        return 1;
    }
    writeStandardOutput(u"利用者 %1 を %2 に書きました\n"_s.arg(name, settings.usersFile));
    return 0;
}

// Why the web page must not start with these settings; empty when it may.
QString refusal(const WebSettings& settings, WebUsers& users)
{
    if (!settings.problem.isEmpty())
        return settings.problem;
    if (settings.tls() && (settings.certificate.isEmpty() || settings.privateKey.isEmpty()))
        return u"[WEB] CERT と KEY は両方指定してください"_s;
    if (settings.loopback())
        return {};
    if (!settings.tls() || settings.usersFile.isEmpty())
        return u"%1 は他の機械から読めるアドレスです: [WEB] CERT, KEY (TLS) と USERS (利用者ファイル) を指定してください"_s
            .arg(settings.address.toString());
    return users.load() ? QString() : users.problem();
}

bool setUpTls(WebServer& server, const WebSettings& settings, QString& problem)
{
    QFile certificateFile(settings.certificate);
    QFile keyFile(settings.privateKey);
    if (!certificateFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly)) {
        problem = u"証明書 %1 か鍵 %2 を読めません"_s.arg(settings.certificate, settings.privateKey);
        return false;
    }
    const QList<QSslCertificate> chain = QSslCertificate::fromData(certificateFile.readAll(), QSsl::Pem);
    const QByteArray keyText = keyFile.readAll();
    QSslKey key(keyText, QSsl::Rsa, QSsl::Pem);
    if (key.isNull())
        key = QSslKey(keyText, QSsl::Ec, QSsl::Pem);
    if (chain.isEmpty() || key.isNull()) {
        problem = u"証明書 %1 か鍵 %2 が PEM 形式ではありません"_s.arg(settings.certificate, settings.privateKey);
        return false;
    }
    // The whole chain goes to the browser: a certificate signed by an intermediate authority is
    // trusted only with it.
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificateChain(chain);
    configuration.setPrivateKey(key);
    server.sslSetup(configuration);
    return true;
}

}  // namespace

QString webUsage()
{
    return uR"(Usage: edi-auto web [--ini PATH] [--listen ADDRESS:PORT]
       edi-auto web [--ini PATH] --add-user NAME
Serves the monitor in a browser: every workstation's health, timetable and history, read
from the database (nothing is written to it), with a JSON API and Prometheus metrics.
  --ini PATH          the configuration (default: EDI_INI, or EDI.ini two folders above
                      the program)
  --listen ADDR:PORT  where to listen (default [WEB] LISTEN, else 127.0.0.1:8080); an
                      address other than loopback needs [WEB] CERT, KEY and USERS
  --add-user NAME     asks for NAME's password and writes its salted hash into the user
                      file [WEB] USERS names, then ends
  -h, --help          show this text
Exit status: 0 when stopped by SIGTERM or SIGINT, or a user was written; 1 when it cannot
start; 2 for a usage error.
)"_s;
}

int runWebCommand(const QStringList& arguments, const QString& programFolder)
{
    readLocalTimeZoneOnce();
    const WebOptions options = parseWebOptions(arguments);
    if (!options.error.isEmpty()) {
        writeStandardError(options.error + u'\n' + webUsage());
        return 2;
    }
    if (options.help) {
        writeStandardOutput(webUsage());
        return 0;
    }
    QString configPath;
    std::unique_ptr<Database> database;
    try {
        configPath = toolConfigurationPath(options.configPath, programFolder);
    } catch (const ConfigurationError& error) {
        writeStandardError(u"edi-auto web: "_s + error.message() + u'\n');
        return 1;
    }
    const IniFile ini = IniFile::read(configPath);
    WebSettings settings = readWebSettings(ini, QFileInfo(configPath).absolutePath());
    if (!options.addUser.isEmpty())
        return addUser(settings, options.addUser);
    if (!options.listen.isEmpty() && !parseListenAddress(options.listen, settings.address, settings.port)) {
        writeStandardError(u"edi-auto web: --listen は ADDRESS:PORT の形で指定してください\n"_s);
        return 2;
    }
    WebUsers users(settings.usersFile);
    if (const QString refused = refusal(settings, users); !refused.isEmpty()) {
        log(LogPriority::Error, u"開始できません: "_s + refused);
        return 1;
    }
    try {
        database = openConfiguredDatabase(configPath);
    } catch (const ConfigurationError& error) {
        log(LogPriority::Error, u"開始できません: "_s + error.message());
        return 1;
    }
    // The scheduler's clock: a test run set to a moment shows the pages of that moment.
    const std::unique_ptr<Clock> clock = programClock();
    if (const QString note = programClockNote(*clock); !note.isEmpty())
        log(LogPriority::Info, note);
    const SiteSettings site_settings{readStatusColours(ini), readAlertSettings(ini).noDataCentres,
                                     readSchedulerSettings(ini).catchupMinutes};
    WebSite site(*database, *clock, site_settings, settings.loopback() ? nullptr : &users);
    WebServer server(site, [](const QString& line) { log(LogPriority::Warning, line); });
    QString problem;
    if (settings.tls() && !setUpTls(server, settings, problem)) {
        log(LogPriority::Error, u"開始できません: "_s + problem);
        return 1;
    }
    const quint16 port = server.listen(settings.address, settings.port);
    if (port == 0) {
        log(LogPriority::Error, u"開始できません: %1:%2 で待ち受けできません (使用中か、権限がありません)"_s
                                    .arg(settings.address.toString())
                                    .arg(settings.port));
        return 1;
    }
    const QString host = settings.address.protocol() == QAbstractSocket::IPv6Protocol
        ? u'[' + settings.address.toString() + u']'
        : settings.address.toString();
    const QString address = u"%1://%2:%3/"_s.arg(settings.tls() ? u"https"_s : u"http"_s, host).arg(port);
    log(LogPriority::Info, u"開始 %1 データベース %2"_s.arg(address, database->settings().description()));
    notifyServiceReady(address);
    catchEndSignals();
    QTimer endWatch;
    QObject::connect(&endWatch, &QTimer::timeout, [] {
        if (endRequested())
            QCoreApplication::quit();
    });
    endWatch.start(kEndWatchMsecs);
    const int code = QCoreApplication::exec();
    notifyServiceStopping();
    log(LogPriority::Info, u"終了"_s);
    return code;
}

}  // namespace edi
