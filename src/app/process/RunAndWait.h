#pragma once

#include "app/files/FileHelpers.h"

#include <QString>

namespace edi {

// Runs a command line (program path and arguments, split as a shell would without expanding
// anything) in the given working folder and waits for it to end, without a time limit. Done
// once the program has ended, whatever its exit code; Error when it could not be started or
// crashed before its end could be seen.
FileStatus runAndWait(const QString& commandLine, const QString& workingFolder);

}  // namespace edi
