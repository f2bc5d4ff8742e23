#pragma once

#include "jobs/JobObserver.h"

#include <QString>

namespace edi {

class JobContext;

// RunScheduledJob: one reception for a centre, start to end. It opens the job's history row,
// receives the centre's data by its transfer method, keeps it aside when it repeats a delivery
// registered before (see checkDuplicateDelivery), converts it, copies the job's received files to
// the backup folder and registers them, telling the observer each step's text and the row's
// state. Returns the row's final state: Finished (also after a reception that brought nothing:
// the job row ends "0000" with the transfer's detail code, and nothing is converted), or Failed
// after the first step that failed.
// A job note, when given, goes into the job row's note (a reception run late says so).
RowState runScheduledJob(JobContext& job, const QString& centreCode, JobObserver& observer,
                         const QString& jobNote = {});

// How a re-run ended: the row's state, or why it did not run.
struct RerunOutcome {
    RowState state = RowState::Failed;
    QString refusal;  // empty when the re-run ran
};

// ReRunJob: the conversion and registration steps again for the earlier job `serial`, whose
// transfer brought data and a later step failed or was interrupted, from its received files, as
// a new job under the centre's lock: the new job's rows say which serial they run again, its
// transfer row which files it started from. Refused (see planRerun) for a job whose data was
// registered, unless `force`; forced, it registers data equal to a delivery registered before, and
// files the earlier job kept aside as duplicates take their own names again.
RerunOutcome rerunJob(JobContext& job, qint32 serial, bool force, JobObserver& observer);

// BackupJobFiles: copies every file of the received-files folder whose name begins with the
// job's serial to the backup folder, each on the disk when this returns. False when a copy failed.
bool backupJobFiles(JobContext& job, qint32 serial);

}  // namespace edi
