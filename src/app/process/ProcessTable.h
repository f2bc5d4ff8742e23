#pragma once

#include <QDeadlineTimer>
#include <QString>
#include <chrono>

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

}  // namespace edi
