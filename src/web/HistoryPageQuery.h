#pragma once

#include "web/WebPages.h"

namespace edi {

class Database;

// The page of jobs view.filter and view.page select, newest first, with whether more follow.
// Throws DatabaseError.
void readHistoryPage(Database& database, HistoryPageView& view);
// How many jobs the filter selects. Throws DatabaseError.
qint64 countHistoryJobs(Database& database, const HistoryFilter& filter);

}  // namespace edi
