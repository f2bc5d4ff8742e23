#include "app/database/ColumnValues.h"

#include <QDateTime>
#include <algorithm>

namespace edi {
namespace {

// The value of `fewest` to `most` decimal digits, or -1 for anything else.
int digitsValue(QStringView text, qsizetype fewest, qsizetype most)
{
    if (text.size() < fewest || text.size() > most)
        return -1;
    int value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

// "H:mm:ss" or "H:mm". Read by hand: a page of the history reads thousands of times, and Qt's
// format parser is many times slower.
QTime timeOfDay(QStringView text)
{
    const QList<QStringView> parts = text.split(u':');
    if (parts.size() < 2 || parts.size() > 3)
        return {};
    const int hour = digitsValue(parts[0], 1, 2);
    const int minute = digitsValue(parts[1], 2, 2);
    const int second = parts.size() == 3 ? digitsValue(parts[2], 2, 2) : 0;
    if (hour < 0 || minute < 0 || second < 0)
        return {};
    return QTime(hour, minute, second);  // invalid when out of range
}

}  // namespace

QTime timeValue(const QVariant& value)
{
    if (value.typeId() == QMetaType::QDateTime)
        return value.toDateTime().time();
    if (value.typeId() == QMetaType::QTime)
        return value.toTime();
    // Text: "09:00:00" or "9:00", possibly after a date ("1899-12-30 09:00:00"), as databases
    // filled by hand or by other programs hold it, possibly with fractions of a second.
    const QString text = value.toString().trimmed();
    QStringView time(text);
    if (const auto separator = std::find_if(time.begin(), time.end(), [](QChar c) { return c == u' ' || c == u'T'; });
        separator != time.end())
        time = time.sliced(separator - time.begin() + 1);
    if (const qsizetype fraction = time.indexOf(u'.'); fraction >= 0)
        time = time.first(fraction);
    return timeOfDay(time);
}

QDate dateValue(const QVariant& value)
{
    if (value.typeId() == QMetaType::QDateTime)
        return value.toDateTime().date();
    if (value.typeId() == QMetaType::QDate)
        return value.toDate();
    return QDate::fromString(value.toString().trimmed().left(10), Qt::ISODate);
}

}  // namespace edi
