#pragma once

#include <QString>
#include <vector>

namespace edi {

struct AppState;
struct ScheduleMasterRow;

// The application state as text, one value a line; the password is not shown.
QString stateReport(const AppState& state);

// The rows of the schedule query as a table.
QString scheduleRowsReport(const std::vector<ScheduleMasterRow>& rows);

}  // namespace edi
