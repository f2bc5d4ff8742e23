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
    // One job more than a page tells whether another page follows.
    serials.text += u" ORDER BY 通番 DESC LIMIT ? OFFSET ?"_s;
    serials.values << HistoryPageView::kJobsPerPage + 1 << (view.page - 1) * HistoryPageView::kJobsPerPage;
    view.jobs = jobsOfSerials(database, serials);
    std::reverse(view.jobs.begin(), view.jobs.end());
    view.more = view.jobs.size() > size_t(HistoryPageView::kJobsPerPage);
    if (view.more)
        view.jobs.pop_back();
}

}  // namespace edi
