#include "TestMail.h"

#include "TestFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <atomic>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace edi::test {
namespace {

const QByteArray kBoundary = "=-partner-boundary-42";

std::atomic<int> deliveries{0};

QByteArray base64Lines(const QByteArray& content)
{
    const QByteArray encoded = content.toBase64();
    QByteArray lines;
    lines.reserve(encoded.size() + encoded.size() / 38 + 2);
    for (qsizetype at = 0; at < encoded.size(); at += 76)
        lines += encoded.mid(at, 76) + "\r\n";
    return lines;
}

sockaddr_in loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(quint16(port));
    return address;
}

int connectTo(int port)
{
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopback(port);
    if (::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(socket);
        throw std::runtime_error("cannot connect to port " + std::to_string(port));
    }
    return socket;
}

// Copies what comes from one socket to the other until either goes.
void pump(int from, int to)
{
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(from, buffer, sizeof buffer);
        if (got <= 0 || ::write(to, buffer, size_t(got)) != got)
            break;
    }
    ::shutdown(to, SHUT_RDWR);
    ::shutdown(from, SHUT_RDWR);
}

// Reads the server's answer up to the whole line that begins with the tag.
QByteArray readUntilTagged(int socket, const QByteArray& tag)
{
    QByteArray answer;
    char buffer[4096];
    for (;;) {
        const qsizetype line = answer.startsWith(tag + ' ') ? 0 : answer.indexOf("\n" + tag + ' ');
        if (line >= 0 && answer.indexOf("\r\n", line + 1) >= 0)
            return answer;
        const ssize_t got = ::read(socket, buffer, sizeof buffer);
        if (got <= 0)
            throw std::runtime_error("the IMAP server went away: " + answer.toStdString());
        answer.append(buffer, got);
    }
}

qint64 statusValue(const char* key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qsizetype(qstrlen(key))).trimmed().split(' ').first().toLongLong() * 1024;
    return -1;
}

}  // namespace

QByteArray textPart(const QByteArray& text)
{
    return "Content-Type: text/plain; charset=us-ascii\r\nContent-Transfer-Encoding: 7bit\r\n\r\n" + text + "\r\n";
}

QByteArray base64Part(const QByteArray& content, const QByteArray& dispositionParameters)
{
    return "Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n"
           "Content-Disposition: attachment; "
         + dispositionParameters + "\r\n\r\n" + base64Lines(content);
}

QByteArray encodedPart(const QByteArray& headers, const QByteArray& content)
{
    return headers + "Content-Transfer-Encoding: base64\r\n\r\n" + base64Lines(content);
}

QByteArray mailMessage(const QByteArray& to, const QList<QByteArray>& parts, const QByteArray& moreHeaders)
{
    QByteArray message = "From: EDI Centre <edi@partner.example.jp>\r\nTo: " + to
                       + "\r\nDate: Tue, 1 Apr 2003 09:00:00 +0900\r\nMIME-Version: 1.0\r\n" + moreHeaders;
    if (!moreHeaders.startsWith("Subject:") && !moreHeaders.contains("\nSubject:"))
        message += "Subject: orders\r\n";
    if (parts.isEmpty())
        return message + "Content-Type: text/plain\r\n\r\nno attachment today\r\n";
    message += "Content-Type: multipart/mixed; boundary=\"" + kBoundary + "\"\r\n\r\nThis is a MIME message.\r\n";
    for (const QByteArray& part : parts)
        message += "--" + kBoundary + "\r\n" + part;
    return message + "--" + kBoundary + "--\r\n";
}

QByteArray ciiFile(const QByteArray& text)
{
    return "0C" + QByteArray(249, ' ') + text;
}

