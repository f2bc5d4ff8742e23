#pragma once

#include <QDate>
#include <QString>

namespace edi {

// Completes the text typed into an entry field before it is checked: dates typed as 8 or 6
// digits and times typed as 4 digits get their separators, slash dates are formatted fully, and
// the result is fitted to the field's maximum length in Shift-JIS bytes. Text that is no valid
// date or time is left as typed for the field check to report.
//
// displayFormat is "yyyy/mm/dd", "yy/mm/dd", "hh:mm" or empty. Two-digit years 00-29 are read as
// 2000-2029 and 30-99 as 1930-1999; "1/5" is 5 January of today's year.
QString normaliseFieldText(const QString& typed, const QString& displayFormat, int maxLengthBytes,
                           const QDate& today);

// Reads a date as the field checks do: y/m/d or m/d with slashes, the year window above.
QDate readFieldDate(const QString& text, const QDate& today);

}  // namespace edi
