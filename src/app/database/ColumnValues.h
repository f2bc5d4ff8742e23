#pragma once

#include <QDate>
#include <QTime>
#include <QVariant>

namespace edi {

// Column values as the drivers return them: SQLite gives dates and times as text, some ODBC
// drivers give a time as a date-time. An invalid QTime or QDate for what is neither.
QTime timeValue(const QVariant& value);
QDate dateValue(const QVariant& value);

}  // namespace edi
