#include "app/text/FieldNormaliser.h"

#include "app/text/TextHelpers.h"

#include <QStringList>
#include <algorithm>
#include <QTime>
#include <functional>
#include <optional>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

bool isDateFormat(const QString& format)
{
    return format.compare(u"yyyy/mm/dd"_s, Qt::CaseInsensitive) == 0
        || format.compare(u"yy/mm/dd"_s, Qt::CaseInsensitive) == 0;
}

bool isTimeFormat(const QString& format)
{
    return format.compare(u"hh:mm"_s, Qt::CaseInsensitive) == 0;
}

bool allDigits(const QString& text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) {
        return c >= u'0' && c <= u'9';
    });
}

int yearFromDigits(const QString& digits)
{
    const int year = digits.toInt();
    if (digits.size() > 2)
        return year;
    return year < 30 ? 2000 + year : 1900 + year;
}

QString formatDate(const QDate& date, const QString& displayFormat)
{
    const bool shortYear = displayFormat.size() == 8;
    return date.toString(shortYear ? u"yy/MM/dd"_s : u"yyyy/MM/dd"_s);
}

// Step 5: format with the display format and fit into the field, shortening the raw text
// from the right until the formatted result fits.
QString fitFormatted(QString raw, int maxLengthBytes,
                     const std::function<QString(const QString&)>& format)
{
    for (;; raw.chop(1)) {
        const QString formatted = format(raw);
        if (raw.isEmpty() || ansiByteLength(formatted) <= maxLengthBytes)
            return formatted;
    }
}

}  // namespace

QDate readFieldDate(const QString& text, const QDate& today)
{
    const QStringList parts = text.trimmed().split(u'/');
    if (parts.size() < 2 || parts.size() > 3)
        return {};
    for (const QString& part : parts) {
        if (!allDigits(part) || part.size() > 4)
            return {};
    }
    if (parts.size() == 2)
        return QDate(today.year(), parts[0].toInt(), parts[1].toInt());
    return QDate(yearFromDigits(parts[0]), parts[1].toInt(), parts[2].toInt());
}

QString normaliseFieldText(const QString& typed, const QString& displayFormat, int maxLengthBytes,
                           const QDate& today)
{
    if (displayFormat.isEmpty())
        return cutToAnsiBytes(typed, maxLengthBytes);

    if (isDateFormat(displayFormat)) {
        QString raw = typed;
        if (!typed.contains(u'/')) {
            const QString digits = typed.trimmed();
            QDate date;
            if (digits.size() == 8)
                date = QDate(digits.left(4).toInt(), digits.mid(4, 2).toInt(), digits.mid(6, 2).toInt());
            else if (digits.size() == 6)
                date = QDate(yearFromDigits(digits.left(2)), digits.mid(2, 2).toInt(), digits.mid(4, 2).toInt());
            if (!allDigits(digits) || !date.isValid())
                return typed;
            raw = formatDate(date, displayFormat);
        }
        return fitFormatted(raw, maxLengthBytes, [&](const QString& text) {
            const QDate date = readFieldDate(text, today);
            return date.isValid() ? formatDate(date, displayFormat) : text;
        });
    }

    if (isTimeFormat(displayFormat)) {
        if (typed.contains(u':') || typed.size() != 4 || !allDigits(typed))
            return typed;
        const QTime time(typed.left(2).toInt(), typed.mid(2, 2).toInt());
        if (!time.isValid())
            return typed;
        return fitFormatted(time.toString(u"HH:mm"_s), maxLengthBytes,
                            [](const QString& text) { return text; });
    }

    return fitFormatted(typed, maxLengthBytes, [](const QString& text) { return text; });
}

}  // namespace edi
