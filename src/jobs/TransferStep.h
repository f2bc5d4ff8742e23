#pragma once

#include <QString>

namespace edi {

class JobContext;
class JobObserver;

// RunTransfer: the transfer step under the job's serial, with its own history row. It receives
// the centre's data by its transfer method: the communication package ("Z"), mail ("M") or the
// hand-over of a file put at a fixed path ("W"). What the transport took from its source is given
// up only once the transfer row is completed (the received files on the disk before), and given
// back when that fails, so the data is neither lost nor received twice. Returns the step's result
// code: "0000"; the detail code of a transfer that ended well without data, JobCode::noData or
// JobCode::notSettled (its row ends "0000" with that detail); "5001" (communication package),
// "5100" (mail, hand-over), "6101"/"7002" (control master) or "9999".
QString runTransfer(JobContext& job, const QString& centreCode, qint32 serial, JobObserver& observer);

}  // namespace edi
