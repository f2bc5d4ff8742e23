#include "app/database/ColumnValues.h"

#include <QDateTime>
#include <QRegularExpression>

namespace edi {

QTime timeValue(const QVariant& value)
{
    if (value.typeId() == QMetaType::QDateTime)
        return value.toDateTime().time();
    if (value.typeId() == QMetaType::QTime)
        return value.toTime();
    // Text: "09:00:00" or "9:00", possibly after a date ("1899-12-30 09:00:00"), as databases
    // filled by hand or by other programs hold it.
    QString text = value.toString().trimmed();
    if (const qsizetype separator = text.indexOf(QRegularExpression(QStringLiteral("[ T]"))); separator >= 0)
        text = text.mid(separator + 1);
    text = text.left(text.indexOf(u'.'));  // no fractions of a second
    for (const QString& format : {QStringLiteral("H:mm:ss"), QStringLiteral("H:mm")}) {
        const QTime time = QTime::fromString(text, format);
        if (time.isValid())
            return time;
    }
    return {};
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
