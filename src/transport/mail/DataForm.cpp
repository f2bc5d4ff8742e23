#include "transport/mail/DataForm.h"

#include "convert/localcii/MessageGroupHeader.h"
#include "transport/TransferCodes.h"

#include <QIODevice>
#include <cctype>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

// Bytes read to tell the form: a CII header block, or enough of an XML document's start.
constexpr qint64 kHeadBytes = 2 + FixedRecord::kSize;

bool holdsCii(const QByteArray& head)
{
    return head.size() >= kHeadBytes && head.startsWith("0C");
}

// The head as single bytes: a UTF-16 document's ASCII characters without their zero halves, a
// UTF-8 one without its byte order mark.
QByteArray asSingleBytes(const QByteArray& head)
{
    const bool littleEndian = head.startsWith("\xff\xfe");
    if (!littleEndian && !head.startsWith("\xfe\xff"))
        return head.startsWith("\xef\xbb\xbf") ? head.mid(3) : head;
    QByteArray narrow;
    for (qsizetype at = littleEndian ? 2 : 3; at < head.size(); at += 2)
        narrow += head[at];
    return narrow;
}

bool holdsXml(const QByteArray& head)
{
    const QByteArray text = asSingleBytes(head).trimmed();
    if (text.size() < 2 || text[0] != '<')
        return false;
    const QByteArray start = text.mid(1, 14).toLower();
    if (start.startsWith("html") || start.startsWith("!doctype html"))
        return false;
    const char next = text[1];
    return next == '?' || next == '!' || next == '_' || next == ':' || std::isalpha(uchar(next)) || uchar(next) >= 0x80;
}

}  // namespace

std::optional<DataForm> dataFormOf(const QString& dataFormat)
{
    const QString extension = receivedFileExtension(dataFormat);
    if (extension == u"CII"_s)
        return DataForm::Cii;
    if (extension == u"XML"_s)
        return DataForm::Xml;
    return std::nullopt;
}

QString dataFormName(DataForm form)
{
    return form == DataForm::Cii ? u"CII 形式"_s : u"XML 文書"_s;
}

bool holdsDataForm(QIODevice& device, DataForm form)
{
    if (!device.seek(0))
        return false;
    const QByteArray head = device.read(kHeadBytes);
    device.seek(0);
    return form == DataForm::Cii ? holdsCii(head) : holdsXml(head);
}

}  // namespace edi
