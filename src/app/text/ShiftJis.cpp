#include "app/text/ShiftJis.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <stdexcept>

namespace edi {
namespace {

// glibc's CP932 keeps 0x5C as the backslash and round-trips the vendor extensions;
// its "SHIFT_JIS" is the strict JIS table and would turn paths into yen signs.
constexpr const char* kShiftJis = "CP932";
constexpr const char* kUtf16 = (Q_BYTE_ORDER == Q_LITTLE_ENDIAN) ? "UTF-16LE" : "UTF-16BE";

iconv_t openConverter(const char* to, const char* from)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw std::runtime_error("iconv: CP932 conversion is not available");
    return cd;
}

iconv_t handle(void* p) { return static_cast<iconv_t>(p); }

// What replaces input the converter cannot take, and how many input bytes that input spans.
struct Replacement {
    QByteArrayView bytes;
    size_t (*span)(const char* in, size_t left);
};

size_t oneByte(const char*, size_t) { return 1; }

size_t utf16Unit(const char* in, size_t left)
{
    char16_t unit;
    std::memcpy(&unit, in, 2);
    return QChar::isHighSurrogate(unit) && left >= 4 ? 4 : 2;
}

size_t utf8Sequence(const char* in, size_t left)
{
    const uchar lead = uchar(*in);
    return std::min<size_t>(lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1, left);
}

// Converts all of in and appends it to out, replacing what cannot be converted.
void convert(void* converter, QByteArrayView in, QByteArray& out, const Replacement& replacement)
{
    iconv_t cd = handle(converter);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    auto* source = const_cast<char*>(in.data());
    size_t sourceLeft = size_t(in.size());
    qsizetype used = out.size();
    out.resize(used + in.size() * 2 + 8);
    while (sourceLeft > 0) {
        char* target = out.data() + used;
        size_t targetLeft = size_t(out.size() - used);
        const size_t status = iconv(cd, &source, &sourceLeft, &target, &targetLeft);
        used = target - out.constData();
        if (status != size_t(-1))
            break;
        if (errno != E2BIG) {  // EILSEQ or EINVAL: input it cannot take
            const size_t skip = replacement.span(source, sourceLeft);
            source += skip;
            sourceLeft -= skip;
            if (out.size() - used < replacement.bytes.size())
                out.resize(used + replacement.bytes.size());
            std::memcpy(out.data() + used, replacement.bytes.data(), size_t(replacement.bytes.size()));
            used += replacement.bytes.size();
        }
        if (out.size() - used < qsizetype(sourceLeft) * 2 + 8)
            out.resize(used + qsizetype(sourceLeft) * 2 + 8);
    }
    out.resize(used);
}

constexpr char16_t kReplacementCharacter = u'\uFFFD';

// ASCII reads the same in UTF-8 and in the code page, backslash and tilde included.
bool isAscii(QByteArrayView bytes)
{
    uchar seen = 0;  // no early exit: the loop vectorises
    for (char c : bytes)
        seen |= uchar(c);
    return seen < 0x80;
}

}  // namespace

ShiftJisCodec::ShiftJisCodec()
    : toShiftJis_(openConverter(kShiftJis, kUtf16))
    , fromShiftJis_(openConverter(kUtf16, kShiftJis))
    , shiftJisToUtf8_(openConverter("UTF-8", kShiftJis))
    , utf8ToShiftJis_(openConverter(kShiftJis, "UTF-8"))
{
}

ShiftJisCodec::~ShiftJisCodec()
{
    iconv_close(handle(toShiftJis_));
    iconv_close(handle(fromShiftJis_));
    iconv_close(handle(shiftJisToUtf8_));
    iconv_close(handle(utf8ToShiftJis_));
}

QByteArray ShiftJisCodec::encode(QStringView text)
{
    QByteArray out;
    encodeInto(text, out);
    return out;
}

void ShiftJisCodec::encodeInto(QStringView text, QByteArray& out)
{
    const QByteArrayView units(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    convert(toShiftJis_, units, out, {"?", utf16Unit});
}

void ShiftJisCodec::encodeUtf8Into(QByteArrayView utf8, QByteArray& out)
{
    if (isAscii(utf8))
        out += utf8;
    else
        convert(utf8ToShiftJis_, utf8, out, {"?", utf8Sequence});
}

QString ShiftJisCodec::decode(QByteArrayView bytes)
{
    QString out;
    decodeInto(bytes, out);
    return out;
}

void ShiftJisCodec::decodeInto(QByteArrayView bytes, QString& out)
{
    QByteArray units;
    const QByteArrayView replacement(reinterpret_cast<const char*>(&kReplacementCharacter), 2);
    convert(fromShiftJis_, bytes, units, {replacement, oneByte});
    out.append(QStringView(reinterpret_cast<const char16_t*>(units.constData()), units.size() / 2));
}

void ShiftJisCodec::decodeToUtf8(QByteArrayView bytes, QByteArray& out)
{
    if (isAscii(bytes))
        out += bytes;
    else
        convert(shiftJisToUtf8_, bytes, out, {"\xEF\xBF\xBD", oneByte});
}

qsizetype ShiftJisCodec::byteLength(QStringView text)
{
    // ASCII is the common case and needs no conversion.
    qsizetype length = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].unicode() >= 0x80)
            return length + encode(text.mid(i)).size();
        ++length;
    }
    return length;
}

bool ShiftJisCodec::isRepresentable(QStringView text)
{
    return decode(encode(text)) == text;
}

bool endsInLoneLeadByte(QByteArrayView bytes)
{
    if (bytes.isEmpty() || !isShiftJisLeadByte(uchar(bytes.back())))
        return false;  // the common case, told without walking the characters
    qsizetype at = 0;
    while (at < bytes.size() - 1)
        at += isShiftJisLeadByte(uchar(bytes[at])) ? 2 : 1;
    return at == bytes.size() - 1;
}

ShiftJisCodec& threadShiftJis()
{
    thread_local ShiftJisCodec codec;
    return codec;
}

}  // namespace edi
