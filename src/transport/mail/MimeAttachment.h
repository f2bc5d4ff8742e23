#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

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
    Saved,         // the first attachment's content, decoded, is in the target file
    NoAttachment,  // the message has none
    Broken,        // the MIME structure is broken (no boundary, truncated, overflowing nesting, ...)
    Unreadable,    // the message file cannot be read
    WriteFailed,   // the target file could not take the content
};
struct SavedAttachment {
    AttachmentOutcome outcome = AttachmentOutcome::Unreadable;
    QString fileName;  // the name the sender gave it, decoded; only for the operator's messages
    QString detail;    // what was broken; without an attachment, what was there instead
};

// Finds the first attachment of the message in messagePath as a mail program lists attachments
// (see findDataAttachment; a part is an attachment when its disposition says so or it carries a
// file name) and writes its decoded content (base64, quoted-printable, ...) to target, which is
// open for writing. The message is parsed from the file and the content streamed, so memory does
// not grow with its size.
SavedAttachment saveFirstAttachment(const QString& messagePath, QFile& target);

}  // namespace edi
