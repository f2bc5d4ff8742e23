#pragma once

#include <QString>

namespace edi {

struct JobSettings;

// A file an earlier job left under the serial in this workstation's folders: the received-files
// and backup folders (names that begin with the serial), and the registration program's command
// and status files. The first one found, in words for the history; empty when there is none.
// What History::openJob asks before it takes a serial.
QString earlierJobFile(const JobSettings& settings, qint32 serial);

}  // namespace edi
