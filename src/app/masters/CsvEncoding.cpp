#include "app/masters/CsvEncoding.h"

#include "app/text/ShiftJis.h"
#include "app/text/ShiftJisDecoder.h"

#include <QStringDecoder>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

const QByteArray kUtf8Bom = QByteArrayLiteral("\xEF\xBB\xBF");

bool isValidUtf8(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    return !decoder.hasError();
}

// The line of the byte at offset, from 1.
int lineAt(QByteArrayView bytes, qsizetype offset)
{
    return int(bytes.first(offset).count('\n')) + 1;
}

// The first line that is no UTF-8; a line of UTF-8 ends in "\n", which no character's bytes hold.
int firstInvalidUtf8Line(QByteArrayView bytes)
{
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        end = end < 0 ? bytes.size() : end + 1;
        if (!isValidUtf8(bytes.sliced(start, end - start)))
            return lineAt(bytes, start);
        start = end;
    }
    return lineAt(bytes, bytes.size());
}

DecodedCsv decodeCp932(QByteArrayView bytes)
{
    ShiftJisDecoder decoder;
    QByteArray utf8;
    if (!decoder.decode(bytes, utf8))
        return {{}, lineAt(bytes, decoder.offset()), u"UTF-8 でも CP932 (Shift-JIS) でもないバイトがあります"_s};
    if (decoder.isInsideCharacter())
        return {{}, lineAt(bytes, bytes.size()), u"ファイルが文字の途中で終わっています"_s};
    return {QString::fromUtf8(utf8), 0, {}};
}

}  // namespace

std::optional<CsvEncoding> csvEncodingNamed(const QString& name)
{
    if (name.compare(u"utf-8"_s, Qt::CaseInsensitive) == 0)
        return CsvEncoding::Utf8;
    if (name.compare(u"cp932"_s, Qt::CaseInsensitive) == 0)
        return CsvEncoding::Cp932;
    return std::nullopt;
}

DecodedCsv decodeCsvBytes(const QByteArray& bytes)
{
    if (bytes.startsWith(kUtf8Bom)) {
        const QByteArrayView text = QByteArrayView(bytes).sliced(kUtf8Bom.size());
        if (!isValidUtf8(text))
            return {{}, firstInvalidUtf8Line(text), u"UTF-8 の印 (BOM) があるのに UTF-8 でないバイトがあります"_s};
        return {QString::fromUtf8(text), 0, {}};
    }
    if (isValidUtf8(bytes))
        return {QString::fromUtf8(bytes), 0, {}};
    return decodeCp932(bytes);
}

QByteArray encodeCsvText(const QString& text, CsvEncoding encoding)
{
    if (encoding == CsvEncoding::Cp932)
        return threadShiftJis().encode(text);
    return kUtf8Bom + text.toUtf8();
}

}  // namespace edi
