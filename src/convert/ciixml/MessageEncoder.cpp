#include "convert/ciixml/MessageEncoder.h"

#include "app/text/ShiftJis.h"
#include "convert/localcii/ValueConversion.h"

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

// The leading number of a text in general number format: no leading zeros, no trailing zeros
// of a fraction, a point only for a fractional value. Empty for zero or no number at all.
QString generalNumber(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ')
        ++i;
    const bool negative = i < text.size() && text[i] == u'-';
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        ++i;
    const qsizetype wholeStart = i;
    while (i < text.size() && text[i] >= u'0' && text[i] <= u'9')
        ++i;
    QStringView whole = text.mid(wholeStart, i - wholeStart);
    QStringView fraction;
    if (i < text.size() && text[i] == u'.') {
        const qsizetype fractionStart = ++i;
        while (i < text.size() && text[i] >= u'0' && text[i] <= u'9')
            ++i;
        fraction = text.mid(fractionStart, i - fractionStart);
    }
    while (!whole.isEmpty() && whole.front() == u'0')
        whole = whole.sliced(1);
    while (!fraction.isEmpty() && fraction.back() == u'0')
        fraction.chop(1);
    if (whole.isEmpty() && fraction.isEmpty())
        return {};
    QString result = negative ? u"-"_s : QString();
    result += whole.isEmpty() ? u"0"_s : whole.toString();
    if (!fraction.isEmpty())
        result += u'.' + fraction.toString();
    return result;
}

QString dateText(const QString& text, qint32 length)
{
    QString date = text.size() < 6 ? text.rightJustified(6, u'0') : text;
    if (date.size() == 6 && date[0].isDigit() && date[1].isDigit())
        date.prepend(date.left(2).toInt() <= 50 ? u"20"_s : u"19"_s);
    return generalNumber(date.right(std::max(length, 0)));
}

int hexDigit(QChar c)
{
    const int value = QStringView(u"0123456789ABCDEF").indexOf(c.toUpper());
    return value < 0 ? 0 : value;
}

}  // namespace

bool encodeXmlValue(const QString& text, const LayoutItem& item, char doubleByteCode, QByteArray& out)
{
    ShiftJisCodec& codec = threadShiftJis();
    out.clear();
    const QString& attribute = item.attribute;
    if (attribute == u"9" || attribute == u"N") {
        codec.encodeInto(generalNumber(text), out);
    } else if (attribute == u"Y") {
        const QString date = dateText(text, item.length);
        if (date == u"20000000"_s)
            return false;
        codec.encodeInto(date, out);
    } else if (attribute == u"B") {
        const qsizetype bytes = codec.byteLength(text) / 2;
        for (qsizetype i = 0; i < bytes; ++i)
            out += char(hexDigit(text[2 * i]) * 16 + hexDigit(text[2 * i + 1]));
        return true;  // an empty value is written as a tag with length 0
    } else if (attribute == u"K") {
        out = convertDoubleByte(codec.encode(text), 'M', doubleByteCode);
    } else {
        codec.encodeInto(text, out);
    }
    return !out.isEmpty();
}

void MessageEncoder::begin()
{
    body_.clear();
    twoByteSection_ = false;
}

void MessageEncoder::element(qint32 number, const QString& text)
{
    if ((number >= 61440 && number <= 65535) || number > 524287 || number < 0)
        return;
    const qint32 index = layout_.firstWithItemNumber(number);
    if (index == 0)
        return;
    if (number > 239 && !twoByteSection_) {
        body_ += char(0xF0);
        twoByteSection_ = true;
    }
    if (encodeXmlValue(text, layout_.item(index), doubleByteCode_, value_))
        appendValue(number, value_);
}

void MessageEncoder::appendValue(qint32 number, const QByteArray& value)
{
    QByteArray cut = value;
    if (cut.size() > kMaxValue) {
        qsizetype end = 0;  // whole characters only
        while (end < cut.size()) {
            const qsizetype step = isShiftJisLeadByte(uchar(cut[end])) ? 2 : 1;
            if (end + step > kMaxValue)
                break;
            end += step;
        }
        cut.truncate(end);
    }
    if (body_.size() + cut.size() + 6 > kMaxBody)
        return;
    if (!twoByteSection_) {
        body_ += char(number);
    } else if (number < 61440) {
        body_ += char(number >> 8);
        body_ += char(number & 0xFF);
    } else {
        body_ += char(240 + (number >> 16));
        body_ += char((number >> 8) & 0xFF);
        body_ += char(number & 0xFF);
    }
    if (cut.size() < 240) {
        body_ += char(cut.size());
    } else {
        body_ += char(242);
        body_ += char(cut.size() >> 8);
        body_ += char(cut.size() & 0xFF);
    }
    body_ += cut;
}

void MessageEncoder::groupStart(qint32 number)
{
    if (!twoByteSection_) {
        body_ += char(0xFA);
        return;
    }
    if (number != 0)
        body_ += char(0xF0);  // readers ignore it in the two-byte section
    if (number <= 255) {
        body_ += char(0xFA);
        body_ += char(number);
    } else {
        body_ += char(0xFD);
        body_ += char(number >> 8);
        body_ += char(number & 0xFF);
    }
}

}  // namespace edi
