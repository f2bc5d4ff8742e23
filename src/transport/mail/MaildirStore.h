#pragma once

#include "transport/mail/MailError.h"
#include "transport/mail/MailStore.h"

namespace edi {

// A Maildir folder (cur/, new/, tmp/). A message is unread while its name carries no "S" flag:
// everything in new/, and the files of cur/ whose ":2," information lacks "S". A message flagged
// "F" is one a reception rejected: it waits for a person and receptions pass over it, as they pass
// over a message flagged "T" (deleted in a mail program). Messages
// arrive in the order of the delivery time that begins their unique name, then of the name.
//
// A reception claims a message by renaming it, in its folder, to a private name that begins with
// "." (which no mail program lists) and ends with ".claim-SERIAL"; marking it read renames it into
// cur/ with "S" added to its flags, giving it back renames it to its own name again, rejecting it
// renames it into cur/ with "F".
class MaildirStore final : public MailStore {
public:
    explicit MaildirStore(QString folder);

    void signOn() override;
    QString mailboxName() const override { return folder_; }
    QStringList unreadMessages() override;
    QByteArray header(const QString& message) override;
    MessageFile content(const QString& message, const QString& workFolder) override;
    UnencodedParts unencodedParts() const override { return UnencodedParts::InContent; }
    void leaveUnread(const QString&) override {}
    std::optional<QString> claim(const QString& message, qint32 serial) override;
    void markRead(const QString& claimed) override;
    void giveBack(const QString& claimed) override;
    void reject(const QString& claimed) override;
    QStringList claimedBy(qint32 serial) override;
    void signOff() override {}

    // The flags of a message name ("1.M2P3.host:2,FS" has "FS"); empty without ":2,".
    static QString flagsOf(const QString& name);
    // The name a message gets in cur/ with a flag added ("S" once read, "F" once rejected): its
    // unique part, ":2," and its flags in ASCII order.
    static QString nameWithFlag(const QString& name, QChar flag);

private:
    // The message's file now; another mail program may have moved it from new/ to cur/ since
    // it was listed.
    QString locate(const QString& message) const;
    // Renames a claimed message ("new/.NAME.claim-SERIAL") to its own name in its folder, or into
    // cur/ with a flag added.
    void settle(const QString& claimed, std::optional<QChar> flag, MailErrorNumber failure, const QString& what);

    QString folder_;
};

}  // namespace edi
