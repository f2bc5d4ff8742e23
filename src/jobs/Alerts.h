#pragma once

#include "app/config/Configuration.h"
#include "jobs/History.h"

#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace edi {

// What an alert tells of a job: its centre and serial, the step that failed (or the job), the
// codes, and the job's report in words. The scheduler's own alerts (no reception left, another
// workstation silent) have no serial; their step names what they are of.
struct Alert {
    QString centreCode;
    qint32 serial = 0;
    QString step;
    QString code;
    QString detail;
    QString message;
};

// The alert a finished job raises, if any: a job that failed (its backup copy included) or was
// interrupted; a job that received nothing ("受信データなし", or a file still being written) only
// for a centre the settings list under NODATA, whatever its outcome, as an empty mailbox is
// routine for the others. A job that found its centre busy with another process raises none.
std::optional<Alert> alertFor(qint32 serial, const std::vector<HistoryRow>& rows, const AlertSettings& settings);

// Runs the alert command with the alert in EDI_CENTRE, EDI_SERIAL, EDI_STEP, EDI_CODE,
// EDI_DETAIL and EDI_MESSAGE, in a process group of its own within the time limit, and mails it
// to MAILTO. What fails is told to `log` and nothing else: an alert never changes a job.
void raiseAlert(const Alert& alert, const AlertSettings& settings, const QString& workingFolder, const QString& machineName,
                const std::function<void(const QString&)>& log);

class JobContext;

// The alert of a job whose rows are complete, raised when the configuration's ALERT section
// names a command or addresses.
void alertIfDue(JobContext& job, qint32 serial, const std::vector<HistoryRow>& rows,
                const std::function<void(const QString&)>& log);

}  // namespace edi
