#pragma once

#include "jobs/History.h"

#include <QString>

namespace edi {

// How a job stands, as the monitor's pages colour and count it.
enum class JobOutcome { Running, Finished, NoData, Failed, Busy };

JobOutcome jobOutcome(const JobHistory& job);
// In words for the pages (処理中, 正常終了, ...), and as a key for the API and metrics.
QString outcomeText(JobOutcome outcome);
QString outcomeKey(JobOutcome outcome);
// The stylesheet's class of the outcome's colour (the window's [COLOR] colours).
QString outcomeClass(JobOutcome outcome);
// The records a job brought in: the most any of its steps wrote.
qint32 jobRecords(const JobHistory& job);

}  // namespace edi
