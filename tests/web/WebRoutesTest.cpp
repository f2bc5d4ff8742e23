#include "WebProcess.h"
#include "app/Clock.h"
#include "app/ResultCode.h"
#include "jobs/History.h"
#include "jobs/JobCodes.h"
#include "monitor/Heartbeat.h"
#include "support/TestDatabase.h"
#include "support/TestFiles.h"
#include "support/TestMail.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QUrl>
#include <gtest/gtest.h>
#include <map>

using namespace Qt::Literals::StringLiterals;

namespace edi::test {
namespace {

// The web program runs in the test clock's time: today is 2026-12-09, a Wednesday, 11:05.
const QDate kToday(2026, 12, 9);
const QDate kYesterday = kToday.addDays(-1);
const QString kClockStart = u"2026-12-09 11:05:00"_s;
const QString kMachine = u"WS-A"_s;
// What partners and operators may type into names and notes.
const QString kScript = u"<script>alert(1)</script>"_s;
const QString kAttribute = u"\"onmouseover=alert(1)"_s;
const QString kHostileCentre = u"Q\"1"_s;  // its quote must be escaped in the metrics' labels
const QString kHostileMachine = u"PC \"onmouseover=alert(1) <b>"_s;
// More than a page of jobs yesterday.
constexpr int kPagedJobs = 55;
constexpr int kJobsPerPage = 50;

QDateTime today(int hour, int minute, int second = 0)
{
    return QDateTime(kToday, QTime(hour, minute, second));
}

QByteArray encoded(const QString& text)
{
    return QUrl::toPercentEncoding(text);
}

// A job of the centre that the machine ran, with a transfer step: started at `started`, both rows
// ended 40 seconds later with the codes given, or left open (the job still runs) without codes.
qint32 writeJob(Database& db, const QString& centre, const QDateTime& started, const QString& endCode,
                const QString& detailCode = ResultCode::ok, const QString& note = {})
{
    ManualClock clock(started);
    History history(db, clock);
    HistoryStart start{0, 0, u"R"_s, u"1"_s, u"01"_s, centre,
                       note.isEmpty() ? History::machineNote(kMachine) : History::machineNote(kMachine) + u" / "_s + note};
    history.openJob(start);
    HistoryStart transfer{start.serial, 0, u"R"_s, u"1"_s, u"10"_s, centre, {}};
    history.addStep(transfer);
    if (endCode.isEmpty())
        return start.serial;
    clock.advanceSeconds(40);
    for (const qint16 branch : {transfer.branch, qint16(0)}) {
        HistoryCompletion end;
        end.serial = start.serial;
        end.branch = branch;
        end.endCode = endCode;
        end.detailCode = detailCode;
        end.inputRecords = endCode == ResultCode::ok ? 12 : 0;
        history.closeRow(end);
    }
    return start.serial;
}

// Yesterday's jobs of the other workstation's centre, finished, serials 1 to kPagedJobs.
void writePagedJobs(Database& db)
{
    db.inTransaction([&] {
        PreparedStatement insert = db.prepare(
            u"INSERT INTO FL1102処理履歴ファイル (通番, 枝番, 送受信種別, 相手先種別, 処理種別, 処理開始日付, 処理開始時刻,"
            u" センターコード, 処理終了日付, 処理終了時刻, 終了コード, 詳細コード, 備考) VALUES (?, 0, 'R', '1', '01', ?, ?,"
            u" 'ZC02', ?, ?, '0000', '0000', '端末 OTHER-PC')"_s);
        for (int serial = 1; serial <= kPagedJobs; ++serial) {
            const QTime started = QTime(8, 0).addSecs(serial * 60);
            insert.execute({serial, kYesterday, started, kYesterday, started.addSecs(30)});
        }
    });
}

// A centre of WS-A whose name is a script, received daily at 10:00.
void addHostileCentre(Database& db)
{
    db.execute({u"INSERT INTO FL1903EDI制御マスタ (センターコード, センター名, 送受信方式, 実行端末名, 相手先種別)"
                u" VALUES (?, ?, 'W', ?, '1')"_s,
                {kHostileCentre, kScript + kAttribute, kMachine}});
    for (int weekday = 1; weekday <= 7; ++weekday)
        db.execute({u"INSERT INTO FL1912EDIスケジュールマスタ (センターコード, 曜日, 起動時刻, 送受信種別) VALUES (?, ?, ?, 'R')"_s,
                    {kHostileCentre, weekday, QTime(10, 0)}});
}

void writeHeartbeat(Database& db, const QString& machine, const QDateTime& lastTick)
{
    Heartbeat heartbeat;
    heartbeat.machineName = machine;
    heartbeat.version = u"0.1.0"_s;
    heartbeat.processId = 4242;
    heartbeat.started = today(7, 0);
    heartbeat.lastTick = lastTick;
    heartbeat.runState = 1;
    heartbeat.nextReception = today(13, 0);
    heartbeat.nextCentre = u"ZC01"_s;
    heartbeat.runningCentre = u"MX01"_s;
    HeartbeatTable(db).write(heartbeat);
}

// The serials of today's jobs, one for each state a timetable row can take.
struct TodaysJobs {
    qint32 finished = 0;  // ZC01 08:30
    qint32 failed = 0;    // WC01 09:15
    qint32 busy = 0;      // WX01 10:45
    qint32 running = 0;   // MX01 11:00
    qint32 hostile = 0;   // the centre named like a script, 10:00, its note a script too
};

// The demo's centres on WS-A with today's jobs and heartbeat, a page and more of yesterday's jobs,
// and the web program that shows them, started once for all tests of a database.
class RunningSite {
public:
    explicit RunningSite(Backend backend) : database(backend)
    {
        database.createTables();
        database.loadDemoData(kMachine);
        db = database.open();
        writePagedJobs(*db);
        addHostileCentre(*db);
        jobs.finished = writeJob(*db, u"ZC01"_s, today(8, 30, 5), ResultCode::ok);
        jobs.failed = writeJob(*db, u"WC01"_s, today(9, 15, 3), u"5100"_s, u"5100"_s);
        jobs.hostile = writeJob(*db, kHostileCentre, today(10, 0, 1), ResultCode::ok, ResultCode::ok, kAttribute + kScript);
        jobs.busy = writeJob(*db, u"WX01"_s, today(10, 45, 1), JobCode::centreBusy, JobCode::centreBusy);
        jobs.running = writeJob(*db, u"MX01"_s, today(11, 0, 2), {});
        writeHeartbeat(*db, kMachine, today(11, 4, 30));
        writeHeartbeat(*db, kHostileMachine, today(11, 4, 40));
        config = writeConfig(database.environmentSection());
        port = freePort();
        program = std::make_unique<WebProcess>(config, QStringList{u"--listen"_s, u"127.0.0.1:%1"_s.arg(port)}, kClockStart);
        if (!program->waitUntilListening())
            throw std::runtime_error("the web program did not start: " + program->output().toStdString());
    }

