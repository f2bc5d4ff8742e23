#pragma once

#include "app/config/Configuration.h"

#include <QStringList>
#include <QTemporaryFile>
#include <memory>
#include <optional>

namespace edi {

// A message's whole text as a file: the store's own file, or a download that is removed when
// the MessageFile goes.
struct MessageFile {
    QString path;
    std::unique_ptr<QTemporaryFile> download;
};

// The longest header block a message may have; a longer one makes the message broken.
inline constexpr qint64 kMaxHeaderBytes = 1024 * 1024;

// A mailbox the mail transport receives from. Messages are named by the store (a Maildir file
// name, an IMAP UID). Every operation throws MailError when it fails.
class MailStore {
public:
    virtual ~MailStore() = default;

    // Reaches the mailbox with the configured user and password.
    virtual void signOn() = 0;
    // The unread messages, in the order they arrived.
    virtual QStringList unreadMessages() = 0;
    // The message's header block, with the empty line that ends it (at most kMaxHeaderBytes).
    virtual QByteArray header(const QString& message) = 0;
    // The whole message as a file; a download goes into workFolder.
    virtual MessageFile content(const QString& message, const QString& workFolder) = 0;
    // The message was looked at and not taken: it stays unread.
    virtual void leaveUnread(const QString& message) = 0;
    // Takes an unread message for the job with the serial alone: no reception lists it until it
    // is marked read, given back or rejected. Returns the name it goes by meanwhile; none when it
    // is gone, taken by another reception.
    virtual std::optional<QString> claim(const QString& message, qint32 serial) = 0;
    // A claimed message whose attachment became the job's received file, and the reception is
    // recorded: it is read from now on.
    virtual void markRead(const QString& claimed) = 0;
    // A claimed message that was not taken goes back where it was, unread.
    virtual void giveBack(const QString& claimed) = 0;
    // A claimed message that fails the reception goes back unread and marked as such, so that
    // later receptions pass over it while it waits for a person.
    virtual void reject(const QString& claimed) = 0;
    // The claims a job with the serial left when its process ended.
    virtual QStringList claimedBy(qint32 serial) = 0;
    // Ends the session; messages looked at and not marked read are unread again. The destructor
    // of a store that was not signed off does the same as far as it can, without throwing.
    virtual void signOff() = 0;
};

// The store [MAPI] Store names: an imap:// or imaps:// URL with the folder, otherwise a Maildir
// folder (a relative path is taken from configFolder). Throws MailError(NoStore) when it is empty.
std::unique_ptr<MailStore> openMailStore(const MailSettings& settings, const QString& configFolder);

}  // namespace edi
