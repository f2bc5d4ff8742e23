#include "web/WebPages.h"

#include "app/text/TextHelpers.h"
#include "jobs/HistoryListing.h"
#include "jobs/JobReport.h"
#include "web/HtmlPage.h"
#include "web/JobOutcome.h"
#include "web/PageText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QUrl>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

QString historyLink(const QString& path, const HistoryFilter& filter, int page)
{
    QStringList items;
    auto add = [&items](const char16_t* name, const QString& value) {
        items << QString::fromUtf16(name) + u'=' + QString::fromLatin1(QUrl::toPercentEncoding(value));
    };
    add(u"from", filter.from.toString(u"yyyy-MM-dd"_s));
    add(u"to", filter.to.toString(u"yyyy-MM-dd"_s));
    if (!filter.centreCode.isEmpty())
        add(u"centre", filter.centreCode);
    if (filter.failedOnly)
        add(u"failed", u"1"_s);
    if (page > 1)
        add(u"page", QString::number(page));
    return path + u'?' + items.join(u'&');
}

// The rows of jobs as the history command lists them, each job's rows in its outcome's colour.
void jobRows(HtmlPage& page, const std::vector<JobHistory>& jobs)
{
    page.beginTable(historyColumnTitles(), u"history"_s);
    for (const JobHistory& job : jobs) {
        const QString cssClass = outcomeClass(jobOutcome(job));
        for (const HistoryRow& row : job.rows) {
            std::vector<HtmlCell> cells;
            const QStringList texts = historyCells(job.serial, row);
            for (qsizetype column = 0; column < texts.size(); ++column)
                cells.push_back({texts[column], column == 0 ? jobLink(job.serial) : QString(), {}, {},
                                 column == 0 || column == 1 || column == 10 || column == 11});
            page.row(cells, row.branch == 0 ? cssClass + u" job"_s : cssClass);
        }
    }
    page.endTable();
}

}  // namespace

QByteArray historyHtml(const HistoryPageView& view)
{
    HtmlPage page(u"履歴"_s);
    const HistoryFilter& filter = view.filter;
    page.getForm(u"/history"_s,
                 {{u"from"_s, u"開始日"_s, filter.from.toString(u"yyyy-MM-dd"_s), u"date"_s},
                  {u"to"_s, u"終了日"_s, filter.to.toString(u"yyyy-MM-dd"_s), u"date"_s},
                  {u"centre"_s, u"センター"_s, filter.centreCode},
                  {u"failed"_s, u"失敗のみ"_s, filter.failedOnly ? u"1"_s : QString(), u"checkbox"_s}},
                 u"表示"_s);
    page.paragraph(u"%1 ページ / このページのジョブ %2 件 (新しい順)"_s.arg(view.page).arg(view.jobs.size()));
    jobRows(page, view.jobs);
    std::vector<HtmlCell> links;
    if (view.page > 1)
        links.push_back({u"前のページ"_s, historyLink(u"/history"_s, filter, view.page - 1)});
    if (view.more)
        links.push_back({u"次のページ"_s, historyLink(u"/history"_s, filter, view.page + 1)});
    links.push_back({u"CSV"_s, historyLink(u"/history.csv"_s, filter, 1)});
    page.links(links);
    return page.finish();
}

QByteArray historyJson(const HistoryPageView& view)
{
    const QJsonArray jobs = QJsonDocument::fromJson(formatHistory(view.jobs, HistoryFormat::Json).toUtf8()).array();
    return QJsonDocument(QJsonObject{{u"page"_s, view.page}, {u"more"_s, view.more}, {u"jobs"_s, jobs}})
        .toJson(QJsonDocument::Compact);
}

QByteArray jobHtml(const JobHistory& job)
{
    HtmlPage page(u"ジョブ "_s + serialText(job.serial));
    const HistoryRow& row = job.jobRow();
    const JobOutcome outcome = jobOutcome(job);
    page.values({{u"センター"_s, {row.centreCode.trimmed()}},
                 {u"結果"_s, {outcomeText(outcome), {}, {}, outcomeClass(outcome)}},
                 {u"意味"_s, {rowMeaning(row)}},
                 {u"件数"_s, {QString::number(jobRecords(job))}},
                 {u"端末"_s, {History::machineNamedIn(row.note)}}});
    jobRows(page, {job});
    page.heading(u"報告"_s);
    for (const QString& line : jobReport(job.serial, job.rows))
        page.paragraph(line, u"report"_s);
    return page.finish();
}

QByteArray jobJson(const JobHistory& job)
{
    const QJsonArray jobs = QJsonDocument::fromJson(formatHistory({job}, HistoryFormat::Json).toUtf8()).array();
    QJsonObject object = jobs.first().toObject();
    object.insert(u"outcome"_s, outcomeKey(jobOutcome(job)));
    object.insert(u"report"_s, QJsonArray::fromStringList(jobReport(job.serial, job.rows)));
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

}  // namespace edi
