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

// How a store gives the parts of a message that were sent without a transfer encoding (8bit,
// binary): NUL bytes and line ends that a server may change when it sends a message as text.
enum class UnencodedParts {
    InContent,     // the message's content holds them as they were sent (a Maildir file)
    FetchedApart,  // content() may have changed them; fetchPart gives them as they were sent
    Changed,       // content() may have changed them, and the store cannot give them otherwise
};

// A mailbox the mail transport receives from. Messages are named by the store (a Maildir file
// name, an IMAP UID). Every operation throws MailError when it fails.
class MailStore {
public:
    virtual ~MailStore() = default;

    // Reaches the mailbox with the configured user and password.
    virtual void signOn() = 0;
    // The mailbox as one text, once signed on: the same for every session of the same mailbox
    // while its message names keep their meaning (an IMAP folder's UIDVALIDITY is part of it).
    virtual QString mailboxName() const = 0;
    // The unread messages, in the order they arrived.
    virtual QStringList unreadMessages() = 0;
    // The message's header block, with the empty line that ends it (at most kMaxHeaderBytes).
    virtual QByteArray header(const QString& message) = 0;
    // The whole message as a file; a download goes into workFolder.
    virtual MessageFile content(const QString& message, const QString& workFolder) = 0;
    virtual UnencodedParts unencodedParts() const = 0;
    // The content of the message's part with the IMAP part specifier ("2", "1.3"), exactly as it
    // was sent, into target. Only for a store whose unencoded parts are FetchedApart.
    virtual void fetchPart(const QString& message, const QByteArray& section, QIODevice& target);
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
