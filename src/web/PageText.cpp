#include "web/PageText.h"

#include "jobs/JobReport.h"
#include "web/HtmlPage.h"
#include "web/JobOutcome.h"
#include "web/MonitorSnapshot.h"

#include <QUrl>

using namespace Qt::Literals::StringLiterals;

namespace edi {

QString momentText(const QDateTime& moment)
{
    return moment.isValid() ? moment.toString(u"yyyy/MM/dd HH:mm:ss"_s) : QString();
}

QString jsonMoment(const QDateTime& moment)
{
    return moment.isValid() ? moment.toString(u"yyyy-MM-dd HH:mm:ss"_s) : QString();
}

QString jobLink(qint32 serial)
{
    return u"/job/"_s + QString::number(serial);
}

QString timetableLink(const QString& machine)
{
    return u"/timetable?machine="_s + QString::fromLatin1(QUrl::toPercentEncoding(machine));
}

QJsonObject jobSummaryJson(const JobHistory& job)
{
    const HistoryRow& row = job.jobRow();
    const JobOutcome outcome = jobOutcome(job);
    return {{u"serial"_s, job.serial},
            {u"centre"_s, row.centreCode.trimmed()},
            {u"started"_s, jsonMoment(row.started)},
            {u"ended"_s, row.completed ? QJsonValue(jsonMoment(row.ended)) : QJsonValue()},
            {u"end_code"_s, row.endCode.trimmed()},
            {u"detail_code"_s, row.detailCode.trimmed()},
            {u"meaning"_s, rowMeaning(row)},
            {u"outcome"_s, outcomeKey(outcome)},
            {u"records"_s, jobRecords(job)}};
}

void takenAt(HtmlPage& page, const MonitorSnapshot& snapshot)
{
    page.paragraph(u"時点 "_s + momentText(snapshot.taken), u"taken"_s);
    if (!snapshot.problem.isEmpty())
        page.paragraph(u"データベースを読めないため、この時点の内容を表示しています: "_s + snapshot.problem, u"error"_s);
}

}  // namespace edi
