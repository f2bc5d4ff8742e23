#pragma once

#include <QDeadlineTimer>
#include <QString>
#include <chrono>
#include <optional>

namespace edi {

// What the system's process table tells about processes that are not this program's children:
// the members of an external program's process group, and programs started for a job.

// Whether a process of the group is still alive (zombies, which have ended, do not count).
bool processGroupHasLiveMembers(qint64 groupId);

// Waits until no process of the group is alive or the deadline has passed; true when the group
// is gone.
bool waitForProcessGroup(qint64 groupId, const QDeadlineTimer& deadline);

// Ends every process of the group: SIGTERM, then SIGKILL to what is still alive after `grace`,
// then waits until the group is gone (at most a minute: a process stuck in the kernel cannot be
// waited for longer). True when the group is gone.
bool terminateProcessGroup(qint64 groupId, std::chrono::milliseconds grace);

// Whether a live process has `argument` as one of its command-line arguments.
bool processWithArgumentRuns(const QString& argument);

// A process that has a file open.
struct ProcessHoldingFile {
    qint64 pid = 0;
    QString name;  // the program's short name (/proc/PID/comm)
};

// A process of this machine that has the file open for writing (or for reading and writing),
// found through the descriptors in /proc/PID/fd and their flags in /proc/PID/fdinfo; none when
// no process has. Processes whose descriptors this program may not read (another user's, unless
// it runs as root; another container's) are not seen.
std::optional<ProcessHoldingFile> processWritingFile(const QString& path);

}  // namespace edi
