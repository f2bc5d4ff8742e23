#pragma once

#include "jobs/JobObserver.h"

#include <QString>

namespace edi {

class JobContext;

// RunScheduledJob: one reception for a centre, start to end. It opens the job's history row,
// receives the centre's data by its transfer method, converts it, registers it, and copies the
// job's received files to the backup folder, telling the observer each step's text and the row's
// state. Returns the row's final state: Finished, or Failed after the first step that failed.
RowState runScheduledJob(JobContext& job, const QString& centreCode, JobObserver& observer);

// BackupJobFiles: copies every file of the received-files folder whose name begins with the
// job's serial to the backup folder. False when a copy failed.
bool backupJobFiles(JobContext& job, qint32 serial);

}  // namespace edi
