#pragma once

#include "app/MachineName.h"

#include <QString>
#include <functional>

namespace edi {

struct AppState;
class Clock;
class MessageSink;

struct StartupRequest {
    QString programFolder;     // folder of the running program
    QString configPath;        // a configuration file named on the command line; empty: the rule
    QString operatorArgument;  // the first argument that is not an option
    const Clock* clock = nullptr;
    std::function<QString()> machineName = systemMachineName;
    // The scheduler of this machine name (window or headless), which runs once per database;
    // one reception or a re-run may run beside it.
    bool scheduler = false;
};

// The start-up steps that need no window, in their order: program identifier, environment
// settings, machine name, database connection, the scheduler's lock on its machine name, program
// settings, status colours, operator code and automatic running on. A failing step shows its
// fixed message through the sink and start-up returns false; the caller then ends the process.
// A second scheduler of the same machine name on one database would run every reception twice:
// it gets "スケジューラ二重起動エラー".
bool runStartup(AppState& state, const StartupRequest& request, MessageSink& messages);

}  // namespace edi
