#pragma once

#include <QObject>
#include <QString>
#include <functional>

namespace edi {

class HeartbeatWatch;
class MonitorEngine;
struct Alert;

// The scheduler's own alerts beside its jobs': automatic running has no reception left in the
// timetable, and, where [ALERT] LOSTHEARTBEAT=1, another workstation's scheduler stopped answering.
// The [ALERT] section is read at each alert, as the jobs read it. An alert runs on a thread of its
// own, so a slow command or mail server never holds the timer.
class SchedulerAlerts : public QObject {
    Q_OBJECT
public:
    SchedulerAlerts(MonitorEngine& engine, HeartbeatWatch& watch, QString configPath, QString machineName,
                    std::function<void(const QString&)> log);

private:
    void raise(const Alert& alert, bool lostHeartbeat) const;

    MonitorEngine& engine_;
    QString configPath_;
    QString machineName_;
    std::function<void(const QString&)> log_;
};

}  // namespace edi