std::optional<ImapServer> testImapServer()
{
    const QString state = qEnvironmentVariable("EDI_TEST_DOVECOT_DIR");
    if (state.isEmpty() || !QFileInfo::exists(state + QStringLiteral("/port")))
        return std::nullopt;
    ImapServer server;
    server.port = readFile(state + QStringLiteral("/port")).trimmed().toInt();
    server.tlsPort = readFile(state + QStringLiteral("/imaps_port")).trimmed().toInt();
    server.caFile = state + QStringLiteral("/ca.pem");
    server.maildir = QString::fromUtf8(readFile(state + QStringLiteral("/maildir")).trimmed());
    const QList<QByteArray> owner = readFile(state + QStringLiteral("/owner")).trimmed().split(':');
    server.uid = owner.value(0).toUInt();
    server.gid = owner.value(1).toUInt();
    return server;
}

TestMailbox::TestMailbox(QString folder, QString store, std::optional<std::pair<uint, uint>> owner)
    : folder_(std::move(folder))
    , store_(std::move(store))
    , owner_(owner)
{
    for (const char* sub : {"", "/cur", "/new", "/tmp"}) {
        const QString path = folder_ + QString::fromLatin1(sub);
        if (!QDir().mkpath(path))
            throw std::runtime_error("cannot create " + path.toStdString());
        own(path);
    }
}

TestMailbox TestMailbox::maildir(const QString& folder)
{
    return TestMailbox(folder, folder, std::nullopt);
}

TestMailbox TestMailbox::imapFolder(const ImapServer& server, const QString& name, const QString& urlName)
{
    return TestMailbox(server.maildir + QStringLiteral("/.") + name,
                       QStringLiteral("imap://127.0.0.1:%1/%2").arg(server.port).arg(urlName.isEmpty() ? name : urlName),
                       std::make_pair(server.uid, server.gid));
}

void TestMailbox::own(const QString& path) const
{
    if (owner_ && ::chown(QFile::encodeName(path).constData(), owner_->first, owner_->second) != 0)
        throw std::runtime_error("cannot hand over " + path.toStdString());
}

QString TestMailbox::deliver(const QByteArray& message, const QString& flags)
{
    const QString unique = nextUnique();
    // Written in tmp/ and renamed into place, as a delivery agent does.
    const QString temporary = folder_ + QStringLiteral("/tmp/") + unique;
    writeFile(temporary, message);
    return place(temporary, unique, flags);
}

QString TestMailbox::deliverFile(const QString& file)
{
    const QString unique = nextUnique();
    const QString temporary = folder_ + QStringLiteral("/tmp/") + unique;
    if (!QFile::rename(file, temporary))
        throw std::runtime_error("cannot move " + file.toStdString());
    return place(temporary, unique, {});
}

QString TestMailbox::deliverThroughServer(const QByteArray& message)
{
    const QStringList before = QDir(folder_ + QStringLiteral("/new")).entryList(QDir::Files)
                             + QDir(folder_ + QStringLiteral("/cur")).entryList(QDir::Files);
    const QString url = store_.section(QLatin1Char('/'), 2, 2);  // 127.0.0.1:PORT
    const int socket = connectTo(url.section(QLatin1Char(':'), 1).toInt());
    auto send = [socket](const QByteArray& bytes) {
        if (::write(socket, bytes.constData(), size_t(bytes.size())) != bytes.size())
            throw std::runtime_error("cannot write to the IMAP server");
    };
    readUntilTagged(socket, "*");
    send("a LOGIN edi secret\r\n");
    readUntilTagged(socket, "a");
    const QByteArray folder = store_.section(QLatin1Char('/'), 3).toUtf8();
    send("b APPEND \"" + folder + "\" ~{" + QByteArray::number(message.size()) + "+}\r\n" + message + "\r\n");
    const QByteArray appended = readUntilTagged(socket, "b");
    send("c LOGOUT\r\n");
    ::close(socket);
    if (!appended.contains("b OK"))
        throw std::runtime_error("APPEND refused: " + appended.toStdString());
    for (const char* sub : {"/new", "/cur"})
        for (const QString& name : QDir(folder_ + QString::fromLatin1(sub)).entryList(QDir::Files))
            if (!before.contains(name))
                return name.left(name.indexOf(QLatin1Char(':')));
    throw std::runtime_error("the appended message is nowhere");
}

