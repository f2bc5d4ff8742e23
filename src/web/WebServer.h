#pragma once

#include <QAbstractHttpServer>
#include <functional>

namespace edi {

class WebSite;
struct WebRequest;
struct WebResponse;

// The HTTP side of the web monitor: each request handed to the site, its answer written with
// the headers every answer carries. A refused login is answered after a pause, without holding
// up the other readers.
class WebServer : public QAbstractHttpServer {
    Q_OBJECT
public:
    static constexpr int kFailedLoginDelayMsecs = 1000;

    using LogLine = std::function<void(const QString&)>;
    WebServer(WebSite& site, LogLine log, QObject* parent = nullptr);

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    void answerLater(QTcpSocket* socket, const WebResponse& response);

    WebSite& site_;
    LogLine log_;
};

}  // namespace edi
