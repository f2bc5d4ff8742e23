#pragma once

#include <QDateTime>
#include <QString>
#include <optional>
#include <vector>

namespace edi {

class Database;

// What a workstation's scheduler says of itself, once a minute.
struct Heartbeat {
    // The run state of a scheduler that ended (the others are RunState's values).
    static constexpr int kEnded = 9;

    QString machineName;
    QString version;
    qint64 processId = 0;
    QDateTime started;
    QDateTime lastTick;
    int runState = 0;
    QDateTime nextReception;  // invalid when no reception is left
    QString nextCentre;
    QString runningCentre;    // empty when no job runs
    qint32 runningSerial = 0;
    QString waitingFiles;     // files in its folders that wait for an operator, one per line

    bool ended() const { return runState == kEnded; }
    // Alive: it wrote within `silence` seconds of `now` and has not ended.
    bool alive(const QDateTime& now, qint64 silence) const;
};

// The workstations' heartbeats, a row per machine name in EDI端末稼働状況. The table is made at the
// first write where the database lacks it; until then there is no heartbeat to read. Throws
// DatabaseError.
class HeartbeatTable {
public:
    // A workstation that wrote nothing for this long is not answering.
    static constexpr qint64 kSilenceSeconds = 180;
    static constexpr qsizetype kWaitingFilesLength = 1000;

    explicit HeartbeatTable(Database& database) : database_(database) {}

    void write(const Heartbeat& heartbeat);
    std::vector<Heartbeat> all();
    std::optional<Heartbeat> of(const QString& machineName);

private:
    bool tableExists();
    void makeTable();
    std::vector<Heartbeat> read(const QString& machineName);

    Database& database_;
    bool tableSeen_ = false;
};

}  // namespace edi
