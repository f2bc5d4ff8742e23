#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>

namespace edi {

// How an imap:// session uses TLS: STARTTLS when the server offers it, only with it, or never.
// An imaps:// session is TLS from its start.
enum class ImapTls { Try, Required, None };

// One signed-on session with an IMAP server. libcurl connects, sets up TLS (implicit or STARTTLS)
// and signs on; the commands and their responses are this session's own, so that every fetch
// can be a BODY.PEEK, which leaves \Seen alone, and a literal streams to where it belongs.
// Every failure throws MailError.
class ImapSession {
public:
    struct Options {
        QByteArray serverUrl;  // scheme, host and port: "imap://host:143/"
        QByteArray user;
        QByteArray password;
        ImapTls tls = ImapTls::Try;
        QString caFile;              // certificates (PEM) to check the server's against; empty: the system's
        int timeoutSeconds = 60;     // how long the server may stay silent
    };

    // Takes the bytes of a literal, piece by piece; false stops taking them (they are read on and
    // dropped, so the session stays in step).
    using LiteralSink = std::function<bool(const char* data, qint64 size)>;

    // What the server answered a command: the untagged lines (a literal in them left out unless no
    // sink took it, then kept in the line up to a limit) and whether the command completed OK.
    struct Response {
        bool ok = false;
        QByteArray status;  // the tagged line after the tag: "OK ...", "NO ...", "BAD ..."
        QList<QByteArray> untagged;
    };

    explicit ImapSession(const Options& options);
    ~ImapSession();
    ImapSession(const ImapSession&) = delete;
    ImapSession& operator=(const ImapSession&) = delete;

    // Sends a command (without tag and line end) and reads its response. The literal of a FETCH
    // response holding "BODY[" or "BINARY[" goes to the sink when one is given.
    Response run(const QByteArray& command, const LiteralSink& sink = {});

    // Ends the session politely; a session that is dropped without it just closes.
    void logout();

private:
    void send(const QByteArray& bytes);
    // The next line of the response, without its CR LF; literals are read by readLiteral.
    QByteArray readLine();
    void readLiteral(qint64 size, const LiteralSink& sink, QByteArray* into);
    // Reads more from the connection into pending_, waiting at most the time-out.
    void receiveMore();
    [[noreturn]] void lost(const QString& why);

    void* curl_ = nullptr;
    int timeoutSeconds_;
    int nextTag_ = 1;
    QByteArray pending_;  // received and not yet taken
    bool open_ = false;
};

// A folder name as IMAP wants it in a command: modified UTF-7 for what is not ASCII, "&" written
// "&-", in double quotes with backslash and quote escaped.
QByteArray imapMailboxName(const QString& name);

}  // namespace edi
