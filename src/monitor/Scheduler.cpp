#include "monitor/Scheduler.h"

#include "app/AppState.h"
#include "app/database/DatabaseError.h"
#include "jobs/HistoryIndexes.h"
#include "jobs/JobContext.h"
#include "monitor/Heartbeat.h"
#include "monitor/HeartbeatWatch.h"
#include "monitor/HeartbeatWriter.h"
#include "monitor/JobWorker.h"
#include "monitor/MonitorEngine.h"
#include "monitor/SchedulerAlerts.h"
#include "monitor/TimetableLoader.h"

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

// The last moment this workstation's scheduler was known to run; invalid when none wrote yet.
QDateTime lastAlive(Database& database, const QString& machineName)
{
    try {
        if (const std::optional<Heartbeat> heartbeat = HeartbeatTable(database).of(machineName))
            return heartbeat->lastTick;
    } catch (const DatabaseError&) {
        // The schedule's query tells what became of the database.
    }
    return {};
}

// The history's indexes that an older database lacks: made once, by the first scheduler that
// starts on it (the web monitor only reads).
void makeHistoryIndexes(Database& database, const SchedulerLog& log)
{
    const HistoryIndexesMade indexes = makeMissingHistoryIndexes(database);
    for (const QString& name : indexes.made)
        log(LogPriority::Info, u"処理履歴に索引 %1 を作りました"_s.arg(name));
    if (!indexes.problem.isEmpty())
        log(LogPriority::Warning, u"処理履歴の索引を作れません (履歴の読み出しが遅くなります): "_s + indexes.problem);
}

}  // namespace

std::unique_ptr<Scheduler> Scheduler::create(const AppState& state, const JobSettings& settings, MailReceiver& mail,
                                             MessageSink& messages, bool emptyIsFatal, SchedulerLog log)
{
    Database& database = *state.database;
    makeHistoryIndexes(database, log);
    std::unique_ptr<Scheduler> scheduler(new Scheduler);
    scheduler->source_ = std::make_unique<TimetableSource>(database, state.machineName, state.scheduler.catchupMinutes);
    std::optional<BuiltTimetable> built = loadTimetable(*scheduler->source_, state.clock->now(),
                                                        lastAlive(database, state.machineName), messages, emptyIsFatal);
    if (!built)
        return nullptr;
    scheduler->startedEmpty_ = built->schedule.empty();
    scheduler->missedEarlier_ = built->missedEarlier;

    auto worker = std::make_unique<JobWorker>(database.settings(), settings, *state.clock, mail);
    scheduler->engine_ = std::make_unique<MonitorEngine>(*state.clock, *scheduler->source_, std::move(*built), std::move(worker));
    MonitorEngine& engine = *scheduler->engine_;
    scheduler->heartbeat_ = std::make_unique<HeartbeatWriter>(engine, database, *state.clock, state.machineName,
                                                              settings.paths.receivedFolder);
    scheduler->watch_ = std::make_unique<HeartbeatWatch>(database, state.machineName);
    QObject::connect(&engine, &MonitorEngine::minutePassed, scheduler->watch_.get(), &HeartbeatWatch::look);
    auto warn = [log](const QString& text) { log(LogPriority::Warning, text); };
    scheduler->alerts_ = std::make_unique<SchedulerAlerts>(engine, *scheduler->watch_, state.configPath, state.machineName, warn);
    QObject::connect(scheduler->heartbeat_.get(), &HeartbeatWriter::problem, scheduler->heartbeat_.get(), warn);
    QObject::connect(scheduler->heartbeat_.get(), &HeartbeatWriter::written, scheduler->heartbeat_.get(),
                     [log] { log(LogPriority::Detail, u"稼働状況を記録しました"_s); });
    return scheduler;
}

Scheduler::~Scheduler() = default;

void Scheduler::begin()
{
    engine_->start();
    heartbeat_->write();
}

void Scheduler::end()
{
    heartbeat_->writeEnd();
}

}  // namespace edi
