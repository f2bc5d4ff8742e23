#include "transport/mail/MimeAttachment.h"

#include "transport/mail/Base64Decoder.h"
#include "transport/mail/DataAttachment.h"
#include "transport/mail/MailStore.h"
#include "transport/mail/MimeSizeCheck.h"

#include <QFile>
#include <QStringList>
#include <fcntl.h>
#include <gmime/gmime.h>
#include <mutex>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

void initialiseGMime()
{
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

// Owns one reference of a GObject.
template <typename T>
struct Ref {
    T* object = nullptr;
    explicit Ref(T* o = nullptr) : object(o) {}
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    ~Ref()
    {
        if (object)
            g_object_unref(object);
    }
    T* get() const { return object; }
};

// Parser options with the charsets raw 8-bit header text is tried in.
struct ParserOptions {
    GMimeParserOptions* options = g_mime_parser_options_new();
    ParserOptions()
    {
        static const char* fallbacks[] = {"UTF-8", "CP932", "ISO-2022-JP", "EUC-JP", nullptr};
        g_mime_parser_options_set_fallback_charsets(options, fallbacks);
    }
    ~ParserOptions() { g_mime_parser_options_free(options); }
};

// The parser's findings that leave a message's structure open: no parts where a multipart should
// have them, two Content- headers that disagree, a multipart without its boundary, nesting too
// deep to follow. What mail programs read through (a missing closing boundary, a part header
// without its blank line, a parameter given twice, a header name with a blank, a folded line
// without indentation) is read through too; a message that ends in the middle of a line,
// though, was cut off.
struct Problems {
    QString first;
    bool truncated = false;  // the message ended inside an open multipart

    static void warn(gint64 offset, GMimeParserWarning code, const gchar* item, gpointer user)
    {
        auto* problems = static_cast<Problems*>(user);
        const char* what = nullptr;
        switch (code) {
        case GMIME_WARN_MALFORMED_MULTIPART: what = "multipart without parts"; break;
        case GMIME_WARN_TRUNCATED_MESSAGE: problems->truncated = true; return;
        case GMIME_CRIT_CONFLICTING_HEADER:
            // Two different Content-Type headers leave the structure open; two subjects do not.
            if (!item || g_ascii_strncasecmp(item, "Content-", 8) != 0)
                return;
            what = "conflicting header";
            break;
        case GMIME_CRIT_MULTIPART_WITHOUT_BOUNDARY: what = "multipart without boundary"; break;
        case GMIME_CRIT_NESTING_OVERFLOW: what = "nesting too deep"; break;
        default: return;
        }
        if (problems->first.isEmpty()) {
            problems->first = QString::fromLatin1(what) + u" at "_s + QString::number(offset);
            if (item)
                problems->first += u" ("_s + QString::fromUtf8(item).left(80) + u')';
        }
    }
};

// Whether the file's last byte ends a line: a message that stops elsewhere was cut off.
bool endsWithLineEnd(int descriptor)
{
    struct stat file {};
    char last = 0;
    return ::fstat(descriptor, &file) == 0 && file.st_size > 0 && ::pread(descriptor, &last, 1, file.st_size - 1) == 1
        && last == '\n';
}

// The addresses of every mailbox in the list, groups opened.
void addMailboxes(InternetAddressList* list, QStringList& addresses)
{
    if (!list)
        return;
    for (int i = 0; i < internet_address_list_length(list); ++i) {
        InternetAddress* address = internet_address_list_get_address(list, i);
        if (INTERNET_ADDRESS_IS_MAILBOX(address))
            addresses << QString::fromUtf8(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address)));
        else if (INTERNET_ADDRESS_IS_GROUP(address))
            addMailboxes(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address)), addresses);
    }
}

QString firstMailbox(InternetAddressList* list)
{
    if (!list)
        return {};
    for (int i = 0; i < internet_address_list_length(list); ++i) {
        InternetAddress* address = internet_address_list_get_address(list, i);
        if (INTERNET_ADDRESS_IS_MAILBOX(address))
            return QString::fromUtf8(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address)));
        if (INTERNET_ADDRESS_IS_GROUP(address)) {
            const QString member = firstMailbox(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address)));
            if (!member.isEmpty())
                return member;
        }
    }
    return {};
}

QString attachmentName(GMimeObject* object)
{
    if (GMIME_IS_PART(object))
        if (const char* name = g_mime_part_get_filename(GMIME_PART(object)))
            return QString::fromUtf8(name);
    return {};
}

enum class Copy { Done, WriteFailed, Cut };

