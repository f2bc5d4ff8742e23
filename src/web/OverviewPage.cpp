#include "web/WebPages.h"

#include "app/text/TextHelpers.h"
#include "jobs/JobReport.h"
#include "monitor/StatusCommand.h"
#include "web/HtmlPage.h"
#include "web/JobOutcome.h"
#include "web/PageText.h"

#include <QJsonArray>
#include <QJsonDocument>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

QString livenessClass(Liveness liveness)
{
    switch (liveness) {
    case Liveness::Alive: return u"done"_s;
    case Liveness::Silent:
    case Liveness::Unknown: return u"error"_s;
    default: return u"normal"_s;
    }
}

QString nextReception(const WorkstationStatus& status)
{
    if (!status.heartbeat)
        return {};
    if (!status.heartbeat->nextReception.isValid())
        return u"なし"_s;
    return status.heartbeat->nextReception.toString(u"yyyy/MM/dd HH:mm"_s) + u' ' + status.heartbeat->nextCentre;
}

QString runningJob(const WorkstationStatus& status)
{
    if (!status.heartbeat || status.heartbeat->runningCentre.isEmpty())
        return {};
    return status.heartbeat->runningCentre + u' ' + serialText(status.heartbeat->runningSerial);
}

void workstations(HtmlPage& page, const MonitorSnapshot& snapshot)
{
    page.heading(u"端末"_s);
    page.beginTable({u"端末"_s, u"状態"_s, u"最終確認"_s, u"次の受信"_s, u"実行中"_s, u"本日の失敗"_s, u"操作待ち"_s},
                    u"workstations"_s);
    for (const WorkstationStatus& status : snapshot.workstations) {
        page.row({{status.machineName, timetableLink(status.machineName), u"タイムテーブル"_s},
                  {livenessText(status.liveness), {}, {}, livenessClass(status.liveness)},
                  {status.heartbeat ? momentText(status.heartbeat->lastTick) : QString()},
                  {nextReception(status)},
                  {runningJob(status)},
                  {QString::number(status.failedToday.size()), {}, {}, status.failedToday.isEmpty() ? QString() : u"error"_s, true},
                  {QString::number(status.interrupted.size() + status.waitingFiles.size()), {}, {},
                   status.waitsForOperator() ? u"error"_s : QString(), true}});
    }
    page.endTable();
}

void waiting(HtmlPage& page, const MonitorSnapshot& snapshot)
{
    std::vector<std::vector<HtmlCell>> lines;
    for (const WorkstationStatus& status : snapshot.workstations) {
        for (const QString& job : status.interrupted)
            lines.push_back({{status.machineName}, {u"中断したジョブ"_s}, {job, jobLink(job.section(u' ', 0, 0).toInt())}});
        for (const QString& file : status.waitingFiles)
            lines.push_back({{status.machineName}, {u"ファイル"_s}, {file}});
    }
    if (lines.empty())
        return;
    page.heading(u"操作待ち"_s);
    page.beginTable({u"端末"_s, u"種類"_s, u"内容"_s}, u"waiting"_s);
    for (const auto& line : lines)
        page.row(line, u"error"_s);
    page.endTable();
}

void failures(HtmlPage& page, const MonitorSnapshot& snapshot)
{
    std::vector<const JobHistory*> failed;
    for (const JobHistory& job : snapshot.todaysJobs) {
        if (jobOutcome(job) == JobOutcome::Failed)
            failed.push_back(&job);
    }
    page.heading(u"本日の失敗"_s);
    if (failed.empty()) {
        page.paragraph(u"ありません"_s);
        return;
    }
    page.beginTable({u"通番"_s, u"センター"_s, u"開始"_s, u"終了コード"_s, u"詳細コード"_s, u"意味"_s}, u"failures"_s);
    for (const JobHistory* job : failed) {
        const HistoryRow& row = job->jobRow();
        page.row({{serialText(job->serial), jobLink(job->serial)}, {row.centreCode.trimmed()}, {momentText(row.started)},
                  {row.endCode.trimmed()}, {row.detailCode.trimmed()}, {rowMeaning(row)}},
                 u"error"_s);
    }
    page.endTable();
}

