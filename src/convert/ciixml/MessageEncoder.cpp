#include "convert/ciixml/MessageEncoder.h"

#include "app/text/ShiftJis.h"
#include "convert/localcii/CiiBlockWriter.h"
#include "convert/localcii/ValueConversion.h"

#include <cctype>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

// The leading number of a text in general number format, appended to out: no leading zeros, no
// trailing zeros of a fraction, a point only for a fractional value. Nothing for zero or no
// number at all.
void appendGeneralNumber(QByteArrayView text, QByteArray& out)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    const bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        ++i;
    auto digitsFrom = [&](qsizetype from) {
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i;
        return text.sliced(from, i - from);
    };
    QByteArrayView whole = digitsFrom(i);
    QByteArrayView fraction;
    if (i < text.size() && text[i] == '.') {
        ++i;
        fraction = digitsFrom(i);
    }
    while (!whole.isEmpty() && whole.front() == '0')
        whole = whole.sliced(1);
    while (!fraction.isEmpty() && fraction.back() == '0')
        fraction.chop(1);
    if (whole.isEmpty() && fraction.isEmpty())
        return;
    if (negative)
        out += '-';
    out += whole.isEmpty() ? QByteArrayView("0") : whole;
    if (!fraction.isEmpty())
        out.append('.').append(fraction);
}

// Dates are counted in characters; a date with double-byte characters is no number anyway.
void appendDate(QByteArrayView shiftJis, qint32 length, QByteArray& out)
{
    const bool singleBytes = std::none_of(shiftJis.begin(), shiftJis.end(), [](char c) { return isShiftJisLeadByte(uchar(c)); });
    if (!singleBytes)
        return appendGeneralNumber(shiftJis, out);
    QByteArray date = shiftJis.size() < 6 ? shiftJis.toByteArray().rightJustified(6, '0') : shiftJis.toByteArray();
    if (date.size() == 6 && std::isdigit(uchar(date[0])) && std::isdigit(uchar(date[1])))
        date.prepend(date.left(2).toInt() <= 50 ? "20" : "19");
    appendGeneralNumber(date.right(std::max(length, 0)), out);
}

int hexDigit(char c)
{
    const int value = QByteArrayView("0123456789ABCDEF").indexOf(char(std::toupper(uchar(c))));
    return value < 0 ? 0 : value;
}

}  // namespace

bool encodeXmlValue(QByteArrayView utf8Text, const LayoutItem& item, char doubleByteCode, QByteArray& out,
                    QByteArray& shiftJis)
{
    // The text as its Shift-JIS form reads back: characters the code page lacks are "?".
    ShiftJisCodec& codec = threadShiftJis();
    shiftJis.truncate(0);
    codec.encodeUtf8Into(utf8Text, shiftJis);
    out.truncate(0);
    switch (item.attribute.size() == 1 ? item.attribute.front().unicode() : 0) {
    case u'9':
    case u'N':
        appendGeneralNumber(shiftJis, out);
        break;
    case u'Y':
        appendDate(shiftJis, item.length, out);
        if (out == "20000000")
            return false;
        break;
    case u'B':
        for (qsizetype i = 0; i + 1 < shiftJis.size(); i += 2)
            out += char(hexDigit(shiftJis[i]) * 16 + hexDigit(shiftJis[i + 1]));
        return true;  // an empty value is written as a tag with length 0
    case u'K':
        out = convertDoubleByte(shiftJis, 'M', doubleByteCode);
        break;
    default:
        out += shiftJis;
    }
    return !out.isEmpty();
}

void MessageEncoder::begin(const Layout& layout, char doubleByteCode)
{
    layout_ = &layout;
    doubleByteCode_ = doubleByteCode;
    body_.truncate(0);
    twoByteSection_ = false;
}

void MessageEncoder::element(qint32 number, QByteArrayView utf8Text)
{
    if ((number >= 61440 && number <= 65535) || number > 524287 || number < 0)
        return;
    const qint32 index = layout_->firstWithItemNumber(number);
    if (index == 0)
        return;
    if (number > 239 && !twoByteSection_) {
        appendByte(char(0xF0));
        twoByteSection_ = true;
    }
    if (encodeXmlValue(utf8Text, layout_->item(index), doubleByteCode_, value_, shiftJis_))
        appendValue(number, value_);
}

void MessageEncoder::appendValue(qint32 number, const QByteArray& value)
{
    if (value.size() > kMaxValue)
        throw ValueTooLong{number, value.size()};
    makeRoom(value.size() + 6);  // a tag of up to three bytes and a length of up to three
    appendDataElement(body_, number, value, twoByteSection_);
}

void MessageEncoder::groupStart(qint32 number)
{
    // Only the two-byte section carries group numbers: a numbered group switches to it (the
    // switch byte is also written, and ignored by readers, when the section is already on).
    makeRoom(4);  // the switch byte and a group start of up to three bytes
    if (number != 0) {
        body_ += char(0xF0);
        twoByteSection_ = true;
    }
    appendGroupStart(body_, number, twoByteSection_);
}

}  // namespace edi
