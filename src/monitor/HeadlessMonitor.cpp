#include "monitor/HeadlessMonitor.h"

#include "app/Clock.h"
#include "app/ConsoleOutput.h"
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
    connect(&engine_, &MonitorEngine::rowChanged, this, [this](int row) { log(rowLine(row)); });
    connect(&engine_, &MonitorEngine::timetableReset, this, &HeadlessMonitor::showTimetable);
    connect(&engine_, &MonitorEngine::runStateChanged, this, [this](RunState state) { log(runStateText(state)); });
    connect(&engine_, &MonitorEngine::note, this, [this](const QString& text) { log(text); });
}

void HeadlessMonitor::showTimetable()
{
    for (int row = 0; row < engine_.timetable().rowCount(); ++row)
        log(rowLine(row));
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
    connect(check, &QTimer::timeout, this, [this] {
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
    writeStandardError(consoleLine(clock_.now(), u"SCHMON01"_s, text) + u'\n');
}

}  // namespace edi
