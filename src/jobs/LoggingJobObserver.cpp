#include "jobs/LoggingJobObserver.h"

#include "app/Clock.h"
#include "app/ConsoleOutput.h"

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

QString columnName(StatusColumn column)
{
    switch (column) {
    case StatusColumn::Reception: return u"受信"_s;
    case StatusColumn::Conversion: return u"変換"_s;
    case StatusColumn::Registration: return u"データ登録"_s;
    }
    return {};
}

}  // namespace

void LoggingJobObserver::statusText(StatusColumn column, const QString& text)
{
    line(columnName(column) + u' ' + text);
}

void LoggingJobObserver::rowState(RowState state)
{
    line(u"状態 %1"_s.arg(int(state)));
}

void LoggingJobObserver::note(const QString& text)
{
    line(text);
}

void LoggingJobObserver::line(const QString& text)
{
    writeStandardError(consoleLine(clock_.now(), centreCode_, text) + u'\n');
}

}  // namespace edi
