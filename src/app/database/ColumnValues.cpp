#include "app/database/ColumnValues.h"

#include <QDateTime>

namespace edi {

QTime timeValue(const QVariant& value)
{
    if (value.typeId() == QMetaType::QDateTime)
        return value.toDateTime().time();
    if (value.typeId() == QMetaType::QTime)
        return value.toTime();
    return QTime::fromString(value.toString().trimmed().left(8), Qt::ISODate);
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
