#include "web/HistoryPageQuery.h"

#include "app/ResultCode.h"
#include "app/database/Database.h"
#include "jobs/JobCodes.h"

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace edi {

namespace {

// The job rows the filter selects: "SELECT what FROM ... WHERE ...".
Sql jobRowsOf(const QString& what, const HistoryFilter& filter)
{
    Sql serials{u"SELECT "_s + what
                    + u" FROM FL1102処理履歴ファイル WHERE 枝番 = 0 AND 処理開始日付 >= ? AND 処理開始日付 <= ?"_s,
                {filter.from, filter.to}};
    if (!filter.centreCode.isEmpty()) {
        serials.text += u" AND センターコード = ?"_s;
        serials.values << filter.centreCode;
    }
    if (filter.failedOnly) {  // as JobHistory::failed tells it
        serials.text += u" AND 処理終了日付 IS NOT NULL AND (終了コード <> ? OR 詳細コード = ?)"_s;
        serials.values << ResultCode::ok << JobCode::backupFailed;
    }
    return serials;
}

}  // namespace

qint64 countHistoryJobs(Database& database, const HistoryFilter& filter)
{
    return database.query(jobRowsOf(u"COUNT(*)"_s, filter)).value(0).toLongLong();
}

void readHistoryPage(Database& database, HistoryPageView& view)
{
    Sql serials = jobRowsOf(u"通番"_s, view.filter);
    // Newest first in the order of the history's indexes by start date (枝番, 処理開始日付, 通番)
    // and by centre (センターコード, 枝番, 処理開始日付, 通番): a page is read from where it begins,
    // however long the span, without sorting the span's jobs. Serials grow with the start, so
    // within a day this is their order. One job more than a page tells whether another follows.
    serials.text += u" ORDER BY 処理開始日付 DESC, 通番 DESC LIMIT ? OFFSET ?"_s;
    serials.values << HistoryPageView::kJobsPerPage + 1 << (view.page - 1) * HistoryPageView::kJobsPerPage;
    view.jobs = jobsOfSerials(database, serials);
    std::sort(view.jobs.begin(), view.jobs.end(), [](const JobHistory& a, const JobHistory& b) {
        const QDate dayOfA = a.jobRow().started.date();
        const QDate dayOfB = b.jobRow().started.date();
        return dayOfA != dayOfB ? dayOfA > dayOfB : a.serial > b.serial;
    });
    view.more = view.jobs.size() > size_t(HistoryPageView::kJobsPerPage);
    if (view.more)
        view.jobs.pop_back();
}

}  // namespace edi
