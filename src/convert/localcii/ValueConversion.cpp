#include "convert/localcii/ValueConversion.h"

#include "app/config/ConfigNumber.h"
#include "app/text/ShiftJis.h"

#include <algorithm>
#include <cstring>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

constexpr std::string_view kFullWidthSpace = "\x81\x40";

bool isDigit(char c) { return c >= '0' && c <= '9'; }

qint32 halfToEven(qint32 value)
{
    const qint32 half = value / 2;
    return (value % 2 != 0 && half % 2 != 0) ? half + 1 : half;
}

void padLeft(std::string& text, qint32 width, char fill)
{
    if (qint32(text.size()) < width)
        text.insert(0, size_t(width) - text.size(), fill);
}

// The whole-number part of a decimal text, rounded towards minus infinity, formatted in `width`
// characters with leading zeros, the sign of a negative number taking the first of them. False
// when the text is no number.
bool formatIntegerPart(std::string_view text, qint32 width, std::string& out)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    const size_t point = text.find('.');
    std::string_view whole = text.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    if (whole.empty() && fraction.empty())
        return false;
    if (!std::all_of(whole.begin(), whole.end(), isDigit) || !std::all_of(fraction.begin(), fraction.end(), isDigit))
        return false;
    while (whole.size() > 1 && whole.front() == '0')
        whole.remove_prefix(1);
    const std::string_view digits = whole.empty() ? std::string_view("0") : whole;
    // -12.5 becomes -13: a negative number with a fraction goes one up in its whole part.
    const bool roundDown = negative && std::any_of(fraction.begin(), fraction.end(), [](char c) { return c != '0'; });
    const bool allNines = std::all_of(digits.begin(), digits.end(), [](char c) { return c == '9'; });
    const size_t count = digits.size() + (roundDown && allNines ? 1 : 0);
    negative = negative && (roundDown || digits != "0");
    const qint32 target = negative ? width - 1 : width;
    out.clear();
    if (negative)
        out += '-';
    if (target > qint32(count))
        out.append(size_t(target) - count, '0');
    if (roundDown && allNines) {
        out += '1';
        out.append(digits.size(), '0');
        return true;
    }
    out += digits;
    if (roundDown) {
        size_t i = out.size();
        while (out[i - 1] == '9')
            out[--i] = '0';
        ++out[i - 1];
    }
    return true;
}

// The CII value of a numeric item as text: zeros in front up to the item's length, and its
// decimal point before the last `decimals` digits.
void numericText(QByteArrayView value, const LayoutItem& cii, std::string& out)
{
    const size_t size = size_t(value.size());
    const size_t total = std::max(size, size_t(std::max(cii.length, 0)));
    const size_t zeros = total - size;
    out.assign(total, '0');
    std::memcpy(out.data() + zeros, value.data(), size);
    if (cii.decimals > 0)
        out.insert(total - std::min(total, size_t(cii.decimals)), 1, '.');
}

// What numericText and formatIntegerPart give together for a value of digits alone, the common
// case, without the text in between: the digits before the item's decimals, leading zeros
// removed ("0" for none), zeros in front up to width. False for any other value.
bool wholeDigits(QByteArrayView value, const LayoutItem& cii, qint32 width, std::string& out)
{
    if (value.isEmpty() || !std::all_of(value.begin(), value.end(), isDigit))
        return false;
    const qsizetype decimals = std::min<qsizetype>(std::max(cii.decimals, 0), value.size());
    QByteArrayView whole = value.first(value.size() - decimals);
    while (!whole.isEmpty() && whole.front() == '0')
        whole = whole.sliced(1);
    if (whole.isEmpty())
        whole = "0";
    out.clear();
    if (width > whole.size())
        out.append(size_t(width - whole.size()), '0');
    out.append(whole.data(), size_t(whole.size()));
    return true;
}

