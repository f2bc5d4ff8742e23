#pragma once

#include <QString>

namespace edi {

struct AppState;

// The application state as text, one value a line; the password is not shown.
QString stateReport(const AppState& state);

}  // namespace edi
