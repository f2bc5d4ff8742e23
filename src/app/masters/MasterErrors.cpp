#include "app/masters/MasterErrors.h"

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

constexpr qsizetype kShownValueLength = 60;

QString place(const QString& fileName, int line)
{
    return line > 0 ? u"%1 %2行目"_s.arg(fileName).arg(line) : fileName;
}

// A value on one line and of a readable length.
QString shownValue(const QString& value)
{
    QString shown = value;
    shown.replace(u"\r\n"_s, u"\\n"_s).replace(u'\n', u"\\n"_s).replace(u'\r', u"\\n"_s);
    return shown.size() > kShownValueLength ? shown.left(kShownValueLength) + u'…' : shown;
}

}  // namespace

void MasterErrors::add(const QString& fileName, int line, const QString& what)
{
    keep(place(fileName, line) + u": "_s + what);
}

void MasterErrors::add(const QString& fileName, int line, const QString& column, const QString& value, const QString& what)
{
    keep(u"%1 %2 \"%3\": %4"_s.arg(place(fileName, line), column, shownValue(value), what));
}

void MasterErrors::keep(const QString& line)
{
    if (++count_ <= kKept)
        lines_ << line;
}

}  // namespace edi
