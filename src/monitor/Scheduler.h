#pragma once

#include "app/ConsoleOutput.h"
#include "monitor/TimetableSource.h"

#include <functional>
#include <memory>

namespace edi {

class HeartbeatWatch;
class HeartbeatWriter;
class MailReceiver;
class MessageSink;
class MonitorEngine;
class SchedulerAlerts;
struct AppState;
struct JobSettings;

// What the scheduler reports beside the engine's signals: a line and how much it matters.
using SchedulerLog = std::function<void(LogPriority, const QString&)>;

// The scheduler a program runs, with its window or without: the timetable this workstation starts
// with, the engine with its job worker, the heartbeat, the watch on the other workstations and the
// scheduler's own alerts.
class Scheduler {
public:
    // Reads the starting timetable after the last heartbeat of this workstation; nullopt after
    // the fatal message (a schedule that cannot be read, or none where emptyIsFatal).
    static std::unique_ptr<Scheduler> create(const AppState& state, const JobSettings& settings, MailReceiver& mail,
                                             MessageSink& messages, bool emptyIsFatal, SchedulerLog log);
    ~Scheduler();

    MonitorEngine& engine() { return *engine_; }
    // At the start: the schedule had no row of this workstation.
    bool startedEmpty() const { return startedEmpty_; }
    // At the start: rows of earlier days that passed while no scheduler ran and no job received.
    const QStringList& missedEarlier() const { return missedEarlier_; }
    // The timer starts and the first heartbeat is written.
    void begin();
    // The heartbeat says the scheduler ended.
    void end();

private:
    Scheduler() = default;

    bool startedEmpty_ = false;
    QStringList missedEarlier_;
    std::unique_ptr<TimetableSource> source_;
    std::unique_ptr<MonitorEngine> engine_;
    std::unique_ptr<HeartbeatWriter> heartbeat_;
    std::unique_ptr<HeartbeatWatch> watch_;
    std::unique_ptr<SchedulerAlerts> alerts_;
};

}  // namespace edi
