#include "web/WebSite.h"

#include "app/Clock.h"
#include "app/database/Database.h"
#include "app/database/DatabaseError.h"
#include "jobs/HistoryListing.h"
#include "web/HistoryPageQuery.h"
#include "web/SnapshotCache.h"
#include "web/WebPages.h"
#include "web/WebUsers.h"

#include <QRegularExpression>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

// How old the snapshot of the overview, the timetables and the metrics may grow before it is read
// again: the pages reload every 30 seconds.
constexpr int kSnapshotSeconds = 5;
// The longest span of days one history request lists.
constexpr int kMaxHistoryDays = 366;
constexpr int kMaxPage = 100000;
// The most jobs one CSV holds: it is made in memory.
constexpr int kMaxCsvJobs = 20000;

std::optional<QDate> dateParameter(const WebRequest& request, const QString& name, const QDate& fallback)
{
    const QString text = request.parameter(name);
    if (text.isEmpty())
        return fallback;
    const QDate date = QDate::fromString(text, u"yyyy-MM-dd"_s);
    return date.isValid() ? std::optional(date) : std::nullopt;
}

// A history filter from the query: from, to (default today), centre, failed=1, page.
std::optional<HistoryPageView> historyView(const WebRequest& request, const QDate& today, QString& problem)
{
    HistoryPageView view;
    const std::optional<QDate> from = dateParameter(request, u"from"_s, today);
    const std::optional<QDate> to = dateParameter(request, u"to"_s, from.value_or(today) < today ? today : from.value_or(today));
    if (!from || !to) {
        problem = u"日付は YYYY-MM-DD の形で指定してください"_s;
        return std::nullopt;
    }
    if (*from > *to || from->daysTo(*to) >= kMaxHistoryDays) {
        problem = u"期間は %1 日以内で、開始日は終了日以前にしてください"_s.arg(kMaxHistoryDays);
        return std::nullopt;
    }
    view.filter = {*from, *to, request.parameter(u"centre"_s).trimmed(), request.parameter(u"failed"_s) == u"1"_s};
    const QString page = request.parameter(u"page"_s);
    bool number = true;
    view.page = page.isEmpty() ? 1 : page.toInt(&number);
    if (!number || view.page < 1 || view.page > kMaxPage) {
        problem = u"ページは 1 以上の数で指定してください"_s;
        return std::nullopt;
    }
    return view;
}

std::optional<qint32> serialArgument(const QString& rest)
{
    static const QRegularExpression digits(u"^\\d{1,9}$"_s);
    if (!digits.match(rest).hasMatch())
        return std::nullopt;
    return rest.toInt();
}

WebResponse notFound()
{
    return WebResponse::error(404, u"ページが見つかりません"_s);
}

}  // namespace

WebSite::WebSite(Database& database, const Clock& clock, const SiteSettings& settings, WebUsers* users)
    : database_(database), clock_(clock), settings_(settings), users_(users),
      snapshots_(std::make_unique<SnapshotCache>(database, clock, settings.noDataCentres, kSnapshotSeconds))
{
    const QByteArray style = stylesheet(settings_.colours);
    routes_ = {
        {u"/"_s, false, [this](const WebRequest& r) { return overview(r, false); }},
        {u"/api/overview"_s, false, [this](const WebRequest& r) { return overview(r, true); }},
        {u"/timetable"_s, false, [this](const WebRequest& r) { return timetable(r, false); }},
        {u"/api/timetable"_s, false, [this](const WebRequest& r) { return timetable(r, true); }},
        {u"/history"_s, false, [this](const WebRequest& r) { return history(r, u"html"_s); }},
        {u"/api/history"_s, false, [this](const WebRequest& r) { return history(r, u"json"_s); }},
        {u"/history.csv"_s, false, [this](const WebRequest& r) { return history(r, u"csv"_s); }},
        {u"/job/"_s, true, [this](const WebRequest& r) { return job(r, false); }},
        {u"/api/job/"_s, true, [this](const WebRequest& r) { return job(r, true); }},
        {u"/metrics"_s, false,
         [this](const WebRequest&) {
             return snapshots_->page(u"metrics"_s, [](const MonitorSnapshot& snapshot) {
                 return WebResponse::text(metricsText(snapshot), "text/plain; version=0.0.4; charset=utf-8");
             });
         }},
        {u"/healthz"_s, false, [this](const WebRequest&) { return health(); }},
        {u"/style.css"_s, false, [style](const WebRequest&) { return WebResponse::text(style, "text/css; charset=utf-8"); }},
        {u"/refresh.js"_s, false,
         [](const WebRequest&) { return WebResponse::text(refreshScript(), "text/javascript; charset=utf-8"); }},
    };
}

