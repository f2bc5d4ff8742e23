#pragma once

#include <QString>

// The job codes beyond those of the steps, for what a job meets when it shares its centre with
// other processes or outlives its process.
namespace edi::JobCode {

// Another process is receiving the centre: the job touched nothing (job and transfer rows).
inline const QString centreBusy = QStringLiteral("8001");
// The job's process ended (killed, crashed, its database gone) before the row was completed; a
// later start completed it (every row of the job still open).
inline const QString interrupted = QStringLiteral("8002");
// The job's received files could not be copied to the backup folder (detail code of the job row
// of a job that otherwise succeeded).
inline const QString backupFailed = QStringLiteral("8003");

}  // namespace edi::JobCode
