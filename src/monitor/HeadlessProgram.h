#pragma once

namespace edi {

struct ProgramOptions;

// The scheduler without windows: start-up, the timetable and the timer, every change a log line;
// runs until SIGINT or SIGTERM. Returns the exit status: non-zero after a fatal start-up message.
int runHeadlessMonitor(const ProgramOptions& options);

// One reception for a centre now, as the timer would run it; 0 when it finished, 1 otherwise.
int runOneJob(const ProgramOptions& options);

// The conversion and registration of an earlier job again; 0 when it finished, 1 when it failed
// or was refused, with the reason on standard error.
int rerunOneJob(const ProgramOptions& options);

}  // namespace edi
