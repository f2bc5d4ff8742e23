#pragma once

#include <QString>
#include <functional>

namespace edi {

class Clock;
class Database;
class JobContext;
struct JobSettings;

// Where recovery tells what it did: one line per job.
using RecoveryLog = std::function<void(const QString&)>;

// Jobs whose process ended before they were recorded (killed, crashed, cut off from the
// database) leave open rows. Recovery completes them, for jobs of this machine's centres (the
// control master's 実行端末名) whose centre lock is free, so no process runs them:
//
// - what the transfer took from its source is settled by the transfer row: given up when the row
//   says the reception succeeded, given back otherwise (a hand-over file to its path, a Maildir
//   message unread to its folder); a package's unconfirmed delivery is kept aside;
// - when the registration program left its status file (it may have finished after its caller
//   died), its lines are recorded as the step would have, with the job row;
// - every other open row is completed as interrupted ("8002") with a note;
// - the job's received files are copied to the backup folder.
//
// A job whose registration program or communication package still runs is left for later.

// At every start of the program.
void recoverInterruptedJobs(JobContext& job, const RecoveryLog& log);

// At the start of a job, for its centre, whose lock the caller holds. Returns the line of a job
// left for later, empty when none was: the centre's next job must wait for what still runs.
QString recoverCentre(JobContext& job, const QString& centreCode, const RecoveryLog& log);

// At every start of the program, on its connection, before any job runs: each line goes to
// standard error.
void recoverAtStart(Database& database, const Clock& clock, const JobSettings& settings);

}  // namespace edi
