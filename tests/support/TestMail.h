#pragma once

#include "QtPrinters.h"

#include "transport/MailProgress.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace edi::test {

// What the mail transport told its window: "started", each line, "error: <message>", "finished".
struct RecordingMailProgress final : MailProgress {
    void started() override { events << QStringLiteral("started"); }
    void line(const QString& text) override { events << text; }
    void error(const QString& message) override { events << QStringLiteral("error: ") + message; }
    void finished() override { events << QStringLiteral("finished"); }
    void detail(const QString& text) override { details << text; }
    QStringList events;
    QStringList details;  // the administrator's lines, apart from the window's
};

// Messages as a partner's mail program writes them (CR LF line ends).
QByteArray textPart(const QByteArray& text);
// A base64 attachment: disposition "attachment" with the given parameters (e.g. filename="A.CII").
QByteArray base64Part(const QByteArray& content, const QByteArray& dispositionParameters = "filename=\"ORDERS.DAT\"");
// A part with the given header lines (each ending in CR LF), its content base64-encoded.
QByteArray encodedPart(const QByteArray& headers, const QByteArray& content);
// A message to `to` from a partner: multipart/mixed of the parts, or a plain text body without parts.
// Its subject is "orders" unless moreHeaders has one.
QByteArray mailMessage(const QByteArray& to, const QList<QByteArray>& parts, const QByteArray& moreHeaders = {});
// Data of a CII centre as the mail reception tells it: a message-group header block ("0C" and 249
// bytes of header) in front of the text.
QByteArray ciiFile(const QByteArray& text);

// The Dovecot server the ctest fixture started (scripts/test-dovecot.sh); nullopt without one.
struct ImapServer {
    int port = 0;         // IMAP, which offers STARTTLS
    int tlsPort = 0;      // IMAP over TLS
    QString caFile;       // the test CA that signed the server's certificate for 127.0.0.1
    QString maildir;      // the Maildir of user "edi", password "secret"
    uint uid = 0;
    uint gid = 0;
};
std::optional<ImapServer> testImapServer();

// A real Maildir to deliver into: a folder of its own, or a folder of the IMAP user's mailbox
// (Maildir++ ".NAME", its files owned by the server's mail user).
class TestMailbox {
public:
    static TestMailbox maildir(const QString& folder);
    // A folder stored under `name` (Maildir++ ".NAME", IMAP's modified UTF-7 where not ASCII), and
    // named in the store URL as `urlName`, the same when empty.
    static TestMailbox imapFolder(const ImapServer& server, const QString& name, const QString& urlName = {});

    // The [MAPI] Store value that reaches it.
    const QString& store() const { return store_; }
    const QString& folder() const { return folder_; }

    // Delivers a message as new mail, or with Maildir flags into cur/ ("S": already read); returns
    // its unique name. Messages arrive in the order they are delivered.
    QString deliver(const QByteArray& message, const QString& flags = {});
    // Delivers the message a file holds, moving the file.
    QString deliverFile(const QString& file);
    // Delivers a message of an IMAP folder through the server itself (APPEND, the message as a
    // literal that may hold any byte), which keeps it as it must to give it back unchanged.
    QString deliverThroughServer(const QByteArray& message);
    QString flags(const QString& unique) const;
    bool isRead(const QString& unique) const { return flags(unique).contains(QLatin1Char('S')); }
    // The unique names of all messages that are read, from one listing.
    QStringList readMessages() const;
    bool exists(const QString& unique) const;

private:
    TestMailbox(QString folder, QString store, std::optional<std::pair<uint, uint>> owner);
    static QString nextUnique();
    QString place(const QString& temporary, const QString& unique, const QString& flags) const;
    QString pathOf(const QString& unique) const;
    void own(const QString& path) const;

    QString folder_;
    QString store_;
    std::optional<std::pair<uint, uint>> owner_;
};

// A relay on 127.0.0.1 in front of a server, whose line can be cut as a network or a server restart
// cuts it: while cut, connections are refused and those open are closed.
class CuttableRelay {
public:
    explicit CuttableRelay(int serverPort);
    ~CuttableRelay();
    CuttableRelay(const CuttableRelay&) = delete;
    CuttableRelay& operator=(const CuttableRelay&) = delete;

    int port() const { return port_; }
    void cut();
    void restore();

private:
    void acceptConnections(int listener);

    int serverPort_;
    int port_ = 0;  // the first listener's, kept when the line is restored
    int listener_ = -1;
    std::thread acceptor_;
    std::mutex mutex_;
    bool cut_ = false;
    std::vector<int> connections_;
    std::vector<std::thread> pumps_;
};

// Peak resident memory of this process since the last reset, in bytes (Linux /proc).
void resetPeakMemory();
qint64 peakMemory();
qint64 currentMemory();

}  // namespace edi::test
