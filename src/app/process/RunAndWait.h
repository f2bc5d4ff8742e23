#pragma once

#include "app/files/FileHelpers.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <chrono>

namespace edi {

// How long a program stopped at its time limit may take to end after SIGTERM before SIGKILL.
inline constexpr std::chrono::milliseconds kStopGrace{3000};

// Runs a program in the given working folder, its input empty, in a process group of its own,
// and waits until the group is gone: the program and whatever it started in its group (the real
// program behind a wrapper script). Done once they have ended, whatever the exit code; Error
// when the program could not be started, crashed, or the group was still running after
// timeLimitSeconds: then the whole group is stopped (SIGTERM, SIGKILL after kStopGrace) and
// waited for, so nothing of it still works once the step has failed. A time limit of 0 waits
// without limit.
FileStatus runAndWait(const QString& program, const QStringList& arguments, const QString& workingFolder,
                      int timeLimitSeconds = 0);

// How runAndWaitWith's program ended: Done or Error as for runAndWait, and the exit code of a
// program that ended by itself (-1 otherwise).
struct ProgramEnd {
    FileStatus status = FileStatus::Error;
    int exitCode = -1;
};
// runAndWait with the environment given and the exit code kept.
ProgramEnd runAndWaitWith(const QString& program, const QStringList& arguments, const QString& workingFolder,
                          int timeLimitSeconds, const QProcessEnvironment& environment);

// The same for a command line: the program path and its arguments, split as a shell would
// without expanding anything.
FileStatus runAndWait(const QString& commandLine, const QString& workingFolder, int timeLimitSeconds = 0);

}  // namespace edi
