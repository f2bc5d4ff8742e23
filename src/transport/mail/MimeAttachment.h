#pragma once

#include "transport/mail/DataForm.h"
#include "transport/mail/MailStore.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

class QFile;

namespace edi {

// What the reception reads from a message's header block.
struct HeaderFields {
    bool parsed = false;     // false: not a header block at all
    QString firstRecipient;  // the address of the first To recipient (the first Cc one without To)
    QStringList recipients;  // the addresses of To and Cc, in order
    QString sender;          // From: the display name and the address, decoded
    QString subject;         // decoded
    QString messageId;       // without its angle brackets
    QString date;            // as the sender wrote it

    // The message as a person finds it in a mail program: date, sender, subject and Message-ID.
    QString described() const;
};
// Header texts are decoded as their encoded words say; raw 8-bit text as UTF-8, else as the
// Japanese charsets mail programs write: CP932, ISO-2022-JP, EUC-JP.
HeaderFields readHeaderFields(const QByteArray& header);

// True when a recipient address is the partner address: the same local part, the domain
// without regard to case, blanks around either ignored.
bool sameAddress(const QString& recipient, const QString& partner);

enum class AttachmentOutcome {
    Saved,         // the data attachment's content, decoded, is in the target file
    NoAttachment,  // no attachment is of the centre's data form
    Broken,        // the MIME structure is broken (no boundary, truncated, overflowing nesting, ...)
    Unreadable,    // the message file cannot be read
    WriteFailed,   // the target file could not take the content
    Changed,       // the data attachment was sent without transfer encoding and the store may have changed it
};
struct SavedAttachment {
    AttachmentOutcome outcome = AttachmentOutcome::Unreadable;
    QString fileName;  // the name the sender gave it, decoded; only for the operator's messages
    QString detail;    // what was broken; without a data attachment, why sealed parts are none
    QStringList seen;  // without a data attachment: the attachments there were, as a mail program lists them
};

// Where the content of a part sent without transfer encoding (8bit, binary) comes from.
struct UnencodedPartSource {
    UnencodedParts parts = UnencodedParts::InContent;
    // For FetchedApart: the part with the IMAP part specifier, as it was sent, into the file;
    // throws MailError.
    std::function<void(const QByteArray& section, QIODevice& target)> fetch;
};

// Finds the data attachment of the message in messagePath: of the attachments a mail program
// lists (see listAttachments), the first whose decoded content (base64, quoted-printable, ...) is
// of the form, which it leaves in target, open for reading and writing. The message is parsed
// from the file and contents are streamed, so memory does not grow with their size.
SavedAttachment saveDataAttachment(const QString& messagePath, DataForm form, const UnencodedPartSource& unencoded,
                                   QFile& target);

}  // namespace edi
