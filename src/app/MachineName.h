#pragma once

#include <QString>

namespace edi {

// The computer's network name as the masters record it: the host name up to its first ".".
QString systemMachineName();

}  // namespace edi