// "20" or "19" in front of a six-character date by its year part.
void completeCentury(std::string& date)
{
    if (date.size() != 6 || !isDigit(date[0]) || !isDigit(date[1]))
        return;
    const int year = (date[0] - '0') * 10 + (date[1] - '0');
    date.insert(0, year <= 50 ? "20" : "19");
}

std::string_view view(QByteArrayView bytes) { return {bytes.data(), size_t(bytes.size())}; }

// A lead byte without its second byte at the text's end becomes a space: it would pair with the
// padding or the next field into a character that is not in the data, as half a character at the
// end of a field would.
void blankLoneLeadByte(std::string& text)
{
    if (endsInLoneLeadByte(QByteArrayView(text.data(), qsizetype(text.size()))))
        text.back() = ' ';
}

}  // namespace

LocalConversion localConversionFor(const LayoutItem& cii, const LayoutItem& local)
{
    const QString pair = cii.attribute + local.attribute;
    if (pair == u"99" || pair == u"9N")
        return LocalConversion::Numeric;
    if (pair == u"N9" || pair == u"NN")
        return LocalConversion::SignedNumeric;
    if (pair == u"Y9" || pair == u"YY" || pair == u"9Y")
        return LocalConversion::Date;
    if (pair == u"XX")
        return LocalConversion::Text;
    if (pair == u"KK")
        return LocalConversion::DoubleByte;
    return LocalConversion::Unsupported;
}

LocalValueStatus convertCiiToLocal(LocalConversion conversion, QByteArrayView value,
                                   const LayoutItem& cii, const LayoutItem& local, char doubleByteCode,
                                   std::string& out)
{
    if (conversion != LocalConversion::Numeric)
        out.assign(value.data(), size_t(value.size()));
    switch (conversion) {
    case LocalConversion::Numeric: {
        if (local.decimals != 0) {
            numericText(value, cii, out);
            return LocalValueStatus::Converted;
        }
        if (wholeDigits(value, cii, local.length, out))
            return LocalValueStatus::Converted;
        thread_local std::string text;  // kept from value to value: no allocation per value
        numericText(value, cii, text);
        return formatIntegerPart(text, local.length, out) ? LocalValueStatus::Converted : LocalValueStatus::NotNumeric;
    }
    case LocalConversion::SignedNumeric:
        return formatIntegerPart(view(value), local.length, out) ? LocalValueStatus::Converted
                                                                 : LocalValueStatus::NotNumeric;
    case LocalConversion::Date:
        padLeft(out, cii.length, '0');
        completeCentury(out);
        if (qint32(out.size()) > local.length)
            out.erase(0, out.size() - size_t(local.length));
        return LocalValueStatus::Converted;
    case LocalConversion::Text:
        blankLoneLeadByte(out);
        if (qint32(out.size()) < local.length)
            out.append(size_t(local.length) - out.size(), ' ');
        return LocalValueStatus::Converted;
    case LocalConversion::DoubleByte: {
        if (doubleByteCode == 'S' || doubleByteCode == 'U') {  // otherwise the bytes are Shift-JIS already
            const QByteArray text = convertDoubleByte(value, doubleByteCode, 'M');
            out.assign(text.constData(), size_t(text.size()));
        }
        blankLoneLeadByte(out);
        const qint32 spaces = halfToEven(local.length - qint32(out.size()));
        if (spaces > 0) {
            const size_t start = out.size();
            out.resize(start + 2 * size_t(spaces));
            for (size_t at = start; at < out.size(); at += 2)
                std::memcpy(out.data() + at, kFullWidthSpace.data(), 2);
        }
        return LocalValueStatus::Converted;
    }
    case LocalConversion::Unsupported:
        break;
    }
    out.clear();
    return LocalValueStatus::UnsupportedPair;
}

QString decodeSingleByte(QByteArrayView bytes)
{
    return threadShiftJis().decode(bytes);
}

