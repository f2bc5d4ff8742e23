#include "app/text/ShiftJis.h"

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <iconv.h>
#include <stdexcept>

namespace edi {
namespace {

// glibc's CP932 keeps 0x5C as the backslash and round-trips the vendor extensions;
// its "SHIFT_JIS" is the strict JIS table and would turn paths into yen signs.
constexpr const char* kShiftJis = "CP932";
constexpr const char* kUtf16 = (Q_BYTE_ORDER == Q_LITTLE_ENDIAN) ? "UTF-16LE" : "UTF-16BE";
constexpr char16_t kReplacement = u'\uFFFD';

iconv_t openConverter(const char* to, const char* from)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw std::runtime_error("iconv: CP932 conversion is not available");
    return cd;
}

iconv_t handle(void* p) { return static_cast<iconv_t>(p); }

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
    iconv_t cd = handle(toShiftJis_);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    auto* in = const_cast<char*>(reinterpret_cast<const char*>(text.utf16()));
    size_t inLeft = size_t(text.size()) * 2;
    const qsizetype start = out.size();
    out.resize(start + text.size() * 2 + 4);
    char* dst = out.data() + start;
    size_t dstLeft = size_t(text.size()) * 2 + 4;
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &dst, &dstLeft) != size_t(-1))
            break;
        if (errno == E2BIG) {  // cannot happen: two bytes per UTF-16 unit is the most CP932 needs
            break;
        }
        // EILSEQ / EINVAL: an unmappable character or a lone surrogate.
        const char16_t unit = *reinterpret_cast<const char16_t*>(in);
        const size_t skip = (QChar::isHighSurrogate(unit) && inLeft >= 4) ? 4 : 2;
        in += skip;
        inLeft -= skip;
        *dst++ = '?';
        --dstLeft;
    }
    out.resize(dst - out.constData());
}

QString ShiftJisCodec::decode(QByteArrayView bytes)
{
    QString out;
    decodeInto(bytes, out);
    return out;
}

void ShiftJisCodec::decodeInto(QByteArrayView bytes, QString& out)
{
    iconv_t cd = handle(fromShiftJis_);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    auto* in = const_cast<char*>(bytes.data());
    size_t inLeft = size_t(bytes.size());
    const qsizetype start = out.size();
    out.resize(start + bytes.size());  // one UTF-16 unit per byte at most
    auto* dst = reinterpret_cast<char*>(out.data() + start);
    size_t dstLeft = size_t(bytes.size()) * 2;
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &dst, &dstLeft) != size_t(-1))
            break;
        // EILSEQ or EINVAL: skip one byte (a lone lead byte at the end, or an undefined code).
        *reinterpret_cast<char16_t*>(dst) = kReplacement;
        dst += 2;
        dstLeft -= 2;
        ++in;
        --inLeft;
    }
    out.resize((reinterpret_cast<QChar*>(dst) - out.constData()));
}

void ShiftJisCodec::encodeUtf8Into(QByteArrayView utf8, QByteArray& out)
{
    iconv_t cd = handle(utf8ToShiftJis_);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    auto* in = const_cast<char*>(utf8.data());
    size_t inLeft = size_t(utf8.size());
    const qsizetype start = out.size();
    out.resize(start + utf8.size() + 1);  // no character grows: one byte stays one, two or more give two
    char* dst = out.data() + start;
    size_t dstLeft = size_t(utf8.size() + 1);
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &dst, &dstLeft) != size_t(-1))
            break;
        // An unmappable character or a broken sequence: skip its bytes and write '?'.
        const uchar lead = uchar(*in);
        size_t skip = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        skip = std::min(skip, inLeft);
        in += skip;
        inLeft -= skip;
        *dst++ = '?';
        --dstLeft;
    }
    out.resize(dst - out.constData());
}

void ShiftJisCodec::decodeToUtf8(QByteArrayView bytes, QByteArray& out)
{
    iconv_t cd = handle(shiftJisToUtf8_);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    auto* in = const_cast<char*>(bytes.data());
    size_t inLeft = size_t(bytes.size());
    const qsizetype start = out.size();
    out.resize(start + bytes.size() * 3 / 2 + 3);  // two bytes give at most three, one at most three
    char* dst = out.data() + start;
    size_t dstLeft = size_t(out.size() - start);
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &dst, &dstLeft) != size_t(-1))
            break;
        if (errno == E2BIG) {  // a run of single bytes above 0x7F: each takes three
            const qsizetype used = dst - out.constData();
            out.resize(out.size() + qsizetype(inLeft) * 3 + 3);
            dst = out.data() + used;
            dstLeft = size_t(out.size() - used);
            continue;
        }
        if (dstLeft < 3) {
            const qsizetype used = dst - out.constData();
            out.resize(out.size() + 3);
            dst = out.data() + used;
            dstLeft = size_t(out.size() - used);
        }
        std::memcpy(dst, "ï¿½", 3);
        dst += 3;
        dstLeft -= 3;
        ++in;
        --inLeft;
    }
    out.resize(dst - out.constData());
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

ShiftJisCodec& threadShiftJis()
{
    thread_local ShiftJisCodec codec;
    return codec;
}

}  // namespace edi