// A base64 content through the decoder mail programs use: GMime's own drops a last quantum whose
// "=" padding is missing, and the file would come out short.
Copy copyBase64(GMimeStream* encoded, GMimeStream* target)
{
    g_mime_stream_reset(encoded);
    Base64Decoder decoder;
    constexpr qsizetype kChunk = 64 * 1024;
    char buffer[kChunk];
    std::vector<char> decoded(size_t(Base64Decoder::decodedSize(kChunk)));
    auto write = [&](qsizetype bytes) {
        return bytes == 0 || g_mime_stream_write(target, decoded.data(), size_t(bytes)) == bytes;
    };
    while (!g_mime_stream_eos(encoded)) {
        const ssize_t got = g_mime_stream_read(encoded, buffer, sizeof buffer);
        if (got < 0)
            return Copy::Cut;
        if (!write(decoder.decode(QByteArrayView(buffer, got), decoded.data())))
            return Copy::WriteFailed;
    }
    const qsizetype last = decoder.finish(decoded.data());
    if (last < 0)
        return Copy::Cut;
    return write(last) ? Copy::Done : Copy::WriteFailed;
}

// The attachment's content, decoded, into the target stream.
Copy copyContent(GMimeObject* attachment, GMimeStream* target)
{
    GMimeDataWrapper* content = GMIME_IS_PART(attachment) ? g_mime_part_get_content(GMIME_PART(attachment)) : nullptr;
    if (!content)
        return Copy::Done;
    if (g_mime_data_wrapper_get_encoding(content) == GMIME_CONTENT_ENCODING_BASE64)
        return copyBase64(g_mime_data_wrapper_get_stream(content), target);
    return g_mime_data_wrapper_write_to_stream(content, target) < 0 ? Copy::WriteFailed : Copy::Done;
}

// The attachment's content, decoded, as the whole of the target file.
Copy copyContent(GMimeObject* attachment, QFile& target)
{
    if (!target.resize(0) || !target.seek(0))
        return Copy::WriteFailed;
    const int output = ::dup(target.handle());
    if (output < 0)
        return Copy::WriteFailed;
    Ref<GMimeStream> fileStream(g_mime_stream_fs_new(output));
    Ref<GMimeStream> buffered(g_mime_stream_buffer_new(fileStream.get(), GMIME_STREAM_BUFFER_BLOCK_WRITE));
    const Copy copied = copyContent(attachment, buffered.get());
    if (copied == Copy::Done && g_mime_stream_flush(buffered.get()) != 0)
        return Copy::WriteFailed;
    return copied;
}

// The part, as the store fetched it apart, as the whole of the target file.
Copy copyFetchedPart(const UnencodedPartSource& source, const QByteArray& section, QFile& target)
{
    if (!target.resize(0) || !target.seek(0))
        return Copy::WriteFailed;
    source.fetch(section, target);
    return target.flush() ? Copy::Done : Copy::WriteFailed;
}

// A part sent without transfer encoding, its bytes as they are: what a server may change when
// it sends the message as text.
bool isSentUnencoded(GMimeObject* part)
{
    if (!GMIME_IS_PART(part))
        return false;
    const GMimeContentEncoding encoding = g_mime_part_get_content_encoding(GMIME_PART(part));
    return encoding == GMIME_CONTENT_ENCODING_8BIT || encoding == GMIME_CONTENT_ENCODING_BINARY;
}

}  // namespace

HeaderFields readHeaderFields(const QByteArray& header)
{
    initialiseGMime();
    HeaderFields fields;
    QByteArray block = header;
    if (!block.endsWith("\n\n") && !block.endsWith("\n\r\n"))
        block += "\r\n\r\n";  // so the parser sees where the header ends
    Ref<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(block.constData(), size_t(block.size())));
    Ref<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    ParserOptions options;
    Ref<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), options.options));
    if (!message.get())
        return fields;
    fields.parsed = true;
    fields.firstRecipient = firstMailbox(g_mime_message_get_to(message.get()));
    if (fields.firstRecipient.isEmpty())
        fields.firstRecipient = firstMailbox(g_mime_message_get_cc(message.get()));
    addMailboxes(g_mime_message_get_to(message.get()), fields.recipients);
    addMailboxes(g_mime_message_get_cc(message.get()), fields.recipients);
    if (InternetAddressList* from = g_mime_message_get_from(message.get())) {
        char* text = internet_address_list_to_string(from, nullptr, FALSE);
        fields.sender = QString::fromUtf8(text);
        g_free(text);
    }
    if (const char* subject = g_mime_message_get_subject(message.get()))
        fields.subject = QString::fromUtf8(subject);
    if (const char* id = g_mime_message_get_message_id(message.get()))
        fields.messageId = QString::fromUtf8(id);
    if (const char* date = g_mime_object_get_header(GMIME_OBJECT(message.get()), "Date"))
        fields.date = QString::fromUtf8(date).trimmed();
    return fields;
}

