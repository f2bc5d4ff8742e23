#include "web/WebServer.h"

#include "web/HttpExchange.h"
#include "web/WebSite.h"
#include "web/WebUsers.h"

#include <QHttpServerRequest>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

// Every answer: nothing but this site's own stylesheet and script, no framing, no sniffing.
const QList<QPair<QByteArray, QByteArray>> kCommonHeaders = {
    {"Content-Security-Policy",
     "default-src 'none'; style-src 'self'; script-src 'self'; img-src 'self'; base-uri 'none'; form-action 'self';"
     " frame-ancestors 'none'"},
    {"X-Content-Type-Options", "nosniff"},
    {"X-Frame-Options", "DENY"},
    {"Referrer-Policy", "no-referrer"},
    {"Cache-Control", "no-store"},
};

// Set on a connection whose login was refused: it answers nothing more. Requests sent after the
// refused one would otherwise be tried at once and answered before it, sparing a guesser the pause.
constexpr char kLoginRefused[] = "ediLoginRefused";

QByteArray methodName(QHttpServerRequest::Method method)
{
    switch (method) {
    case QHttpServerRequest::Method::Get: return "GET";
    case QHttpServerRequest::Method::Head: return "HEAD";
    case QHttpServerRequest::Method::Post: return "POST";
    case QHttpServerRequest::Method::Put: return "PUT";
    case QHttpServerRequest::Method::Delete: return "DELETE";
    case QHttpServerRequest::Method::Patch: return "PATCH";
    case QHttpServerRequest::Method::Options: return "OPTIONS";
    default: return "OTHER";
    }
}

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 413: return "Content Too Large";
    case 503: return "Service Unavailable";
    default: return "Error";
    }
}

WebRequest webRequest(const QHttpServerRequest& request)
{
    return {methodName(request.method()), request.url().path(QUrl::FullyDecoded), request.query(),
            request.value("authorization"), request.remoteAddress()};
}

// The answer as it goes on the wire; without its body for a HEAD request, which tells the
// body's length all the same.
QByteArray wireFormat(const WebResponse& response, bool head, bool close)
{
    QByteArray bytes = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reasonPhrase(response.status) + "\r\n";
    auto header = [&bytes](const QByteArray& name, const QByteArray& value) { bytes += name + ": " + value + "\r\n"; };
    header("Content-Type", response.contentType);
    header("Content-Length", QByteArray::number(response.body.size()));
    for (const auto& [name, value] : kCommonHeaders)
        header(name, value);
    for (const auto& [name, value] : response.headers)
        header(name, value);
    if (close)
        header("Connection", "close");
    bytes += "\r\n";
    if (!head)
        bytes += response.body;
    return bytes;
}

}  // namespace

WebServer::WebServer(WebSite& site, LogLine log, QObject* parent)
    : QAbstractHttpServer(parent), site_(site), log_(std::move(log))
{
}

bool WebServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket)
{
    if (socket->property(kLoginRefused).toBool())
        return true;
    const WebRequest asked = webRequest(request);
    const WebResponse response = site_.answer(asked);
    const bool head = asked.method == "HEAD";
    if (response.status == 401 && !asked.authorization.isEmpty()) {
        socket->setProperty(kLoginRefused, true);
        log_(u"ログインに失敗しました: 利用者 \"%1\" 接続元 %2 %3"_s.arg(WebUsers::userNamed(asked.authorization),
                                                                 asked.remote.toString(), asked.path));
        // Guessing passwords costs the guesser a second a try; the connection is closed after it.
        QTimer::singleShot(kFailedLoginDelayMsecs, socket, [socket, bytes = wireFormat(response, head, true)] {
            socket->write(bytes);
            socket->disconnectFromHost();
        });
        return true;
    }
    socket->write(wireFormat(response, head, false));
    return true;
}

void WebServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket)
{
    socket->write(wireFormat(WebResponse::error(404, u"ページが見つかりません"_s), false, false));
    Q_UNUSED(request);
}

}  // namespace edi
