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

namespace {

// Each outcome in words, as a key, and the class of its colour (the window's [COLOR] colours).
struct OutcomeName {
    JobOutcome outcome;
    const char16_t* text;
    const char16_t* key;
    const char16_t* cssClass;
};
constexpr OutcomeName kOutcomeNames[] = {
    {JobOutcome::Running, u"処理中", u"running", u"running"},
    {JobOutcome::Finished, u"正常終了", u"finished", u"done"},
    {JobOutcome::NoData, u"受信データなし", u"no_data", u"done"},
    {JobOutcome::Failed, u"異常終了", u"failed", u"error"},
    {JobOutcome::Busy, u"他の処理が受信中", u"busy", u"busy"},
};

const OutcomeName& nameOf(JobOutcome outcome)
{
    return *std::find_if(std::begin(kOutcomeNames), std::end(kOutcomeNames),
                         [outcome](const OutcomeName& name) { return name.outcome == outcome; });
}

}  // namespace

QString outcomeText(JobOutcome outcome)
{
    return QString::fromUtf16(nameOf(outcome).text);
}

QString outcomeKey(JobOutcome outcome)
{
    return QString::fromUtf16(nameOf(outcome).key);
}

QString outcomeClass(JobOutcome outcome)
{
    return QString::fromUtf16(nameOf(outcome).cssClass);
}

qint32 jobRecords(const JobHistory& job)
{
    qint32 records = 0;
    for (const HistoryRow& row : job.rows)
        records = std::max({records, row.inputRecords, row.outputRecords});
    return records;
}

}  // namespace edi
