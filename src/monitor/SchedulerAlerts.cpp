#include "monitor/SchedulerAlerts.h"

#include "app/config/IniFile.h"
#include "jobs/Alerts.h"
#include "monitor/HeartbeatWatch.h"
#include "monitor/MonitorEngine.h"

#include <QFileInfo>
#include <QThreadPool>

using namespace Qt::Literals::StringLiterals;

namespace edi {

SchedulerAlerts::SchedulerAlerts(MonitorEngine& engine, HeartbeatWatch& watch, QString configPath, QString machineName,
                                 std::function<void(const QString&)> log)
    : engine_(engine)
    , configPath_(std::move(configPath))
    , machineName_(std::move(machineName))
    , log_(std::move(log))
{
    connect(&engine_, &MonitorEngine::receptionsLeftChanged, this, [this](bool left) {
        if (left || engine_.runState() == RunState::Off)
            return;
        const QString text = u"端末 %1 のスケジュールに実行する受信が残っていません"
                             u" (スケジュールマスタと行の選択を確かめてください)"_s.arg(machineName_);
        raise({{}, 0, u"スケジュール"_s, {}, {}, text}, false);
    });
    connect(&watch, &HeartbeatWatch::lost, this, [this](const QString& machine, const QDateTime& lastTick) {
        const QString text = u"端末 %1 のスケジューラが %2 から応答していません"_s.arg(
            machine, lastTick.toString(u"yyyy/MM/dd HH:mm:ss"_s));
        raise({{}, 0, u"稼働監視"_s, {}, {}, text}, true);
    });
}

void SchedulerAlerts::raise(const Alert& alert, bool lostHeartbeat) const
{
    const AlertSettings settings = readAlertSettings(IniFile::read(configPath_));
    if (!settings.any() || (lostHeartbeat && !settings.lostHeartbeats))
        return;
    const QString folder = QFileInfo(configPath_).absolutePath();
    QThreadPool::globalInstance()->start([alert, settings, folder, machine = machineName_, log = log_] {
        raiseAlert(alert, settings, folder, machine, log);
    });
}

}  // namespace edi