WebSite::~WebSite() = default;

WebResponse WebSite::answer(const WebRequest& request)
{
    WebResponse response = checkedAnswer(request);
    if (response.status >= 400 && request.path.startsWith(u"/api/"_s))
        return response.asJson();
    return response;
}

WebResponse WebSite::checkedAnswer(const WebRequest& request)
{
    if (request.method != "GET" && request.method != "HEAD") {
        WebResponse refused = WebResponse::error(405, u"この操作はできません (GET と HEAD のみ)"_s);
        refused.addHeader("Allow", "GET, HEAD");
        return refused;
    }
    if (users_ && !users_->allows(request.authorization)) {
        WebResponse login = WebResponse::error(401, u"ログインしてください"_s);
        login.addHeader("WWW-Authenticate", "Basic realm=\"EDI\", charset=\"UTF-8\"");
        return login;
    }
    try {
        return route(request);
    } catch (const DatabaseError& error) {
        return WebResponse::error(503, u"データベースを読めません: "_s + error.message());
    }
}

WebResponse WebSite::route(const WebRequest& request)
{
    for (const Route& route : routes_) {
        if (route.prefix ? request.path.startsWith(route.path) : request.path == route.path)
            return route.handler(request);
    }
    return notFound();
}

WebResponse WebSite::overview(const WebRequest&, bool json)
{
    return snapshots_->page(json ? u"api/overview"_s : u"overview"_s, [json](const MonitorSnapshot& snapshot) {
        return json ? WebResponse::json(overviewJson(snapshot)) : WebResponse::html(overviewHtml(snapshot));
    });
}

WebResponse WebSite::timetable(const WebRequest& request, bool json)
{
    const QString machine = request.parameter(u"machine"_s);
    const std::shared_ptr<const MonitorSnapshot> snapshot = snapshots_->current();
    if (!snapshot->schedules.contains(machine) && !snapshot->workstation(machine))
        return WebResponse::error(404, u"端末 %1 はありません"_s.arg(machine));
    const QDateTime now = clock_.now();
    return snapshots_->page((json ? u"api/timetable/"_s : u"timetable/"_s) + machine,
                            [&](const MonitorSnapshot& current) {
                                const std::vector<TimetableLine> lines = machineTimetable(current, machine, now, settings_.catchupMinutes);
                                return json ? WebResponse::json(timetableJson(current, machine, lines))
                                            : WebResponse::html(timetableHtml(current, machine, lines));
                            });
}

WebResponse WebSite::history(const WebRequest& request, const QString& format)
{
    QString problem;
    std::optional<HistoryPageView> view = historyView(request, clock_.today(), problem);
    if (!view)
        return WebResponse::error(400, problem);
    database_.reconnectIfLost();
    if (format == u"csv"_s) {
        if (countHistoryJobs(database_, view->filter) > kMaxCsvJobs)
            return WebResponse::error(413, u"ジョブが %1 件を超えます。期間やセンターで絞り込んでください"_s.arg(kMaxCsvJobs));
        const SystemClock unused;  // reading the history asks no time
        const QString csv = formatHistory(History(database_, unused).jobs(view->filter), HistoryFormat::Csv);
        WebResponse response = WebResponse::text(csv.toUtf8(), "text/csv; charset=utf-8");
        response.addHeader("Content-Disposition", "attachment; filename=\"history.csv\"");
        return response;
    }
    readHistoryPage(database_, *view);
    return format == u"json"_s ? WebResponse::json(historyJson(*view)) : WebResponse::html(historyHtml(*view));
}

WebResponse WebSite::job(const WebRequest& request, bool json)
{
    const std::optional<qint32> serial = serialArgument(request.path.mid(json ? 9 : 5));
    if (!serial)
        return notFound();
    database_.reconnectIfLost();
    const SystemClock unused;
    JobHistory found{*serial, History(database_, unused).jobRows(*serial)};
    if (found.rows.empty() || found.rows.front().branch != 0)
        return WebResponse::error(404, u"通番 %1 のジョブはありません"_s.arg(*serial));
    return json ? WebResponse::json(jobJson(found)) : WebResponse::html(jobHtml(found));
}

WebResponse WebSite::health()
{
    try {
        database_.reconnectIfLost();
        database_.query({u"SELECT 1"_s, {}});
        return WebResponse::text("ok\n", "text/plain; charset=utf-8");
    } catch (const DatabaseError& error) {
        return WebResponse::text((u"database: "_s + error.message() + u'\n').toUtf8(), "text/plain; charset=utf-8", 503);
    }
}

}  // namespace edi
