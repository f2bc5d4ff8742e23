#include "monitor/HeadlessMonitor.h"

#include "app/Clock.h"
#include "app/ConsoleOutput.h"
#include "app/ServiceNotify.h"
#include "jobs/LoggingJobObserver.h"
#include "monitor/MonitorEngine.h"

#include <QCoreApplication>
#include <QTimer>
#include <atomic>
#include <csignal>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

std::atomic<bool> endRequested{false};

void requestEnd(int)
{
    endRequested = true;
}

QString runStateText(RunState state)
{
    switch (state) {
    case RunState::Off: return u"自動実行停止"_s;
    case RunState::Running: return u"処理中"_s;
    case RunState::Waiting: return u"自動実行中"_s;
    }
    return {};
}

}  // namespace

HeadlessMonitor::HeadlessMonitor(MonitorEngine& engine, const Clock& clock)
    : engine_(engine)
    , clock_(clock)
{
    connect(&engine_, &MonitorEngine::rowChanged, this, [this](int row) { detail(rowLine(row)); });
    connect(&engine_, &MonitorEngine::timetableReset, this, &HeadlessMonitor::showTimetable);
    connect(&engine_, &MonitorEngine::runStateChanged, this, [this](RunState state) { detail(runStateText(state)); });
    connect(&engine_, &MonitorEngine::note, this, [this](const QString& text) { detail(text); });
    connect(&engine_, &MonitorEngine::jobEnded, this,
            [this](int row, RowState state) { jobEnded(row, state == RowState::Failed); });
}

QString HeadlessMonitor::summary(const QString& machineName, const QString& database) const
{
    const Timetable& timetable = engine_.timetable();
    QString next = u"なし"_s;
    if (timetable.cursor() < timetable.rowCount()) {
        const ScheduleRow& row = timetable.rows()[size_t(timetable.cursor())];
        next = row.date.toString(u"yyyy/MM/dd "_s) + row.startTime.toString(u"HH:mm "_s) + row.centreCode;
    }
    return u"開始 端末 %1 データベース %2 スケジュール %3 件 次の受信 %4"_s.arg(machineName, database)
        .arg(timetable.rowCount())
        .arg(next);
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

void HeadlessMonitor::endOnSignals()
{
    std::signal(SIGINT, requestEnd);
    std::signal(SIGTERM, requestEnd);
    auto* check = new QTimer(this);
    connect(check, &QTimer::timeout, this, [this, stopping = false]() mutable {
        if (endRequested && !stopping) {
            stopping = true;
            notifyServiceStopping();
        }
        if (endRequested && !engine_.jobRunning()) {
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

void HeadlessMonitor::detail(const QString& text) const
{
    writeLogLine(LogPriority::Detail, clock_.now(), u"SCHMON01"_s, text);
}

}  // namespace edi
