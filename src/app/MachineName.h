#pragma once

#include <QString>

namespace edi {

// The computer's network name as the masters record it: the host name up to its first ".".
// EDI_MACHINE_NAME, when set, names the workstation instead: several workstations on one host,
// as the benchmarks run them, or a container whose host name changes at every start.
QString systemMachineName();

}  // namespace edi
