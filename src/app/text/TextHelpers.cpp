#include "app/text/TextHelpers.h"

#include "app/text/ShiftJis.h"

#include <regex>

using namespace Qt::Literals::StringLiterals;

namespace edi {

QString cutAtNul(const QString& text)
{
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    return nul < 0 ? text : text.left(nul);
}

QString expandLineBreaks(const QString& text)
{
    QString out = text;
    out.replace(u"\\n"_s, u"\r\n"_s);
    return out;
}

qsizetype ansiByteLength(const QVariant& value)
{
    return value.isNull() ? 0 : ansiByteLength(value.toString());
}

qsizetype ansiByteLength(const QString& text)
{
    return threadShiftJis().byteLength(text);
}

QString cutToAnsiBytes(const QString& text, qsizetype maxBytes)
{
    ShiftJisCodec& codec = threadShiftJis();
    qsizetype used = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype step = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        used += codec.byteLength(QStringView(text).mid(i, step));
        if (used > maxBytes)
            break;
        i += step;
    }
    return text.left(i);
}

bool ansiRoundTrips(QStringView text)
{
    return threadShiftJis().isRepresentable(text);
}

qsizetype storageLength(QStringView text)
{
    return ansiRoundTrips(text) ? threadShiftJis().byteLength(text) : text.size() * 2;
}

QString trimOrDefault(const QVariant& value, const QString& fallback)
{
    return value.isNull() ? fallback : value.toString().trimmed();
}

QString nullOrDefault(const QVariant& value, const QString& fallback)
{
    return value.isNull() ? fallback : value.toString();
}

std::optional<QString> fileNameCentreCode(const QString& centreCode)
{
    constexpr qsizetype kWidth = 12;
    if (centreCode.size() > kWidth)
        return std::nullopt;
    QString padded = centreCode.leftJustified(kWidth, u' ');
    padded.replace(u' ', u'_');
    return padded;
}

bool patternMatches(const QString& pattern, const QString& text)
{
    try {
        const std::wregex re(pattern.toStdWString(),
                             std::regex_constants::ECMAScript | std::regex_constants::icase);
        return std::regex_search(text.toStdWString(), re);
    } catch (const std::regex_error&) {
        return false;
    }
}

QString serialText(qint64 serial)
{
    return u"%1"_s.arg(serial, 8, 10, QChar(u'0'));
}

}  // namespace edi
