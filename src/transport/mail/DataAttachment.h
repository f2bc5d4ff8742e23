#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

typedef struct _GMimeObject GMimeObject;
typedef struct _GMimeMessage GMimeMessage;

namespace edi {

// A part a mail program lists as an attachment, and where it is in the message.
struct ListedAttachment {
    GMimeObject* part = nullptr;  // a part of the message
    QByteArray section;           // its IMAP part specifier ("2", "1.3", "3.1" in a forwarded message)
};

// The attachments of a message, in the order a mail program lists them, or why there are none.
struct AttachmentList {
    std::vector<ListedAttachment> attachments;
    QString notFound;  // sealed or packed parts that were there, if any: why they are no data
};

// Depth first in the order of the parts, a mail program's list of attachments:
// - a part is an attachment when its disposition says so, it carries a file name, it is
//   application/octet-stream, or it is an image no HTML body shows in its place;
// - parts an HTML body shows inline are no attachments: the parts of a multipart/related that
//   carry a Content-ID, inline images with one;
// - signatures are no attachments (application/pkcs7-signature, application/pgp-signature), and of
//   a multipart/signed only the signed content counts;
// - the attachments of a message forwarded as an attachment (message/rfc822) follow the message's
//   own, the forwarded messages in their order;
// - sealed or packed parts are no data: S/MIME (smime.p7m) and TNEF (winmail.dat), nor is an
//   encrypted multipart; notFound says what of these was there.
AttachmentList listAttachments(GMimeMessage* message);

// An attachment as the operator finds it in a mail program: its file name, or "名前なし", and its
// content type ("ORDERS.PDF (application/pdf)").
QString describedAttachment(GMimeObject* part);

}  // namespace edi
