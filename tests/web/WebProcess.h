#pragma once

#include "support/QtPrinters.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <QPair>
#include <QProcess>
#include <QSslCertificate>
#include <QString>
#include <QStringList>
#include <memory>

class QTcpSocket;

namespace edi::test {

// A port nobody listens on right now: bound on `address`, then let go.
quint16 freePort(const QString& address = QStringLiteral("127.0.0.1"));

// One answer as it came over the wire.
struct HttpAnswer {
    int status = 0;  // 0 when no answer came
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    bool closed = false;  // the server closed the connection after it

    // The first header of that name (any case); empty when there is none.
    QByteArray header(const QByteArray& name) const;
    QString text() const { return QString::fromUtf8(body); }
};

// A connection to the web program, plain or TLS, on which requests are written byte for byte as
// given (a path like "/%2e%2e/EDI.ini" reaches the server unchanged) and answers read by their
// Content-Length, so several requests may follow one another on it.
class HttpConnection {
public:
    static constexpr int kTimeoutMsecs = 15000;

    // Plain TCP to 127.0.0.1:port.
    explicit HttpConnection(quint16 port);
    // TLS to 127.0.0.1:port, accepting the self-signed `certificate` and nothing else.
    HttpConnection(quint16 port, const QSslCertificate& certificate);
    ~HttpConnection();

    bool connected() const;
    // Writes the request and waits for its answer; headers are "Name: value" lines.
    HttpAnswer ask(const QByteArray& method, const QByteArray& target, const QList<QByteArray>& headers = {});
    // Writes a request without waiting; then answer() reads what came for it.
    void send(const QByteArray& method, const QByteArray& target, const QList<QByteArray>& headers = {});
    HttpAnswer answer(bool head = false);
    // What arrived up to the end of the connection, raw, when no HTTP answer is expected.
    QByteArray readToEnd(int msecs);

private:
    bool fill(const QDeadlineTimer& deadline);

    std::unique_ptr<QTcpSocket> socket_;
    QByteArray buffer_;
    QByteArray lastMethod_;
};

// A GET, HEAD, ... on a fresh plain connection.
HttpAnswer httpRequest(quint16 port, const QByteArray& method, const QByteArray& target,
                       const QList<QByteArray>& headers = {});

// "edi-auto web" in a process of its own, in the test clock's time when clockStart is given,
// stopped with SIGTERM when the object goes.
class WebProcess {
public:
    WebProcess(const QString& config, const QStringList& arguments, const QString& clockStart = {});
    ~WebProcess();
    WebProcess(const WebProcess&) = delete;
    WebProcess& operator=(const WebProcess&) = delete;

    // Waits until it says where it listens; false when it ended (or said nothing) first.
    bool waitUntilListening();
    // Waits until it ended by itself; its exit code, -1 when it did not end or crashed.
    int waitForExit();
    // Waits until its output has the text.
    bool waitForOutput(const QString& text, int msecs = 5000);
    // All it wrote so far (standard output and error).
    QString output();

private:
    QProcess process_;
    QByteArray output_;
};

// "edi-auto ARGUMENTS" run to its end with `input` on its standard input; its exit code, and its
// standard output in `out` and standard error in `err`.
int runProgram(const QStringList& arguments, const QByteArray& input, QByteArray* out = nullptr, QByteArray* err = nullptr);

}  // namespace edi::test