    // An EDI.ini beside the database with this environment section.
    QString writeConfig(const QByteArray& environment, const QString& name = u"EDI.ini"_s) const
    {
        const QString path = database.folder() + u'/' + name;
        writeFile(path, environment + "[ALERT]\nNODATA=ZC01,WC01\n");
        return path;
    }

    TestDatabase database;
    std::unique_ptr<Database> db;
    TodaysJobs jobs;
    QString config;
    quint16 port = 0;
    std::unique_ptr<WebProcess> program;
};

// One site per database for the whole run: the program only reads, so the tests share it.
std::map<Backend, std::unique_ptr<RunningSite>>& sites()
{
    static std::map<Backend, std::unique_ptr<RunningSite>> running;
    return running;
}

RunningSite& siteOn(Backend backend)
{
    std::unique_ptr<RunningSite>& site = sites()[backend];
    if (!site)
        site = std::make_unique<RunningSite>(backend);
    return *site;
}

class StopSites final : public ::testing::Environment {
public:
    void TearDown() override { sites().clear(); }
};
[[maybe_unused]] const ::testing::Environment* const kStopSites = ::testing::AddGlobalTestEnvironment(new StopSites);

// Every answer, whatever its status, keeps the browser to this site's own stylesheet and script
// and from guessing types.
void expectSecurityHeaders(const HttpAnswer& answer, const QByteArray& target)
{
    EXPECT_TRUE(answer.header("Content-Security-Policy").contains("default-src 'none'")) << target.toStdString();
    EXPECT_EQ(answer.header("X-Content-Type-Options"), "nosniff") << target.toStdString();
}

QJsonObject jsonObject(const HttpAnswer& answer)
{
    EXPECT_EQ(answer.header("Content-Type"), "application/json") << answer.body.toStdString();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(answer.body, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << answer.body.toStdString();
    return document.object();
}

class WebRoutesTest : public ::testing::TestWithParam<Backend> {
protected:
    WebRoutesTest() : site_(siteOn(GetParam())) {}

    HttpAnswer ask(const QByteArray& method, const QByteArray& target)
    {
        const HttpAnswer answer = httpRequest(site_.port, method, target);
        EXPECT_NE(answer.status, 0) << "no answer to " << method.toStdString() << ' ' << target.toStdString();
        expectSecurityHeaders(answer, target);
        return answer;
    }
    HttpAnswer get(const QByteArray& target) { return ask("GET", target); }
    HttpAnswer page(const QByteArray& target)
    {
        const HttpAnswer answer = get(target);
        EXPECT_EQ(answer.status, 200) << target.toStdString() << "\n" << answer.body.toStdString();
        EXPECT_EQ(answer.header("Content-Type"), "text/html; charset=utf-8") << target.toStdString();
        return answer;
    }
    QJsonObject api(const QByteArray& target, int status = 200)
    {
        const HttpAnswer answer = get(target);
        EXPECT_EQ(answer.status, status) << target.toStdString() << "\n" << answer.body.toStdString();
        return jsonObject(answer);
    }
    // What "edi-auto history" prints for the same filter.
    QByteArray historyCommandCsv(const QStringList& filter)
    {
        QByteArray out, err;
        EXPECT_EQ(runProgram(QStringList{u"history"_s, u"--ini"_s, site_.config, u"--format"_s, u"csv"_s} + filter, {}, &out, &err), 0)
            << err.toStdString();
        return out;
    }

    RunningSite& site_;
};

// The overview: each workstation from its heartbeat, each centre's last job, today's failures.
TEST_P(WebRoutesTest, TheOverviewTellsWorkstationsCentresAndTodaysFailures)
{
    const QString html = page("/").text();
    EXPECT_TRUE(html.contains(u"<a href=\"/timetable?machine=WS-A\">WS-A</a>"_s)) << html.toStdString();
    EXPECT_TRUE(html.contains(u"2026/12/09 11:04:30"_s));
    EXPECT_TRUE(html.contains(u"<script src=\"/refresh.js\" defer></script>"_s));
    EXPECT_TRUE(html.contains(u"東日本受注センター"_s));
    EXPECT_TRUE(html.contains(u"href=\"/job/%1\""_s.arg(site_.jobs.failed)));

    const QJsonObject overview = api("/api/overview");
    EXPECT_EQ(overview[u"taken"_s].toString().left(15), u"2026-12-09 11:0"_s);
    QJsonObject workstation;
    for (const QJsonValue& each : overview[u"workstations"_s].toArray()) {
        if (each[u"machine"_s] == kMachine)
            workstation = each.toObject();
    }
    EXPECT_EQ(workstation[u"state"_s].toString(), u"alive"_s);
    EXPECT_EQ(workstation[u"last_tick"_s].toString(), u"2026-12-09 11:04:30"_s);
    EXPECT_EQ(workstation[u"next_centre"_s].toString(), u"ZC01"_s);
    EXPECT_EQ(workstation[u"running_centre"_s].toString(), u"MX01"_s);
    std::map<QString, QJsonObject> centres;
    for (const QJsonValue& each : overview[u"centres"_s].toArray())
        centres[each[u"centre"_s].toString()] = each.toObject();
    EXPECT_EQ(centres[u"ZC01"_s][u"last_job"_s][u"serial"_s].toInt(), site_.jobs.finished);
    EXPECT_EQ(centres[u"ZC01"_s][u"last_job"_s][u"outcome"_s].toString(), u"finished"_s);
    EXPECT_EQ(centres[u"ZC01"_s][u"last_job"_s][u"records"_s].toInt(), 12);
    EXPECT_EQ(centres[u"ZC01"_s][u"last_success"_s].toString(), u"2026-12-09 08:30:45"_s);
    EXPECT_EQ(centres[u"ZC02"_s][u"last_job"_s][u"serial"_s].toInt(), kPagedJobs);
    EXPECT_EQ(centres[u"MX01"_s][u"last_job"_s][u"outcome"_s].toString(), u"running"_s);
    EXPECT_TRUE(centres[u"MC01"_s][u"last_job"_s].isNull());
    // Expected every time: ZC01 received at 08:30, WC01's reception failed.
    EXPECT_FALSE(centres[u"ZC01"_s][u"expected_not_received"_s].toBool());
    EXPECT_TRUE(centres[u"WC01"_s][u"expected_not_received"_s].toBool());
    EXPECT_EQ(centres[kHostileCentre][u"name"_s].toString(), kScript + kAttribute);  // the data as it is
    const QJsonArray failed = overview[u"failed_today"_s].toArray();
    ASSERT_EQ(failed.size(), 1);
    EXPECT_EQ(failed[0][u"serial"_s].toInt(), site_.jobs.failed);
    EXPECT_EQ(failed[0][u"end_code"_s].toString(), u"5100"_s);

    const HttpAnswer style = get("/style.css");
    EXPECT_EQ(style.status, 200);
    EXPECT_EQ(style.header("Content-Type"), "text/css; charset=utf-8");
    EXPECT_FALSE(style.body.isEmpty());
    const HttpAnswer script = get("/refresh.js");
    EXPECT_EQ(script.status, 200);
    EXPECT_EQ(script.header("Content-Type"), "text/javascript; charset=utf-8");
    const HttpAnswer health = get("/healthz");
    EXPECT_EQ(health.status, 200);
    EXPECT_EQ(health.body, "ok\n");
}

// Today's rows of a workstation take their state from the job that ran for each; a centre's later
// rows stay "not run" whatever ran for its earlier ones.
TEST_P(WebRoutesTest, TheTimetableShowsEachRowInTheStateItsJobLeft)
{
    const QJsonObject timetable = api("/api/timetable?machine=WS-A");
    EXPECT_EQ(timetable[u"machine"_s].toString(), kMachine);
    std::map<QString, QJsonObject> rows;  // "HH:mm CENTRE" of today
    int later = 0;
    for (const QJsonValue& row : timetable[u"rows"_s].toArray()) {
        if (row[u"date"_s].toString() == u"2026-12-09"_s)
            rows[row[u"time"_s].toString() + u' ' + row[u"centre"_s].toString()] = row.toObject();
        else if (row[u"state"_s].toString() == u"not_run"_s)
            ++later;
    }
    EXPECT_EQ(later, 13 * 9);  // thirteen days to come, nine receptions a day, none run
    const std::vector<std::tuple<QString, QString, qint32>> expected{
        {u"08:30 ZC01"_s, u"finished"_s, site_.jobs.finished},
        {u"09:15 WC01"_s, u"failed"_s, site_.jobs.failed},
        {u"10:00 "_s + kHostileCentre, u"finished"_s, site_.jobs.hostile},
        {u"10:45 WX01"_s, u"busy"_s, site_.jobs.busy},
        {u"11:00 MX01"_s, u"running"_s, site_.jobs.running},
        {u"13:00 ZC01"_s, u"not_run"_s, 0},
        {u"15:00 MX01"_s, u"not_run"_s, 0},
        {u"16:20 MC01"_s, u"not_run"_s, 0},
        {u"17:30 ZC01"_s, u"not_run"_s, 0},
    };
    ASSERT_EQ(rows.size(), expected.size());
    for (const auto& [row, state, serial] : expected) {
        EXPECT_EQ(rows[row][u"state"_s].toString(), state) << row.toStdString();
        EXPECT_EQ(rows[row][u"serial"_s].toInt(), serial) << row.toStdString();
    }
    EXPECT_TRUE(rows[u"09:15 WC01"_s][u"tip"_s].toString().contains(u"5100"_s));

    // The page colours the same rows with the window's state colours.
    const QString html = page("/timetable?machine=WS-A").text();
    static const QRegularExpression todaysRow(
        u"<tr class=\"([a-z]+)\"[^>]*><td>2026/12/09</td><td>(\\d\\d:\\d\\d)</td><td>([^<]*)</td>"_s);
    std::map<QString, QString> classes;
    for (auto match = todaysRow.globalMatch(html); match.hasNext();) {
        const auto found = match.next();
        classes[found.captured(2) + u' ' + found.captured(3)] = found.captured(1);
    }
    EXPECT_EQ(classes, (std::map<QString, QString>{{u"08:30 ZC01"_s, u"done"_s},
                                                   {u"09:15 WC01"_s, u"error"_s},
                                                   {u"10:00 Q&quot;1"_s, u"done"_s},
                                                   {u"10:45 WX01"_s, u"busy"_s},
                                                   {u"11:00 MX01"_s, u"running"_s},
                                                   {u"13:00 ZC01"_s, u"normal"_s},
                                                   {u"15:00 MX01"_s, u"normal"_s},
                                                   {u"16:20 MC01"_s, u"normal"_s},
                                                   {u"17:30 ZC01"_s, u"normal"_s}}));

    // A workstation known only by its heartbeat has a page without rows; an unknown one has none.
    EXPECT_EQ(api("/api/timetable?machine=" + encoded(kHostileMachine))[u"rows"_s].toArray().size(), 0);
    EXPECT_EQ(get("/timetable?machine=NOBODY").status, 404);
    EXPECT_EQ(api("/api/timetable?machine=NOBODY", 404)[u"error"_s].toString(), u"端末 NOBODY はありません"_s);
    EXPECT_EQ(get("/timetable").status, 404);
}

// Fifty jobs a page, newest first, with a link to the next page while more follow.
TEST_P(WebRoutesTest, TheHistoryListsItsJobsAPageAtATime)
{
    const QJsonObject first = api("/api/history?from=2026-12-08&to=2026-12-08");
    EXPECT_EQ(first[u"page"_s].toInt(), 1);
    EXPECT_TRUE(first[u"more"_s].toBool());
    const QJsonArray firstJobs = first[u"jobs"_s].toArray();
    ASSERT_EQ(firstJobs.size(), kJobsPerPage);
    EXPECT_EQ(firstJobs.first()[u"serial"_s].toInt(), kPagedJobs);
    EXPECT_EQ(firstJobs.last()[u"serial"_s].toInt(), kPagedJobs - kJobsPerPage + 1);
    const QJsonObject second = api("/api/history?from=2026-12-08&to=2026-12-08&page=2");
    EXPECT_FALSE(second[u"more"_s].toBool());
    ASSERT_EQ(second[u"jobs"_s].toArray().size(), kPagedJobs - kJobsPerPage);
    EXPECT_EQ(second[u"jobs"_s].toArray().last()[u"serial"_s].toInt(), 1);
    EXPECT_TRUE(api("/api/history?from=2026-12-08&to=2026-12-08&page=3")[u"jobs"_s].toArray().isEmpty());

    const QString firstPage = page("/history?from=2026-12-08&to=2026-12-08").text();
    EXPECT_EQ(firstPage.count(u" job\"><td class=\"number\"><a href=\"/job/"_s), kJobsPerPage);
    EXPECT_TRUE(firstPage.contains(u"<a href=\"/history?from=2026-12-08&amp;to=2026-12-08&amp;page=2\">次のページ</a>"_s))
        << firstPage.toStdString();
    EXPECT_FALSE(firstPage.contains(u"前のページ"_s));
    const QString secondPage = page("/history?from=2026-12-08&to=2026-12-08&page=2").text();
    EXPECT_EQ(secondPage.count(u" job\"><td class=\"number\"><a href=\"/job/"_s), kPagedJobs - kJobsPerPage);
    EXPECT_TRUE(secondPage.contains(u"<a href=\"/history?from=2026-12-08&amp;to=2026-12-08\">前のページ</a>"_s));
    EXPECT_FALSE(secondPage.contains(u"次のページ"_s));

    // Today by default; a centre, failures only.
    const QJsonArray todays = api("/api/history")[u"jobs"_s].toArray();
    ASSERT_EQ(todays.size(), 5);
    EXPECT_EQ(todays[0][u"serial"_s].toInt(), site_.jobs.running);
    EXPECT_EQ(todays[0][u"steps"_s].toArray().size(), 1);
    const QJsonArray failed = api("/api/history?failed=1&centre=WC01")[u"jobs"_s].toArray();
    ASSERT_EQ(failed.size(), 1);
    EXPECT_EQ(failed[0][u"serial"_s].toInt(), site_.jobs.failed);
    const QJsonArray hostile = api("/api/history?centre=" + encoded(kHostileCentre))[u"jobs"_s].toArray();
    ASSERT_EQ(hostile.size(), 1);
    EXPECT_TRUE(hostile[0][u"note"_s].toString().endsWith(kAttribute + kScript));
}

// The CSV is what the history command prints, so scripts may take either.
TEST_P(WebRoutesTest, TheCsvIsWhatTheHistoryCommandPrints)
{
    const std::vector<std::pair<QByteArray, QStringList>> filters{
        {"from=2026-12-08&to=2026-12-09", {u"--from"_s, u"2026-12-08"_s, u"--to"_s, u"2026-12-09"_s}},
        {"from=2026-12-09&to=2026-12-09&failed=1", {u"--date"_s, u"2026-12-09"_s, u"--failed"_s}},
        {"from=2026-12-01&to=2026-12-31&centre=" + encoded(kHostileCentre),
         {u"--from"_s, u"2026-12-01"_s, u"--to"_s, u"2026-12-31"_s, u"--centre"_s, kHostileCentre}},
    };
    for (const auto& [query, options] : filters) {
        const HttpAnswer csv = get("/history.csv?" + query);
        EXPECT_EQ(csv.status, 200) << query.toStdString();
        EXPECT_EQ(csv.header("Content-Type"), "text/csv; charset=utf-8");
        EXPECT_EQ(csv.header("Content-Disposition"), "attachment; filename=\"history.csv\"");
        EXPECT_EQ(csv.body, historyCommandCsv(options)) << query.toStdString();
    }
    EXPECT_EQ(get("/history.csv?from=2026-12-08&to=2026-12-09").body.count("\r\n"), 1 + kPagedJobs + 5 * 2);
}

TEST_P(WebRoutesTest, BadParametersAreRefused)
{
    const QList<QByteArray> queries{
        "from=2026-13-01",          "from=20261208",         "to=2026-12-32",
        "from=2026-12-09&to=2026-12-08",  // the end before the start
        "from=2025-01-01&to=2026-12-09",  // longer than a year
        "page=0",                   "page=-1",               "page=abc",
        "page=1e3",                 "page=100001",           "page=99999999999",
    };
    for (const QByteArray& query : queries) {
        const HttpAnswer html = get("/history?" + query);
        EXPECT_EQ(html.status, 400) << query.toStdString();
        EXPECT_EQ(html.header("Content-Type"), "text/html; charset=utf-8");
        EXPECT_EQ(get("/history.csv?" + query).status, 400) << query.toStdString();
        EXPECT_FALSE(api("/api/history?" + query, 400)[u"error"_s].toString().isEmpty()) << query.toStdString();
    }
}

// A job's page and its JSON: the job row, its steps, what it means; a serial that is no job is
// no page.
TEST_P(WebRoutesTest, AJobHasAPageOfItsOwn)
{
    const QByteArray serial = QByteArray::number(site_.jobs.failed);
    const QString html = page("/job/" + serial).text();
    EXPECT_TRUE(html.contains(u"WC01"_s));
    EXPECT_TRUE(html.contains(u"異常終了"_s));
    EXPECT_TRUE(html.contains(u"<dd>WS-A</dd>"_s)) << html.toStdString();
    const QJsonObject job = api("/api/job/" + serial);
    EXPECT_EQ(job[u"serial"_s].toInt(), site_.jobs.failed);
    EXPECT_EQ(job[u"outcome"_s].toString(), u"failed"_s);
    EXPECT_EQ(job[u"end_code"_s].toString(), u"5100"_s);
    EXPECT_EQ(job[u"steps"_s].toArray().size(), 1);
    EXPECT_FALSE(job[u"report"_s].toArray().isEmpty());
    EXPECT_EQ(api("/api/job/" + QByteArray::number(site_.jobs.running))[u"outcome"_s].toString(), u"running"_s);

    for (const QByteArray missing : {"99999", "0", "abc", "", "1x", "-1", "1234567890", "1/2"}) {
        EXPECT_EQ(get("/job/" + missing).status, 404) << missing.toStdString();
        EXPECT_FALSE(api("/api/job/" + missing, 404)[u"error"_s].toString().isEmpty()) << missing.toStdString();
    }
}

// Only reading: anything else is refused with what is allowed, in JSON under /api.
TEST_P(WebRoutesTest, OnlyGetAndHeadAreAnswered)
{
    for (const QByteArray method : {"POST", "PUT", "DELETE", "PATCH", "OPTIONS"}) {
        for (const QByteArray target : {"/", "/history", "/healthz", "/api/overview", "/api/job/1"}) {
            const HttpAnswer refused = ask(method, target);
            EXPECT_EQ(refused.status, 405) << method.toStdString() << ' ' << target.toStdString();
            EXPECT_EQ(refused.header("Allow"), "GET, HEAD");
            if (target.startsWith("/api/")) {
                EXPECT_FALSE(jsonObject(refused)[u"error"_s].toString().isEmpty());
            }
        }
    }

    // HEAD: the headers of the page, its length, and no body: the next answer on the connection
    // follows right after the headers.
    HttpConnection connection(site_.port);
    for (const QByteArray target : {"/", "/api/overview", "/history.csv", "/metrics", "/job/1", "/nothing"}) {
        const HttpAnswer head = connection.ask("HEAD", target);
        expectSecurityHeaders(head, target);
        EXPECT_EQ(head.status, target == "/nothing" ? 404 : 200) << target.toStdString();
        EXPECT_GT(head.header("Content-Length").toInt(), 0) << target.toStdString();
        const HttpAnswer next = connection.ask("GET", "/healthz");
        EXPECT_EQ(next.status, 200) << "after HEAD " << target.toStdString();
        EXPECT_EQ(next.body, "ok\n");
    }
}

// Names and notes from partners are text on every page, never markup.
TEST_P(WebRoutesTest, PartnerTextsAreEscapedOnEveryPage)
{
    const QList<QByteArray> pages{
        "/",
        "/timetable?machine=WS-A",
        "/timetable?machine=" + encoded(kHostileMachine),
        "/history",
        "/history?centre=" + encoded(kHostileCentre),
        "/job/" + QByteArray::number(site_.jobs.hostile),
    };
    const QString escapedScript = u"&lt;script&gt;alert(1)&lt;/script&gt;"_s;
    for (const QByteArray& target : pages) {
        const QString html = page(target).text();
        EXPECT_FALSE(html.contains(kScript)) << target.toStdString();
        EXPECT_FALSE(html.contains(u"\"onmouseover="_s)) << target.toStdString();
        EXPECT_FALSE(html.contains(u"<b>"_s)) << target.toStdString();
        if (target != "/timetable?machine=" + encoded(kHostileMachine))
            EXPECT_TRUE(html.contains(escapedScript)) << target.toStdString();
        else
            EXPECT_TRUE(html.contains(u"PC &quot;onmouseover=alert(1) &lt;b&gt;"_s)) << html.toStdString();
    }
    // Asked for by name: the error page does not give it back as markup either.
    const HttpAnswer unknown = get("/timetable?machine=" + encoded(kScript));
    EXPECT_EQ(unknown.status, 404);
    EXPECT_FALSE(unknown.text().contains(kScript));
    EXPECT_TRUE(unknown.text().contains(escapedScript));
    const QString form = page("/history?centre=" + encoded(kAttribute)).text();
    EXPECT_TRUE(form.contains(u"name=\"centre\" value=\"&quot;onmouseover=alert(1)\""_s)) << form.toStdString();
}

// Whatever the path, nothing but the pages: never a file of the program's folders.
TEST_P(WebRoutesTest, PathsOutsideThePagesServeNoFile)
{
    const QList<QByteArray> targets{
        "/../EDI.ini",        "/%2e%2e/EDI.ini",         "/%2E%2E/%2E%2E/etc/passwd", "/EDI.ini",
        "/edi.sqlite",        "/style.css/../EDI.ini",   "/job/..%2fEDI.ini",         "/job/../../EDI.ini",
        "//EDI.ini",          "/static/../../EDI.ini",   "/api/..%2f..%2fEDI.ini",    "/%00",
    };
    for (const QByteArray& target : targets) {
        const HttpAnswer answer = get(target);
        EXPECT_EQ(answer.status, 404) << target.toStdString();
        EXPECT_FALSE(answer.body.contains("DBDRIVER")) << target.toStdString();
        EXPECT_FALSE(answer.body.contains("SQLite format")) << target.toStdString();
        EXPECT_FALSE(answer.body.contains("root:")) << target.toStdString();
    }
    EXPECT_FALSE(jsonObject(get("/api/nothing"))[u"error"_s].toString().isEmpty());
}

// A metric sample of the text format, read as a scraper reads it.
struct Sample {
    QString name;
    std::map<QString, QString> labels;
    double value = 0;
};

QString unescaped(const QString& labelValue)
{
    QString text;
    for (qsizetype i = 0; i < labelValue.size(); ++i) {
        if (labelValue[i] == u'\\' && i + 1 < labelValue.size())
            text += labelValue[++i] == u'n' ? QChar(u'\n') : labelValue[i];
        else
            text += labelValue[i];
    }
    return text;
}

// The exposition format's rules: a family's TYPE before its samples, its samples together, label
// values quoted with backslash, quote and line feed escaped, a line feed after every line. A line
// that breaks them is a failure.
std::vector<Sample> parseMetrics(const QString& text)
{
    static const QRegularExpression sampleLine(
        uR"re(^([a-zA-Z_:][a-zA-Z0-9_:]*)(?:\{((?:[a-zA-Z_][a-zA-Z0-9_]*="(?:[^"\\]|\\[\\"n])*",?)*)\})? (\S+)$)re"_s);
    static const QRegularExpression label(uR"re(([a-zA-Z_][a-zA-Z0-9_]*)="((?:[^"\\]|\\.)*)")re"_s);
    static const QRegularExpression typeLine(u"^# TYPE ([a-zA-Z_:][a-zA-Z0-9_:]*) (gauge|counter)$"_s);
    EXPECT_TRUE(text.endsWith(u'\n'));
    std::vector<Sample> samples;
    QStringList typed, finished;
    for (const QString& line : text.split(u'\n', Qt::SkipEmptyParts)) {
        if (const auto type = typeLine.match(line); type.hasMatch()) {
            EXPECT_FALSE(typed.contains(type.captured(1))) << "TYPE twice: " << line.toStdString();
            typed << type.captured(1);
            continue;
        }
        EXPECT_FALSE(line.startsWith(u"# TYPE"_s)) << line.toStdString();
        if (line.startsWith(u"# HELP "_s))
            continue;
        const auto match = sampleLine.match(line);
        bool number = false;
        Sample sample{match.captured(1), {}, match.captured(3).toDouble(&number)};
        if (!match.hasMatch() || !number) {
            ADD_FAILURE() << "not a sample: " << line.toStdString();
            continue;
        }
        EXPECT_TRUE(typed.contains(sample.name)) << "no TYPE before " << line.toStdString();
        if (!samples.empty() && samples.back().name != sample.name) {
            finished << samples.back().name;
            EXPECT_FALSE(finished.contains(sample.name)) << "family split: " << line.toStdString();
        }
        for (auto labels = label.globalMatch(match.captured(2)); labels.hasNext();) {
            const auto pair = labels.next();
            sample.labels[pair.captured(1)] = unescaped(pair.captured(2));
        }
        samples.push_back(sample);
    }
    return samples;
}

TEST_P(WebRoutesTest, TheMetricsAreValidPrometheusText)
{
    const HttpAnswer metrics = get("/metrics");
    EXPECT_EQ(metrics.status, 200);
    EXPECT_EQ(metrics.header("Content-Type"), "text/plain; version=0.0.4; charset=utf-8");
    EXPECT_TRUE(metrics.body.contains("centre=\"Q\\\"1\"")) << metrics.body.toStdString();
    std::map<QString, double> values;  // "name centre outcome machine"
    for (const Sample& sample : parseMetrics(metrics.text())) {
        const auto label = [&](const char16_t* name) {
            const auto found = sample.labels.find(QString::fromUtf16(name));
            return found == sample.labels.end() ? QString() : found->second;
        };
        values[QStringList{sample.name, label(u"centre"), label(u"outcome"), label(u"machine")}.join(u' ')] = sample.value;
    }
    EXPECT_EQ(values[u"edi_centre_jobs_today WC01 failed "_s], 1);
    EXPECT_EQ(values[u"edi_centre_jobs_today WX01 busy "_s], 1);
    EXPECT_EQ(values[u"edi_centre_jobs_today MX01 running "_s], 1);
    EXPECT_EQ(values[u"edi_centre_jobs_today Q\"1 finished "_s], 1);
    EXPECT_EQ(values[u"edi_centre_last_end_code WC01  "_s], 5100);
    EXPECT_EQ(values[u"edi_centre_last_duration_seconds ZC01  "_s], 40);
    EXPECT_EQ(values[u"edi_centre_last_success_timestamp_seconds ZC01  "_s], double(today(8, 30, 45).toSecsSinceEpoch()));
    EXPECT_EQ(values[u"edi_workstation_alive   WS-A"_s], 1);
    EXPECT_EQ(values[u"edi_workstation_alive   "_s + kHostileMachine], 1);
    EXPECT_EQ(values.count(u"edi_workstation_alive   OTHER-PC"_s), 1u);
    EXPECT_EQ(values[u"edi_workstation_alive   OTHER-PC"_s], 0);
    EXPECT_GE(values[u"edi_workstation_heartbeat_age_seconds   WS-A"_s], 30);
}

// The health check asks the database itself: unreachable, it says so with 503 (the API too)
// and recovers when the server can be reached again.
TEST(WebHealth, TheHealthCheckTellsWhenTheDatabaseCannotBeReached)
{
    RunningSite& site = siteOn(Backend::PostgreSql);
    CuttableRelay relay(testServerPort());
    QByteArray environment = site.database.environmentSection();
    environment.replace("port=" + QByteArray::number(testServerPort()), "port=" + QByteArray::number(relay.port()));
    const quint16 port = freePort();
    WebProcess program(site.writeConfig(environment, u"relayed.ini"_s), {u"--listen"_s, u"127.0.0.1:%1"_s.arg(port)},
                       kClockStart);
    ASSERT_TRUE(program.waitUntilListening()) << program.output().toStdString();
    EXPECT_EQ(httpRequest(port, "GET", "/healthz").status, 200);
    EXPECT_EQ(httpRequest(port, "GET", "/api/overview").status, 200);

    relay.cut();
    const HttpAnswer down = httpRequest(port, "GET", "/healthz");
    EXPECT_EQ(down.status, 503);
    EXPECT_TRUE(down.text().startsWith(u"database: "_s)) << down.text().toStdString();
    expectSecurityHeaders(down, "/healthz");
    const HttpAnswer history = httpRequest(port, "GET", "/api/history");
    EXPECT_EQ(history.status, 503);
    EXPECT_FALSE(jsonObject(history)[u"error"_s].toString().isEmpty());

    relay.restore();
    EXPECT_EQ(httpRequest(port, "GET", "/healthz").status, 200);
    EXPECT_EQ(httpRequest(port, "GET", "/api/history").status, 200);
}

INSTANTIATE_TEST_SUITE_P(Backends, WebRoutesTest, ::testing::Values(Backend::Sqlite, Backend::PostgreSql, Backend::OdbcPostgreSql),
                         [](const auto& info) { return backendName(info.param); });

}  // namespace
}  // namespace edi::test
