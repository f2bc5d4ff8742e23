#pragma once

#include "monitor/Heartbeat.h"

#include <QObject>

namespace edi {

class Clock;
class Database;
class MonitorEngine;

// Writes this scheduler's heartbeat (its row of EDI端末稼働状況): at once, at the engine's every
// new minute, and at the end. A write that fails is told once, and again only after one succeeded.
class HeartbeatWriter : public QObject {
    Q_OBJECT
public:
    HeartbeatWriter(MonitorEngine& engine, Database& database, const Clock& clock, QString machineName,
                    QString receivedFolder);

    void write();
    // The scheduler ends: its heartbeat says so.
    void writeEnd();

Q_SIGNALS:
    void problem(const QString& text);
    void written(const QDateTime& lastTick);

private:
    Heartbeat current() const;
    void store(const Heartbeat& heartbeat);

    MonitorEngine& engine_;
    Database& database_;
    HeartbeatTable table_;
    const Clock& clock_;
    QString machineName_;
    QString receivedFolder_;
    QDateTime started_;
    QString waitingFiles_;  // as the last look found them
    bool failing_ = false;
};

}  // namespace edi
