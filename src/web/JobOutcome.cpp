#include "web/JobOutcome.h"

#include "app/ResultCode.h"
#include "jobs/JobCodes.h"

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace edi {

JobOutcome jobOutcome(const JobHistory& job)
{
    const HistoryRow& row = job.jobRow();
    if (!row.completed)
        return JobOutcome::Running;
    if (row.endCode == JobCode::centreBusy)
        return JobOutcome::Busy;
    if (job.failed())
        return JobOutcome::Failed;
    return JobCode::receivedNothing(row.detailCode) ? JobOutcome::NoData : JobOutcome::Finished;
}

QString outcomeText(JobOutcome outcome)
{
    switch (outcome) {
    case JobOutcome::Running: return u"処理中"_s;
    case JobOutcome::Finished: return u"正常終了"_s;
    case JobOutcome::NoData: return u"受信データなし"_s;
    case JobOutcome::Failed: return u"異常終了"_s;
    case JobOutcome::Busy: return u"他の処理が受信中"_s;
    }
    return {};
}

QString outcomeKey(JobOutcome outcome)
{
    switch (outcome) {
    case JobOutcome::Running: return u"running"_s;
    case JobOutcome::Finished: return u"finished"_s;
    case JobOutcome::NoData: return u"no_data"_s;
    case JobOutcome::Failed: return u"failed"_s;
    case JobOutcome::Busy: return u"busy"_s;
    }
    return {};
}

QString outcomeClass(JobOutcome outcome)
{
    switch (outcome) {
    case JobOutcome::Running: return u"running"_s;
    case JobOutcome::Finished:
    case JobOutcome::NoData: return u"done"_s;
    case JobOutcome::Failed: return u"error"_s;
    case JobOutcome::Busy: return u"busy"_s;
    }
    return {};
}

qint32 jobRecords(const JobHistory& job)
{
    qint32 records = 0;
    for (const HistoryRow& row : job.rows)
        records = std::max({records, row.inputRecords, row.outputRecords});
    return records;
}

}  // namespace edi
