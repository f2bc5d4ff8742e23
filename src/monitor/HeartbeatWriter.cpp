#include "monitor/HeartbeatWriter.h"

#include "app/Clock.h"
#include "app/database/Database.h"
#include "app/database/DatabaseError.h"
#include "jobs/WaitingFiles.h"
#include "monitor/MonitorEngine.h"

#include <QCoreApplication>

using namespace Qt::Literals::StringLiterals;

namespace edi {

HeartbeatWriter::HeartbeatWriter(MonitorEngine& engine, Database& database, const Clock& clock, QString machineName,
                                 QString receivedFolder)
    : engine_(engine)
    , database_(database)
    , table_(database)
    , clock_(clock)
    , machineName_(std::move(machineName))
    , receivedFolder_(std::move(receivedFolder))
    , started_(clock.now())
{
    connect(&engine_, &MonitorEngine::minutePassed, this, &HeartbeatWriter::write);
}

Heartbeat HeartbeatWriter::current() const
{
    Heartbeat heartbeat;
    heartbeat.machineName = machineName_;
    heartbeat.version = QStringLiteral(EDI_VERSION);
    heartbeat.processId = QCoreApplication::applicationPid();
    heartbeat.started = started_;
    heartbeat.lastTick = clock_.now();
    heartbeat.runState = int(engine_.runState());
    heartbeat.waitingFiles = waitingFiles_;
    const Timetable& timetable = engine_.timetable();
    if (engine_.runState() != RunState::Off && timetable.cursor() < timetable.rowCount()) {
        const ScheduleRow& next = timetable.rows()[size_t(timetable.cursor())];
        heartbeat.nextReception = next.due();
        heartbeat.nextCentre = next.centreCode;
    }
    if (const int running = engine_.runningRow(); running >= 0) {
        heartbeat.runningCentre = timetable.rows()[size_t(running)].centreCode;
        heartbeat.runningSerial = timetable.rows()[size_t(running)].serial;
    }
    return heartbeat;
}

void HeartbeatWriter::write()
{
    try {
        database_.reconnectIfLost();
        waitingFiles_ = filesWaitingForOperator(database_, machineName_, receivedFolder_).join(u'\n');
    } catch (const DatabaseError&) {
        // The write below fails too and says why.
    }
    store(current());
}

void HeartbeatWriter::writeEnd()
{
    Heartbeat heartbeat = current();
    heartbeat.runState = Heartbeat::kEnded;
    heartbeat.nextReception = {};
    heartbeat.nextCentre.clear();
    store(heartbeat);
}

void HeartbeatWriter::store(const Heartbeat& heartbeat)
{
    try {
        table_.write(heartbeat);
        failing_ = false;
        Q_EMIT written(heartbeat.lastTick);
    } catch (const DatabaseError& error) {
        if (!failing_)
            Q_EMIT problem(u"稼働状況を書き込めません: "_s + error.message());
        failing_ = true;
    }
}

}  // namespace edi
