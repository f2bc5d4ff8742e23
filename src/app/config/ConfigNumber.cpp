#include "app/config/ConfigNumber.h"

#include <QString>
#include <cmath>
#include <limits>

namespace edi {
namespace {

struct Scanned {
    std::optional<double> value;
    qsizetype consumed = 0;
};

int digitValue(QChar c, int radix)
{
    int v = -1;
    if (c >= u'0' && c <= u'9')
        v = c.unicode() - u'0';
    else if (c >= u'a' && c <= u'f')
        v = c.unicode() - u'a' + 10;
    else if (c >= u'A' && c <= u'F')
        v = c.unicode() - u'A' + 10;
    return v < radix ? v : -1;
}

// "&H" or "&O" digits, optionally closed by "&"; the value fills `bits` bits as two's complement.
Scanned scanRadix(QStringView text, int bits)
{
    const int radix = (text[1] == u'H' || text[1] == u'h') ? 16 : 8;
    quint64 value = 0;
    qsizetype i = 2;
    for (; i < text.size() && digitValue(text[i], radix) >= 0; ++i) {
        value = value * radix + quint64(digitValue(text[i], radix));
        if (value > (quint64(1) << bits) - 1)
            return {std::nullopt, i};
    }
    if (i == 2)
        return {std::nullopt, 0};
    if (i < text.size() && text[i] == u'&')
        ++i;
    const quint64 signBit = quint64(1) << (bits - 1);
    const double signedValue = value & signBit ? double(qint64(value) - qint64(signBit << 1)) : double(value);
    return {signedValue, i};
}

// Sign, digits and an optional fraction.
Scanned scanDecimal(QStringView text)
{
    qsizetype i = 0;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    const qsizetype digitsStart = i;
    while (i < text.size() && text[i].isDigit() && text[i].unicode() < 0x80)
        ++i;
    bool anyDigit = i > digitsStart;
    if (i < text.size() && text[i] == u'.') {
        const qsizetype fractionStart = ++i;
        while (i < text.size() && text[i].isDigit() && text[i].unicode() < 0x80)
            ++i;
        anyDigit = anyDigit || i > fractionStart;
    }
    if (!anyDigit)
        return {std::nullopt, 0};
    bool ok = false;
    const double value = text.left(i).toString().toDouble(&ok);
    return {ok ? std::optional<double>(value) : std::nullopt, i};
}

Scanned scanNumber(QStringView text, int bits)
{
    if (text.size() >= 2 && text[0] == u'&' && QStringView(u"HhOo").contains(text[1]))
        return scanRadix(text, bits);
    return scanDecimal(text);
}

std::optional<qint32> fitInteger(double value, int bits)
{
    const double rounded = std::nearbyint(value);  // default rounding: half to even
    const double limit = std::ldexp(1.0, bits - 1);
    if (rounded < -limit || rounded > limit - 1)
        return std::nullopt;
    return qint32(rounded);
}

}  // namespace

std::optional<qint32> parseConfigInteger(QStringView text, int bits)
{
    const QStringView trimmed = text.trimmed();
    const Scanned scanned = scanNumber(trimmed, bits);
    if (!scanned.value || scanned.consumed != trimmed.size())
        return std::nullopt;
    return fitInteger(*scanned.value, bits);
}

qint32 leadingConfigNumber(QStringView text)
{
    const Scanned scanned = scanNumber(text.trimmed(), 32);
    if (!scanned.value)
        return 0;
    return fitInteger(*scanned.value, 32).value_or(0);
}

}  // namespace edi
