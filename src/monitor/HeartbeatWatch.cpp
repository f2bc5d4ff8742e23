#include "monitor/HeartbeatWatch.h"

#include "app/database/Database.h"
#include "app/database/DatabaseError.h"
#include "monitor/Heartbeat.h"

namespace edi {

HeartbeatWatch::HeartbeatWatch(Database& database, QString machineName)
    : database_(database)
    , machineName_(std::move(machineName))
{
}

void HeartbeatWatch::look(const QDateTime& now)
{
    std::vector<Heartbeat> heartbeats;
    try {
        heartbeats = HeartbeatTable(database_).all();
    } catch (const DatabaseError&) {
        return;  // the heartbeat's own write tells of the database
    }
    for (const Heartbeat& other : heartbeats) {
        if (other.machineName == machineName_)
            continue;
        const bool silent = !other.ended() && !other.alive(now, HeartbeatTable::kSilenceSeconds);
        if (!silent) {
            silent_.remove(other.machineName);
        } else if (!silent_.contains(other.machineName)) {
            silent_.insert(other.machineName);
            if (looked_)
                Q_EMIT lost(other.machineName, other.lastTick);
        }
    }
    looked_ = true;
}

}  // namespace edi
