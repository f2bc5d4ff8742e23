#include "transport/mail/DataAttachment.h"

#include <gmime/gmime.h>
#include <deque>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

bool isType(GMimeObject* object, const char* type, const char* subtype)
{
    GMimeContentType* content = g_mime_object_get_content_type(object);
    return content && g_mime_content_type_is_type(content, type, subtype);
}

bool isSignature(GMimeObject* part)
{
    return isType(part, "application", "pkcs7-signature") || isType(part, "application", "x-pkcs7-signature")
        || isType(part, "application", "pgp-signature");
}

// Why a part that looks like an attachment is no data of the partner's; empty when it is not
// such a part.
QString sealedOrPacked(GMimeObject* part)
{
    if (isType(part, "application", "pkcs7-mime") || isType(part, "application", "x-pkcs7-mime"))
        return u"S/MIME で封をされた添付ファイル (smime.p7m) しかありません"_s;
    if (isType(part, "application", "ms-tnef") || isType(part, "application", "vnd.ms-tnef"))
        return u"TNEF 形式の添付ファイル (winmail.dat) しかありません"_s;
    return {};
}

bool isAttachment(GMimeObject* object)
{
    // Mail programs list these without a name too: data of no particular kind, and an image no
    // HTML body shows (those it shows are passed over before).
    if (isType(object, "application", "octet-stream") || isType(object, "image", "*"))
        return true;
    if (GMIME_IS_PART(object))
        return g_mime_part_is_attachment(GMIME_PART(object)) || g_mime_part_get_filename(GMIME_PART(object));
    GMimeContentDisposition* disposition = g_mime_object_get_content_disposition(object);
    if (disposition && g_mime_content_disposition_is_attachment(disposition))
        return true;
    return g_mime_object_get_content_disposition_parameter(object, "filename")
        || g_mime_object_get_content_type_parameter(object, "name");
}

// A part the HTML body shows in its place: referenced from a multipart/related, or an inline
// image with a Content-ID.
bool shownInline(GMimeObject* part, bool inRelated)
{
    if (!g_mime_object_get_content_id(part))
        return false;
    if (inRelated)
        return true;
    GMimeContentDisposition* disposition = g_mime_object_get_content_disposition(part);
    const bool inline_ = !disposition || !g_mime_content_disposition_is_attachment(disposition);
    return inline_ && isType(part, "image", "*");
}

QByteArray subsection(const QByteArray& section, int number)
{
    return section.isEmpty() ? QByteArray::number(number) : section + '.' + QByteArray::number(number);
}

class Lister {
public:
    AttachmentList list(GMimeMessage* message)
    {
        walkMessage(message, {});
        // Forwarded messages come after the message's own attachments.
        while (!forwarded_.empty()) {
            const auto [inner, section] = forwarded_.front();
            forwarded_.pop_front();
            walkMessage(inner, section);
        }
        return found_;
    }

private:
    // A message's body: its parts numbered from 1 below the message's section; a body that is
    // no multipart is part 1.
    void walkMessage(GMimeMessage* message, const QByteArray& section)
    {
        GMimeObject* body = g_mime_message_get_mime_part(message);
        if (body && GMIME_IS_MULTIPART(body))
            walkMultipart(GMIME_MULTIPART(body), section);
        else
            walk(body, subsection(section, 1), false);
    }

    void walk(GMimeObject* object, const QByteArray& section, bool inRelated)
    {
        if (!object)
            return;
        if (GMIME_IS_MULTIPART(object)) {
            walkMultipart(GMIME_MULTIPART(object), section);
            return;
        }
        if (GMIME_IS_MESSAGE_PART(object)) {
            if (GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object)))
                forwarded_.emplace_back(inner, section);
            return;
        }
        if (isSignature(object) || shownInline(object, inRelated) || !isAttachment(object))
            return;
        if (const QString why = sealedOrPacked(object); !why.isEmpty()) {
            if (found_.notFound.isEmpty())
                found_.notFound = why;
            return;
        }
        found_.attachments.push_back({object, section});
    }

    void walkMultipart(GMimeMultipart* multipart, const QByteArray& section)
    {
        GMimeObject* object = GMIME_OBJECT(multipart);
        if (isType(object, "multipart", "encrypted")) {
            if (found_.notFound.isEmpty())
                found_.notFound = u"暗号化されたメールです"_s;
            return;
        }
        // Of a signed multipart only the content counts; the second part is its signature.
        const int count = isType(object, "multipart", "signed") ? std::min(1, g_mime_multipart_get_count(multipart))
                                                               : g_mime_multipart_get_count(multipart);
        const bool related = isType(object, "multipart", "related");
        for (int i = 0; i < count; ++i)
            walk(g_mime_multipart_get_part(multipart, i), subsection(section, i + 1), related);
    }

    AttachmentList found_;
    std::deque<std::pair<GMimeMessage*, QByteArray>> forwarded_;
};

}  // namespace

AttachmentList listAttachments(GMimeMessage* message)
{
    return Lister().list(message);
}

QString describedAttachment(GMimeObject* part)
{
    const char* name = GMIME_IS_PART(part) ? g_mime_part_get_filename(GMIME_PART(part)) : nullptr;
    QString described = name && *name ? QString::fromUtf8(name) : u"名前なし"_s;
    if (GMimeContentType* type = g_mime_object_get_content_type(part)) {
        char* mimeType = g_mime_content_type_get_mime_type(type);
        described += u" ("_s + QString::fromUtf8(mimeType) + u')';
        g_free(mimeType);
    }
    return described;
}

}  // namespace edi
