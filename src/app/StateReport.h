#pragma once

#include <QStringList>

namespace edi {

struct AppState;

// The application state as text, one value a line; the password is not shown.
QStringList stateReport(const AppState& state);

}  // namespace edi