void convertCiiValueToText(QByteArrayView value, const LayoutItem& cii, char doubleByteCode, QChar characterMode,
                           QByteArray& out)
{
    out.clear();
    const QString& attribute = cii.attribute;
    if (attribute == u"9" || attribute == u"X" || attribute == u"N") {
        threadShiftJis().decodeToUtf8(value, out);
    } else if (attribute == u"Y") {
        QString date = decodeSingleByte(value);
        if (date.size() < 6)
            date = date.rightJustified(6, u'0');
        if (date.size() == 6)
            date.prepend(leadingConfigNumber(QStringView(date).left(2)) <= 50 ? u"20"_s : u"19"_s);
        out = date.toUtf8();
    } else if (attribute == u"B") {
        for (char byte : value)
            out += QByteArray::number(uchar(byte), 16).toUpper();
    } else if (attribute == u"K") {
        if (characterMode == u'S')
            out = QString::fromLatin1(convertDoubleByte(value, doubleByteCode, 'S')).toUtf8();
        else
            threadShiftJis().decodeToUtf8(convertDoubleByte(value, doubleByteCode, 'M'), out);
    }
}

QByteArray jisToShiftJis(QByteArrayView bytes)
{
    QByteArray out;
    out.reserve(qsizetype(bytes.size()));
    qsizetype i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        int first = uchar(bytes[i]);
        int second = uchar(bytes[i + 1]);
        if (first < 0x21 || first > 0x7E || second < 0x21 || second > 0x7E) {
            out += bytes[i];
            out += bytes[i + 1];
            continue;
        }
        second += (first % 2 != 0) ? 31 : 125;
        if (second > 126)
            ++second;
        first = (first - 33) / 2 + 129;
        if (first >= 160)
            first += 64;
        out += char(first);
        out += char(second);
    }
    if (i < bytes.size())
        out += bytes[i];
    return out;
}

QByteArray shiftJisToJis(QByteArrayView bytes)
{
    QByteArray out;
    out.reserve(qsizetype(bytes.size()));
    qsizetype i = 0;
    while (i < bytes.size()) {
        const int first = uchar(bytes[i]);
        const int second = i + 1 < bytes.size() ? uchar(bytes[i + 1]) : -1;
        const bool convertible = ((first >= 0x81 && first <= 0x9F) || (first >= 0xE0 && first <= 0xEF))
                              && second >= 0x40 && second <= 0xFC && second != 0x7F;
        if (!convertible) {
            const qsizetype width = isShiftJisLeadByte(uchar(first)) && second >= 0 ? 2 : 1;
            out.append(bytes.data() + i, width);
            i += width;
            continue;
        }
        int row = ((first >= 0xE0 ? first - 0x40 : first) - 0x81) * 2 + 0x21;
        int cell;
        if (second >= 0x9F) {
            ++row;
            cell = second - 0x7E;
        } else {
            cell = second - 0x1F - (second >= 0x80 ? 1 : 0);
        }
        out += char(row);
        out += char(cell);
        i += 2;
    }
    return out;
}

QByteArray convertDoubleByte(QByteArrayView bytes, char from, char to)
{
    QByteArray shiftJis;
    if (from == 'S') {
        shiftJis = jisToShiftJis(bytes);
    } else if (from == 'U') {
        QString text;
        for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
            text += QChar(char16_t(uchar(bytes[i]) << 8 | uchar(bytes[i + 1])));
        shiftJis = threadShiftJis().encode(text);
    } else {
        shiftJis = bytes.toByteArray();
    }
    if (to == 'S')
        return shiftJisToJis(shiftJis);
    if (to == 'U') {
        const QString text = threadShiftJis().decode(shiftJis);
        QByteArray utf16;
        for (QChar c : text) {
            utf16 += char(c.unicode() >> 8);
            utf16 += char(c.unicode() & 0xFF);
        }
        return utf16;
    }
    return shiftJis;
}

QString convertDoubleByteToText(QByteArrayView bytes, char from)
{
    const QByteArray shiftJis = convertDoubleByte(bytes, from, 'M');
    return threadShiftJis().decode(shiftJis);
}

}  // namespace edi
