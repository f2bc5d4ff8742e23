#pragma once

#include "app/Clock.h"
#include "app/config/Configuration.h"
#include "app/database/Database.h"
#include "app/locks/ExclusiveLocks.h"

#include <QString>
#include <memory>

namespace edi {

enum class RunState : qint16 {
    Off = 0,      // automatic running switched off
    Running = 1,  // a job is running
    Waiting = 2,  // automatic running on, waiting for the next due row
};

// What the whole program shares, filled by start-up. Passed by reference, never global.
struct AppState {
    static constexpr auto kProgramIdentifier = u"EDIAUTO";

    QString programId;
    QString machineName;
    QString operatorCode;  // the command line's operator argument, trimmed
    QString operatorName;  // always empty
    EnvironmentSettings environment;
    SchedulerSettings scheduler;
    ReceptionSettings reception;
    QString connectionString;
    std::unique_ptr<Database> database;
    // The locks of the processes on the database; the scheduler holds its machine name's lock
    // on the program's connection (declared after it: a lock goes before its connection).
    std::unique_ptr<ExclusiveLocks> locks;
    std::unique_ptr<HeldLock> schedulerLock;
    QString baseFolder;  // the folder of the configuration file
    QString configPath;  // the configuration file; later steps read their keys from it
    ProgramSettings settings;
    StatusColours statusColours;
    RunState runState = RunState::Off;
    const Clock* clock = nullptr;
};

}  // namespace edi
