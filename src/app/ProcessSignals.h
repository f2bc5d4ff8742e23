#pragma once

namespace edi {

// Signals from outside, caught as flags that the program's timer reads: the handlers themselves
// do nothing else.
// SIGINT and SIGTERM: the program is asked to end.
void catchEndSignals();
bool endRequested();
// SIGHUP (systemctl reload): the timetable is to be built anew. True once per signal.
void catchReloadSignal();
bool takeReloadRequest();

}  // namespace edi
