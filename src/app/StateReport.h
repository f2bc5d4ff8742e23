#pragma once

#include <QStringList>

namespace edi {

struct AppState;

// The application state as text, one value a line; the password is not shown.
QStringList stateReport(const AppState& state);

// A run state in words (RunState's values; a heartbeat's 9 is a scheduler that ended).
QString runStateText(int state);

}  // namespace edi
