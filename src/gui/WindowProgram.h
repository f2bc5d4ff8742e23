#pragma once

namespace edi {

struct ProgramOptions;

// The scheduler with its windows: start-up in its order with every fatal message as a message
// box, the monitor window shown with automatic running on. Needs a QApplication. Returns the
// exit status: non-zero after a fatal start-up message.
int runWindowMonitor(const ProgramOptions& options);

}  // namespace edi
