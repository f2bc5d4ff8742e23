#include "web/WebSettings.h"

#include "app/config/IniFile.h"

#include <QDir>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

constexpr int kWebBuffer = 4096;

QString pathIn(const QString& folder, const QString& path)
{
    return path.isEmpty() ? QString() : QDir(folder).absoluteFilePath(path);
}

}  // namespace

bool parseListenAddress(const QString& text, QHostAddress& address, quint16& port)
{
    QString host;
    QString portText = text;
    if (text.startsWith(u'[')) {
        const qsizetype close = text.indexOf(u"]:"_s);
        if (close < 0)
            return false;
        host = text.mid(1, close - 1);
        portText = text.mid(close + 2);
    } else if (const qsizetype colon = text.lastIndexOf(u':'); colon >= 0) {
        host = text.left(colon);
        portText = text.mid(colon + 1);
    }
    bool numeric = false;
    const uint number = portText.toUInt(&numeric);
    if (!numeric || number == 0 || number > 65535)
        return false;
    QHostAddress parsed = host.isEmpty() ? QHostAddress(QHostAddress::LocalHost) : QHostAddress(host);
    if (host == u"localhost"_s)
        parsed = QHostAddress::LocalHost;
    if (parsed.isNull())
        return false;
    address = parsed;
    port = quint16(number);
    return true;
}

WebSettings readWebSettings(const IniFile& ini, const QString& configFolder)
{
    WebSettings settings;
    const QString listen = ini.value(u"WEB", u"LISTEN", kWebBuffer);
    if (!listen.isEmpty() && !parseListenAddress(listen, settings.address, settings.port))
        settings.problem = u"[WEB] LISTEN は ADDRESS:PORT の形で指定してください: "_s + listen;
    settings.certificate = pathIn(configFolder, ini.value(u"WEB", u"CERT", kWebBuffer));
    settings.privateKey = pathIn(configFolder, ini.value(u"WEB", u"KEY", kWebBuffer));
    settings.usersFile = pathIn(configFolder, ini.value(u"WEB", u"USERS", kWebBuffer));
    return settings;
}

}  // namespace edi