QString HeaderFields::described() const
{
    QStringList parts;
    if (!date.isEmpty())
        parts << u"日付 "_s + date;
    if (!sender.isEmpty())
        parts << u"差出人 "_s + sender;
    parts << u"件名 「"_s + subject + u"」"_s;
    parts << (messageId.isEmpty() ? u"Message-ID なし"_s : u"Message-ID <"_s + messageId + u'>');
    return parts.join(u' ');
}

bool sameAddress(const QString& recipient, const QString& partner)
{
    const QString a = recipient.trimmed();
    const QString b = partner.trimmed();
    const qsizetype atA = a.lastIndexOf(u'@');
    const qsizetype atB = b.lastIndexOf(u'@');
    if (atA < 0 || atB < 0)
        return !a.isEmpty() && a == b;
    return a.left(atA) == b.left(atB) && a.mid(atA).compare(b.mid(atB), Qt::CaseInsensitive) == 0;
}

namespace {

// The first of the attachments whose content is of the form, into the target; the others are
// written there in turn and passed over.
SavedAttachment firstOfForm(const AttachmentList& listed, DataForm form, const UnencodedPartSource& unencoded, QFile& target)
{
    SavedAttachment saved;
    for (const ListedAttachment& attachment : listed.attachments) {
        const bool sentUnencoded = isSentUnencoded(attachment.part);
        const bool fetchedApart = sentUnencoded && unencoded.parts == UnencodedParts::FetchedApart;
        const Copy copied = fetchedApart ? copyFetchedPart(unencoded, attachment.section, target) : copyContent(attachment.part, target);
        if (copied == Copy::Cut) {
            saved.outcome = AttachmentOutcome::Broken;
            saved.detail = u"the attachment's base64 is cut off"_s;
            return saved;
        }
        if (copied == Copy::WriteFailed) {
            saved.outcome = AttachmentOutcome::WriteFailed;
            return saved;
        }
        if (!holdsDataForm(target, form)) {
            saved.seen << describedAttachment(attachment.part);
            continue;
        }
        saved.fileName = attachmentName(attachment.part);
        saved.outcome = sentUnencoded && unencoded.parts == UnencodedParts::Changed ? AttachmentOutcome::Changed
                                                                                   : AttachmentOutcome::Saved;
        return saved;
    }
    saved.outcome = AttachmentOutcome::NoAttachment;
    saved.detail = listed.notFound;
    return saved;
}

// saveDataAttachment, whatever it leaves in the target.
SavedAttachment findAndSaveDataAttachment(const QString& messagePath, DataForm form, const UnencodedPartSource& unencoded,
                                          QFile& target)
{
    SavedAttachment saved;
    // The parser keeps header blocks, preambles, epilogues and every part in memory: a message
    // whose pieces outgrow what any mail program writes is broken rather than read.
    if (const QString problem = mimeMemoryProblem(messagePath, kMaxHeaderBytes); !problem.isEmpty()) {
        saved.outcome = AttachmentOutcome::Broken;
        saved.detail = problem;
        return saved;
    }
    const int input = ::open(QFile::encodeName(messagePath).constData(), O_RDONLY | O_CLOEXEC);
    if (input < 0)
        return saved;
    // The parser keeps the parts as ranges of the file instead of copying their content.
    Ref<GMimeStream> stream(g_mime_stream_fs_new(input));
    Ref<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    g_mime_parser_set_persist_stream(parser.get(), TRUE);
    ParserOptions options;
    Problems problems;
    g_mime_parser_options_set_warning_callback(options.options, &Problems::warn, &problems);
    Ref<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), options.options));
    if (problems.first.isEmpty() && problems.truncated && !endsWithLineEnd(input))
        problems.first = u"cut off in the middle of a line"_s;
    if (!message.get() || !problems.first.isEmpty()) {
        saved.outcome = AttachmentOutcome::Broken;
        saved.detail = message.get() ? problems.first : u"no message"_s;
        return saved;
    }

    return firstOfForm(listAttachments(message.get()), form, unencoded, target);
}

}  // namespace

SavedAttachment saveDataAttachment(const QString& messagePath, DataForm form, const UnencodedPartSource& unencoded,
                                   QFile& target)
{
    initialiseGMime();
    const SavedAttachment saved = findAndSaveDataAttachment(messagePath, form, unencoded, target);
    // What was passed over is no content of the file.
    if (saved.outcome != AttachmentOutcome::Saved)
        target.resize(0);
    return saved;
}

}  // namespace edi
