#pragma once

#include "monitor/Heartbeat.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace edi {

class Database;

// How a workstation's scheduler stands, from its heartbeat.
enum class Liveness {
    Alive,    // wrote within HeartbeatTable::kSilenceSeconds
    Silent,   // stopped writing without ending: 応答なし
    Ended,    // ended (stopped by the operator or the service manager)
    Unknown,  // has receptions in the schedule but never wrote a heartbeat
    None,     // no scheduler is expected: only jobs started by hand ran there
};

// In words (稼働中, 応答なし, ...) and as a key for scripts (alive, unresponsive, ...).
QString livenessText(Liveness liveness);
QString livenessKey(Liveness liveness);

// One workstation as an administrator checks it every day.
struct WorkstationStatus {
    QString machineName;
    std::optional<Heartbeat> heartbeat;
    Liveness liveness = Liveness::Unknown;
    QStringList failedToday;   // today's failed jobs: "SERIAL CENTRE CODE meaning"
    QStringList interrupted;   // interrupted jobs whose received data waits for a re-run: "SERIAL CENTRE"
    QStringList waitingFiles;  // kept-aside deliveries and returned hand-over files, from the heartbeat

    // Jobs or files that wait for an operator.
    bool waitsForOperator() const { return !interrupted.isEmpty() || !waitingFiles.isEmpty(); }
    // A scheduler that should answer does not, or something waits for an operator.
    bool needsAttention() const
    {
        return (liveness != Liveness::Alive && liveness != Liveness::None) || waitsForOperator();
    }
};

// Every workstation of the database, by name: those with a heartbeat, those the schedule gives
// receptions, and those that ran a job that failed today or waits for an operator. Interrupted
// jobs are looked for over the last kInterruptedDays days. Throws DatabaseError.
inline constexpr int kInterruptedDays = 7;
std::vector<WorkstationStatus> readWorkstationStatus(Database& database, const QDateTime& now);

}  // namespace edi