QString TestMailbox::nextUnique()
{
    const int n = ++deliveries;
    return QStringLiteral("%1.M%2P%3.edi-test").arg(1700000000 + n).arg(n).arg(::getpid());
}

QString TestMailbox::place(const QString& temporary, const QString& unique, const QString& flags) const
{
    const QString path = flags.isEmpty() ? folder_ + QStringLiteral("/new/") + unique
                                         : folder_ + QStringLiteral("/cur/") + unique + QStringLiteral(":2,") + flags;
    own(temporary);
    if (!QFile::rename(temporary, path))
        throw std::runtime_error("cannot deliver " + path.toStdString());
    return unique;
}

QString TestMailbox::pathOf(const QString& unique) const
{
    for (const char* sub : {"/new", "/cur"}) {
        const QDir folder(folder_ + QString::fromLatin1(sub));
        for (const QString& name : folder.entryList({unique + QLatin1Char('*')}, QDir::Files))
            if (name == unique || name.startsWith(unique + QLatin1Char(':')))
                return folder.filePath(name);
    }
    return {};
}

bool TestMailbox::exists(const QString& unique) const { return !pathOf(unique).isEmpty(); }

QString TestMailbox::flags(const QString& unique) const
{
    const QString path = pathOf(unique);
    const qsizetype info = path.lastIndexOf(QStringLiteral(":2,"));
    return info < 0 ? QString() : path.mid(info + 3);
}

QStringList TestMailbox::readMessages() const
{
    QStringList read;
    for (const QString& name : QDir(folder_ + QStringLiteral("/cur")).entryList(QDir::Files)) {
        const qsizetype info = name.lastIndexOf(QStringLiteral(":2,"));
        if (info >= 0 && name.mid(info + 3).contains(QLatin1Char('S')))
            read << name.left(name.indexOf(QLatin1Char(':')));
    }
    return read;
}

CuttableRelay::CuttableRelay(int serverPort)
    : serverPort_(serverPort)
{
    restore();
}

CuttableRelay::~CuttableRelay()
{
    cut();
}

void CuttableRelay::restore()
{
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int reuse = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    sockaddr_in address = loopback(port_);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(listener_, 8) != 0)
        throw std::runtime_error("the relay cannot listen");
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    cut_ = false;
    acceptor_ = std::thread([this, listener = listener_] { acceptConnections(listener); });
}

void CuttableRelay::acceptConnections(int listener)
{
    for (;;) {
        const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            return;  // cut
        const int server = connectTo(serverPort_);
        const std::lock_guard lock(mutex_);
        connections_.insert(connections_.end(), {client, server});
        if (cut_) {
            ::shutdown(client, SHUT_RDWR);
            ::shutdown(server, SHUT_RDWR);
            continue;
        }
        pumps_.emplace_back(pump, client, server);
        pumps_.emplace_back(pump, server, client);
    }
}

void CuttableRelay::cut()
{
    {
        const std::lock_guard lock(mutex_);
        if (listener_ < 0)
            return;
        cut_ = true;
        ::shutdown(listener_, SHUT_RDWR);
        for (const int connection : connections_)
            ::shutdown(connection, SHUT_RDWR);
    }
    acceptor_.join();
    for (std::thread& pumping : pumps_)
        pumping.join();
    pumps_.clear();
    for (const int connection : connections_)
        ::close(connection);
    connections_.clear();
    ::close(listener_);
    listener_ = -1;
}

void resetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

qint64 peakMemory() { return statusValue("VmHWM:"); }
qint64 currentMemory() { return statusValue("VmRSS:"); }

}  // namespace edi::test
