#include "WebProcess.h"

#include "support/TestFiles.h"

#include <QSslError>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <csignal>

using namespace Qt::Literals::StringLiterals;

namespace edi::test {

quint16 freePort(const QString& address)
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress(address), 0))
        return 0;
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

QByteArray HttpAnswer::header(const QByteArray& name) const
{
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

HttpConnection::HttpConnection(quint16 port) : socket_(std::make_unique<QTcpSocket>())
{
    socket_->connectToHost(QHostAddress::LocalHost, port);
    socket_->waitForConnected(kTimeoutMsecs);
}

HttpConnection::HttpConnection(quint16 port, const QSslCertificate& certificate)
{
    auto socket = std::make_unique<QSslSocket>();
    socket->ignoreSslErrors({QSslError(QSslError::SelfSignedCertificate, certificate)});
    socket->connectToHostEncrypted(u"127.0.0.1"_s, port);
    socket->waitForEncrypted(kTimeoutMsecs);
    socket_ = std::move(socket);
}

HttpConnection::~HttpConnection() = default;

bool HttpConnection::connected() const
{
    auto* tls = qobject_cast<QSslSocket*>(socket_.get());
    return socket_->state() == QAbstractSocket::ConnectedState && (!tls || tls->isEncrypted());
}

void HttpConnection::send(const QByteArray& method, const QByteArray& target, const QList<QByteArray>& headers)
{
    QByteArray request = method + ' ' + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    for (const QByteArray& header : headers)
        request += header + "\r\n";
    if (method != "GET" && method != "HEAD")
        request += "Content-Length: 0\r\n";
    request += "\r\n";
    lastMethod_ = method;
    socket_->write(request);
    socket_->flush();
    socket_->waitForBytesWritten(kTimeoutMsecs);
}

HttpAnswer HttpConnection::ask(const QByteArray& method, const QByteArray& target, const QList<QByteArray>& headers)
{
    send(method, target, headers);
    return answer(method == "HEAD");
}

bool HttpConnection::fill(const QDeadlineTimer& deadline)
{
    if (socket_->bytesAvailable() == 0 && socket_->state() == QAbstractSocket::ConnectedState)
        socket_->waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
    const QByteArray more = socket_->readAll();
    buffer_ += more;
    return !more.isEmpty();
}

HttpAnswer HttpConnection::answer(bool head)
{
    HttpAnswer answer;
    const QDeadlineTimer deadline(kTimeoutMsecs);
    qsizetype end = -1;
    while ((end = buffer_.indexOf("\r\n\r\n")) < 0) {
        if (!fill(deadline) && (deadline.hasExpired() || socket_->state() != QAbstractSocket::ConnectedState))
            return answer;
    }
    const QList<QByteArray> lines = buffer_.left(end).split('\n');
    buffer_.remove(0, end + 4);
    const QList<QByteArray> statusLine = lines.first().trimmed().split(' ');
    if (statusLine.size() < 2 || !statusLine[0].startsWith("HTTP/1."))
        return answer;
    answer.status = statusLine[1].toInt();
    for (const QByteArray& line : lines.mid(1)) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            answer.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }
    const qsizetype length = head ? 0 : answer.header("Content-Length").toLongLong();
    while (buffer_.size() < length) {
        if (!fill(deadline) && (deadline.hasExpired() || socket_->state() != QAbstractSocket::ConnectedState))
            break;
    }
    answer.body = buffer_.left(length);
    buffer_.remove(0, answer.body.size());
    if (answer.header("Connection").compare("close", Qt::CaseInsensitive) == 0)
        socket_->waitForDisconnected(kTimeoutMsecs);
    answer.closed = socket_->state() != QAbstractSocket::ConnectedState;
    return answer;
}

QByteArray HttpConnection::readToEnd(int msecs)
{
    const QDeadlineTimer deadline(msecs);
    while (!deadline.hasExpired() && socket_->state() == QAbstractSocket::ConnectedState)
        fill(deadline);
    fill(deadline);
    return std::exchange(buffer_, {});
}

HttpAnswer httpRequest(quint16 port, const QByteArray& method, const QByteArray& target, const QList<QByteArray>& headers)
{
    HttpConnection connection(port);
    return connection.ask(method, target, headers);
}

WebProcess::WebProcess(const QString& config, const QStringList& arguments, const QString& clockStart)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"LC_ALL"_s, u"C.UTF-8"_s);
    if (!clockStart.isEmpty())
        environment.insert(u"EDI_CLOCK_START"_s, clockStart);
    process_.setProcessEnvironment(environment);
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start(buildPath(u"src/edi-auto"_s), QStringList{u"web"_s, u"--ini"_s, config} + arguments);
    process_.waitForStarted();
}

WebProcess::~WebProcess()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    ::kill(pid_t(process_.processId()), SIGTERM);
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished();
    }
}

QString WebProcess::output()
{
    output_ += process_.readAll();
    return QString::fromUtf8(output_);
}

bool WebProcess::waitForOutput(const QString& text, int msecs)
{
    const QDeadlineTimer deadline(msecs);
    while (!output().contains(text)) {
        if (deadline.hasExpired() || process_.state() == QProcess::NotRunning)
            return output().contains(text);
        process_.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
    }
    return true;
}

bool WebProcess::waitUntilListening()
{
    return waitForOutput(u"開始 http"_s, 15000) && process_.state() == QProcess::Running;
}

int WebProcess::waitForExit()
{
    if (!process_.waitForFinished(15000) || process_.exitStatus() != QProcess::NormalExit)
        return -1;
    output();
    return process_.exitCode();
}

int runProgram(const QStringList& arguments, const QByteArray& input, QByteArray* out, QByteArray* err)
{
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"LC_ALL"_s, u"C.UTF-8"_s);
    program.setProcessEnvironment(environment);
    program.start(buildPath(u"src/edi-auto"_s), arguments);
    program.write(input);
    program.closeWriteChannel();
    if (!program.waitForFinished(30000) || program.exitStatus() != QProcess::NormalExit)
        return -1;
    if (out)
        *out = program.readAllStandardOutput();
    if (err)
        *err = program.readAllStandardError();
    return program.exitCode();
}

}  // namespace edi::test
