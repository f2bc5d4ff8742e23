#pragma once

#include "app/files/FileHelpers.h"

#include <QString>
#include <QStringList>

namespace edi {

// Runs a program in the given working folder, its input empty, and waits for it to end. Done once the program has
// ended, whatever its exit code; Error when it could not be started, crashed, or was still
// running after timeLimitSeconds (then it is killed). A time limit of 0 waits without limit.
FileStatus runAndWait(const QString& program, const QStringList& arguments, const QString& workingFolder,
                      int timeLimitSeconds = 0);

// The same for a command line: the program path and its arguments, split as a shell would
// without expanding anything.
FileStatus runAndWait(const QString& commandLine, const QString& workingFolder, int timeLimitSeconds = 0);

}  // namespace edi
