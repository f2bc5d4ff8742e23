#pragma once

#include <QString>
#include <QStringList>

namespace edi {

class JobContext;
class JobObserver;

// What a re-run of an earlier job takes: the job's centre and the received files its conversion
// starts from, or why it cannot run.
struct RerunPlan {
    qint32 serial = 0;    // the job run again
    QString centreCode;
    QStringList sources;  // the received CII file, or the received XML files, as full paths
    QString machine;      // the machine that ran the job, when it was another one
    QString refusal;      // why it cannot run; empty when it can
};

// Whether the job `serial` can run again, and from what. It can when its transfer brought data
// (its transfer row succeeded, or was interrupted after the data was in) and its received files
// are in the received-files folder, the centre's receive folder or the backup folder. It cannot
// while its rows are open (it still runs) or once any of its data was registered: by its
// registration rows, by a status file its registration program left, or by an earlier re-run of
// it; nor when it held back data equal to a delivery registered before ("8004"); `force` runs it
// all the same. A job another machine ran is named so in the refusal.
RerunPlan planRerun(JobContext& job, qint32 serial, bool force);

// The re-run's transfer step: the earlier job's received files copied under the new serial into
// the received-files folder (a kept-aside duplicate under its own name), with a transfer row that
// names them and the machine that received them when it was another one. Returns "0000" or
// "9999".
QString restoreReceivedFiles(JobContext& job, const RerunPlan& plan, qint32 serial, JobObserver& observer);

// The note of a re-run's job row, which later re-runs of the same job look for.
QString rerunNote(qint32 serial);

}  // namespace edi
