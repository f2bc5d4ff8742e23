#include "monitor/HeadlessMonitor.h"

#include "app/Clock.h"
#include "app/ConsoleOutput.h"
#include "app/ProcessSignals.h"
#include "app/ServiceNotify.h"
#include "app/StateReport.h"
#include "jobs/LoggingJobObserver.h"
#include "monitor/MonitorEngine.h"

#include <QCoreApplication>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;

namespace edi {

HeadlessMonitor::HeadlessMonitor(MonitorEngine& engine, const Clock& clock)
    : engine_(engine)
    , clock_(clock)
{
    connect(&engine_, &MonitorEngine::rowChanged, this, [this](int row) { detail(rowLine(row)); });
    connect(&engine_, &MonitorEngine::runStateChanged, this, [this](RunState state) { detail(runStateText(int(state))); });
    connect(&engine_, &MonitorEngine::note, this, [this](const QString& text) { detail(text); });
    connect(&engine_, &MonitorEngine::jobEnded, this,
            [this](int row, RowState state) { jobEnded(row, state == RowState::Failed); });
    connect(&engine_, &MonitorEngine::ticked, this, &notifyServiceAlive);
    connect(&engine_, &MonitorEngine::rebuilt, this, [this](const QString& reason) {
        const QString line = u"スケジュール再作成 (%1) %2"_s.arg(reason, nextReception());
        log(line);
        notifyServiceStatus(line);
        showTimetable();
    });
    connect(&engine_, &MonitorEngine::rebuildFailed, this,
            [this](const QString& problem) { warn(u"スケジュールを読めません (今のスケジュールで続けます): "_s + problem); });
    connect(&engine_, &MonitorEngine::caughtUp, this, [this](int row, const QString& text) {
        log(engine_.timetable().rows()[size_t(row)].centreCode + u' ' + text);
    });
    connect(&engine_, &MonitorEngine::missed, this,
            [this](int row) { warn(engine_.timetable().rows()[size_t(row)].notes.constLast()); });
    connect(&engine_, &MonitorEngine::receptionsLeftChanged, this, [this](bool left) {
        if (!left)
            warn(u"実行する受信が残っていません。スケジュールマスタが変わるか日付が変わるか SIGHUP で作り直します"_s);
    });
}

QString HeadlessMonitor::nextReception() const
{
    const Timetable& timetable = engine_.timetable();
    QString next = u"なし"_s;
    if (timetable.cursor() < timetable.rowCount()) {
        const ScheduleRow& row = timetable.rows()[size_t(timetable.cursor())];
        next = row.date.toString(u"yyyy/MM/dd "_s) + row.startTime.toString(u"HH:mm "_s) + row.centreCode;
    }
    return u"スケジュール %1 件 次の受信 %2"_s.arg(timetable.rowCount()).arg(next);
}

QString HeadlessMonitor::summary(const QString& machineName, const QString& database) const
{
    return u"開始 端末 %1 データベース %2 %3"_s.arg(machineName, database, nextReception());
}

void HeadlessMonitor::showTimetable()
{
    for (int row = 0; row < engine_.timetable().rowCount(); ++row)
        detail(rowLine(row));
}

void HeadlessMonitor::jobEnded(int row, bool failed) const
{
    const ScheduleRow& entry = engine_.timetable().rows()[size_t(row)];
    logJobOutcome(clock_, entry.centreCode, entry.serial, entry.report, entry.notes, failed);
}

QString HeadlessMonitor::rowLine(int row) const
{
    const ScheduleRow& entry = engine_.timetable().rows()[size_t(row)];
    return u"%1 %2 %3 %4 %5 %6 [%7|%8|%9] 状態%10"_s.arg(row + 1)
        .arg(entry.selected ? u"○"_s : u"×"_s, entry.date.toString(u"yyyy/MM/dd"_s),
             entry.startTime.toString(u"HH:mm"_s), entry.centreCode, entry.centreName, entry.receptionStatus,
             entry.conversionStatus, entry.registrationStatus)
        .arg(int(entry.displayState));
}

void HeadlessMonitor::followSignals()
{
    catchEndSignals();
    catchReloadSignal();
    auto* check = new QTimer(this);
    connect(check, &QTimer::timeout, this, [this, stopping = false]() mutable {
        if (takeReloadRequest()) {
            log(u"SIGHUP: スケジュールを作り直します"_s);
            engine_.requestRebuild(u"SIGHUP"_s);
        }
        if (endRequested() && !stopping) {
            stopping = true;
            notifyServiceStopping();
        }
        if (endRequested() && !engine_.jobRunning()) {
            // The engine's own tick may come in this same pass of the timers: it must not start
            // a job that the ending process would then wait for unseen.
            engine_.stopAutomatic();
            log(u"終了"_s);
            QCoreApplication::quit();
        }
    });
    check->start(MonitorEngine::kTickMilliseconds);
}

void HeadlessMonitor::log(const QString& text) const
{
    writeLogLine(LogPriority::Info, clock_.now(), u"SCHMON01"_s, text);
}

void HeadlessMonitor::warn(const QString& text) const
{
    writeLogLine(LogPriority::Warning, clock_.now(), u"SCHMON01"_s, text);
}

void HeadlessMonitor::detail(const QString& text) const
{
    writeLogLine(LogPriority::Detail, clock_.now(), u"SCHMON01"_s, text);
}

}  // namespace edi
