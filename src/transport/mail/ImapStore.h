#pragma once

#include "transport/mail/ImapSession.h"
#include "transport/mail/MailError.h"
#include "transport/mail/MailStore.h"

#include <QByteArray>
#include <memory>

namespace edi {

// A folder on an IMAP server: imap://host[:port]/FOLDER or imaps://... (INBOX when the URL names
// none; a folder name may hold any characters, percent-encoded where a URL needs it), signed on
// with the profile name and password. Unread messages are those without \Seen, \Deleted and the
// keyword $EdiRejected, named by their UIDs. Every fetch is a BODY.PEEK or BINARY.PEEK, so
// looking at a message never marks it read: only markRead sets \Seen. The centre's lock keeps two
// receptions of one partner apart, so a claim is the UID itself.
//
// A server sends a message as text: it may turn a NUL byte or a bare LF of a part sent without
// transfer encoding (8bit, binary) into something else. Where it offers BINARY (RFC 3516), such a
// part is fetched apart, unchanged.
class ImapStore final : public MailStore {
public:
    ImapStore(const QString& url, const MailSettings& settings, const QString& configFolder);
    ~ImapStore() override;

    void signOn() override;
    // imap://USER@HOST:PORT/FOLDER;UIDVALIDITY=N: UIDs name the same messages while the folder's
    // UIDVALIDITY stays.
    QString mailboxName() const override { return mailboxName_; }
    QStringList unreadMessages() override;
    QByteArray header(const QString& message) override;
    MessageFile content(const QString& message, const QString& workFolder) override;
    UnencodedParts unencodedParts() const override;
    // BINARY.PEEK[section]: the server undoes the part's transfer encoding and sends its bytes as
    // they are.
    void fetchPart(const QString& message, const QByteArray& section, QIODevice& target) override;
    void leaveUnread(const QString&) override {}
    std::optional<QString> claim(const QString& message, qint32) override { return message; }
    void markRead(const QString& claimed) override;
    void giveBack(const QString&) override {}
    // Adds the keyword $EdiRejected, which the search for unread messages passes over.
    void reject(const QString& claimed) override;
    QStringList claimedBy(qint32) override { return {}; }
    void signOff() override;

    // The server part of a store URL ("imap://host:143/") and its folder ("INBOX" when none).
    static QByteArray serverUrl(const QString& store);
    static QString folderName(const QString& store);

private:
    ImapSession& session();
    // Streams the literal of a FETCH of the item into target.
    void fetchInto(const QString& message, const QByteArray& item, QIODevice& target, const QString& where);
    void store(const QString& message, const QByteArray& flags, MailErrorNumber failure, const QString& what);

    QString url_;
    ImapSession::Options options_;
    std::unique_ptr<ImapSession> session_;
    qint64 messageCount_ = -1;  // from the folder's selection; -1 when the server gave none
    QString mailboxName_;
    bool binary_ = false;       // the server offers BINARY
};

}  // namespace edi
