#pragma once

#include "transport/mail/MailError.h"
#include "transport/mail/MailStore.h"

#include <QByteArray>
#include <set>

namespace edi {

// A folder on an IMAP server, reached through libcurl: imap://host[:port]/FOLDER or imaps://...
// (INBOX when the URL names none), signed on with the profile name and password. Unread messages
// are those without \Seen, \Deleted and the keyword $EdiRejected, named by their UIDs. Fetching a message sets \Seen on the server;
// every message that was fetched and not marked read has \Seen taken away again, in batches while
// the reception goes on, before a message is marked read, and at the latest at sign-off, so only
// stored messages end up read and nothing is left to fail once one is.
class ImapStore final : public MailStore {
public:
    ImapStore(QString url, QString user, QString password);
    ~ImapStore() override;

    void signOn() override;
    QStringList unreadMessages() override;
    QByteArray header(const QString& message) override;
    MessageFile content(const QString& message, const QString& workFolder) override;
    void leaveUnread(const QString& message) override;
    // The centre's lock keeps other receptions of the partner's mail away: a claim is the UID.
    std::optional<QString> claim(const QString& message, qint32) override { return message; }
    void markRead(const QString& claimed) override;
    void giveBack(const QString& claimed) override { leaveUnread(claimed); }
    // Adds the keyword $EdiRejected, which the search for unread messages passes over.
    void reject(const QString& claimed) override;
    QStringList claimedBy(qint32) override { return {}; }
    void signOff() override;

    // The folder URL curl works with: scheme, server and folder, without a final "/".
    static QByteArray folderUrl(const QString& store);

private:
    struct Transfer;
    // Runs one request on the session's connection: a command of our own, or a fetch of the URL
    // `suffix` appended to the folder URL. Returns curl's code; `error` gets its text.
    int perform(const QByteArray& suffix, const QByteArray& command, Transfer& transfer, QString& error);
    void command(const QByteArray& text, MailErrorNumber failure, const QString& what);
    // Takes \Seen away from the pending messages, in batches.
    void restoreUnread(std::set<qint64>& pending, MailErrorNumber failure);

    QByteArray url_;
    QByteArray user_;
    QByteArray password_;
    void* curl_ = nullptr;
    qint64 messageCount_ = -1;           // from the folder's selection; -1 when the server gave none
    std::set<qint64> fetched_;           // messages whose \Seen the session may have set
    std::set<qint64> toRestore_;         // looked at and not taken, \Seen not yet taken away
};

}  // namespace edi