void missingData(HtmlPage& page, const MonitorSnapshot& snapshot)
{
    std::vector<const CentreState*> missing;
    for (const CentreState& centre : snapshot.centres) {
        if (centre.expectedNotReceived)
            missing.push_back(&centre);
    }
    if (missing.empty())
        return;
    page.heading(u"予定の受信がありません (NODATA)"_s);
    page.beginTable({u"センターコード"_s, u"センター名"_s, u"端末"_s}, u"expected"_s);
    for (const CentreState* centre : missing)
        page.row({{centre->code}, {centre->name}, {centre->machine}}, u"error"_s);
    page.endTable();
}

void centres(HtmlPage& page, const MonitorSnapshot& snapshot)
{
    page.heading(u"センター"_s);
    page.beginTable({u"センターコード"_s, u"センター名"_s, u"端末"_s, u"最終受信"_s, u"結果"_s, u"意味"_s, u"件数"_s, u"通番"_s},
                    u"centres"_s);
    for (const CentreState& centre : snapshot.centres) {
        if (!centre.lastJob) {
            page.row({{centre.code}, {centre.name}, {centre.machine}, {u"なし"_s}, {}, {}, {}, {}});
            continue;
        }
        const JobHistory& job = *centre.lastJob;
        const JobOutcome outcome = jobOutcome(job);
        page.row({{centre.code}, {centre.name}, {centre.machine}, {momentText(job.jobRow().started)},
                  {outcomeText(outcome), {}, {}, outcomeClass(outcome)}, {rowMeaning(job.jobRow())},
                  {QString::number(jobRecords(job)), {}, {}, {}, true}, {serialText(job.serial), jobLink(job.serial)}});
    }
    page.endTable();
}

}  // namespace

QByteArray overviewHtml(const MonitorSnapshot& snapshot)
{
    HtmlPage page(u"概要"_s, true);
    takenAt(page, snapshot);
    workstations(page, snapshot);
    waiting(page, snapshot);
    missingData(page, snapshot);
    failures(page, snapshot);
    centres(page, snapshot);
    return page.finish();
}

QByteArray overviewJson(const MonitorSnapshot& snapshot)
{
    QJsonArray machines;
    for (const WorkstationStatus& status : snapshot.workstations)
        machines.append(workstationStatusJson(status));
    QJsonArray centreList;
    for (const CentreState& centre : snapshot.centres) {
        centreList.append(QJsonObject{{u"centre"_s, centre.code},
                                      {u"name"_s, centre.name},
                                      {u"machine"_s, centre.machine},
                                      {u"last_job"_s, centre.lastJob ? QJsonValue(jobSummaryJson(*centre.lastJob)) : QJsonValue()},
                                      {u"last_success"_s, centre.lastSuccess ? QJsonValue(jsonMoment(*centre.lastSuccess)) : QJsonValue()},
                                      {u"expected_not_received"_s, centre.expectedNotReceived}});
    }
    QJsonArray failed;
    for (const JobHistory& job : snapshot.todaysJobs) {
        if (jobOutcome(job) == JobOutcome::Failed)
            failed.append(jobSummaryJson(job));
    }
    const QJsonObject overview{{u"taken"_s, jsonMoment(snapshot.taken)},
                               {u"problem"_s, snapshot.problem.isEmpty() ? QJsonValue() : QJsonValue(snapshot.problem)},
                               {u"workstations"_s, machines},
                               {u"centres"_s, centreList},
                               {u"failed_today"_s, failed}};
    return QJsonDocument(overview).toJson(QJsonDocument::Compact);
}

}  // namespace edi
