#pragma once

#include <QString>

namespace edi {

// Where the converters' log, ERR.LOG, is written, first fit first:
//  1. the folder the configuration names ([PATH] LOGPATH), whenever it is set;
//  2. beside the program, where this process may write the folder (and the file, when it exists);
//     never in the system's program folders (/usr and below, /bin, /sbin), which root could write;
//  3. the first folder of LOGS_DIRECTORY, which systemd sets for a unit with LogsDirectory=, when
//     it can be written;
//  4. the fallback the caller names: the received-files folder for jobs, the user's state folder
//     for a tool without a configuration.
// The chosen folder is created when it is missing. A folder that cannot be written is still
// chosen in steps 1 and 4: the log's first line then fails and names the path.
QString conversionLogPath(const QString& configuredFolder, const QString& programFolder, const QString& fallbackFolder);

// The state folder of the user's programs for edi-auto: $XDG_STATE_HOME/edi-auto, by default
// ~/.local/state/edi-auto.
QString userStateFolder();

}  // namespace edi
