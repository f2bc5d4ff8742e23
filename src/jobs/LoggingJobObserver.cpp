#include "jobs/LoggingJobObserver.h"

#include "app/Clock.h"
#include "app/ConsoleOutput.h"
#include "app/text/TextHelpers.h"
#include "jobs/JobReport.h"

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
    detail(columnName(column) + u' ' + text);
}

void LoggingJobObserver::rowState(RowState state)
{
    detail(u"状態 %1"_s.arg(int(state)));
    if (state == RowState::Finished || state == RowState::Failed)
        logJobOutcome(clock_, centreCode_, serial_, report_, notes_, state == RowState::Failed);
}

void LoggingJobObserver::note(const QString& text)
{
    notes_ << text;
    detail(text);
}

void LoggingJobObserver::detail(const QString& text)
{
    writeLogLine(LogPriority::Detail, clock_.now(), centreCode_, text);
}

void logJobOutcome(const Clock& clock, const QString& centreCode, qint32 serial, const QStringList& report,
                   const QStringList& notes, bool failed)
{
    const QStringList lines = reportWithNotes(report, notes);
    const QString stepPrefix = serial > 0 ? u"通番 "_s + serialText(serial) + u' ' : QString();
    for (qsizetype index = 0; index < lines.size(); ++index) {
        const bool outcome = index == 0 && !report.isEmpty();
        const LogPriority priority = outcome ? (failed ? LogPriority::Error : LogPriority::Info)
                                             : (failed ? LogPriority::Warning : LogPriority::Info);
        writeLogLine(priority, clock.now(), centreCode, outcome ? lines[index] : stepPrefix + lines[index]);
    }
}

}  // namespace edi
