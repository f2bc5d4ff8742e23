#pragma once

#include "transport/mail/MailStore.h"

namespace edi {

// A Maildir folder (cur/, new/, tmp/). A message is unread while its name carries no "S" flag:
// everything in new/, and the files of cur/ whose ":2," information lacks "S". Marking a message
// read renames it into cur/ with "S" added to its flags. Messages arrive in the order of the
// delivery time that begins their unique name, then of the name.
class MaildirStore final : public MailStore {
public:
    explicit MaildirStore(QString folder);

    void signOn() override;
    QStringList unreadMessages() override;
    QByteArray header(const QString& message) override;
    MessageFile content(const QString& message, const QString& workFolder) override;
    void leaveUnread(const QString&) override {}
    void markRead(const QString& message) override;
    void signOff() override {}

    // The flags of a message name ("1.M2P3.host:2,FS" has "FS"); empty without ":2,".
    static QString flagsOf(const QString& name);
    // The name a message gets in cur/ once read: its unique part, ":2," and its flags with "S",
    // in ASCII order.
    static QString readName(const QString& name);

private:
    // The message's file now; another mail program may have moved it from new/ to cur/ since
    // it was listed.
    QString locate(const QString& message) const;

    QString folder_;
};

}  // namespace edi
