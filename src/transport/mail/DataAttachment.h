#pragma once

#include <QString>

typedef struct _GMimeObject GMimeObject;

namespace edi {

// The partner's data among a message's parts: the first attachment as a mail program lists
// attachments, or why there is none.
struct DataAttachment {
    GMimeObject* part = nullptr;  // a part of the message; null when there is none
    QString notFound;             // when none: what was there instead, if anything
};

// Depth first in the order of the parts, a mail program's list of attachments:
// - parts an HTML body shows inline are no attachments: the parts of a multipart/related that
//   carry a Content-ID, inline images with one;
// - signatures are no attachments (application/pkcs7-signature, application/pgp-signature), and of
//   a multipart/signed only the signed content counts;
// - a message forwarded as an attachment (message/rfc822) is looked into only when the message
//   has no attachment of its own, the forwarded messages in their order;
// - sealed or packed parts are no data: S/MIME (smime.p7m) and TNEF (winmail.dat), nor is an
//   encrypted multipart; notFound says so when nothing else is there.
DataAttachment findDataAttachment(GMimeObject* body);

}  // namespace edi
