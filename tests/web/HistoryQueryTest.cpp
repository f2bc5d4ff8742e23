// The web monitor's queries of the history, on the databases: pages newest first through a span
// of days, and each centre's latest job and latest success.
#include "app/ResultCode.h"
#include "app/database/Database.h"
#include "support/TestDatabase.h"
#include "web/HistoryPageQuery.h"
#include "web/MonitorSnapshot.h"
#include "web/WebPages.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace edi::test {
namespace {

const QDate kToday(2026, 12, 9);

class HistoryQueryTest : public ::testing::TestWithParam<Backend> {
protected:
    HistoryQueryTest() : database_(GetParam())
    {
        database_.createTables();
        db_ = database_.open();
        db_->execute({u"INSERT INTO FL1903EDI制御マスタ (センターコード, センター名, 送受信方式, 実行端末名, 相手先種別)"
                      u" VALUES ('AA01', 'A', 'Z', 'WS-A', '1'), ('BB02', 'B', 'Z', 'WS-A', '1'), ('CC03', 'C', 'Z', 'WS-A', '1')"_s,
                      {}});
    }

    // A job row and its transfer row, ended a minute after the start with the code.
    void addJob(qint32 serial, const QString& centre, const QDateTime& started, const QString& endCode = ResultCode::ok)
    {
        const QDateTime ended = started.addSecs(60);
        for (qint16 branch : {0, 1})
            db_->execute({u"INSERT INTO FL1102処理履歴ファイル (通番, 枝番, 処理種別, 処理開始日付, 処理開始時刻, センターコード,"
                          u" 処理終了日付, 処理終了時刻, 終了コード, 詳細コード) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s,
                          {serial, branch, branch == 0 ? u"01"_s : u"10"_s, started.date(), started.time(), centre,
                           ended.date(), ended.time(), endCode, ResultCode::ok}});
    }

    // The serials of the filter's pages read one after the other, and whether each said more follow.
    std::pair<QList<qint32>, QList<bool>> pages(const HistoryFilter& filter)
    {
        QList<qint32> serials;
        QList<bool> more;
        for (int page = 1; page <= 10; ++page) {
            HistoryPageView view;
            view.filter = filter;
            view.page = page;
            readHistoryPage(*db_, view);
            for (const JobHistory& job : view.jobs) {
                serials << job.serial;
                EXPECT_EQ(job.rows.size(), 2u) << job.serial;
            }
            more << view.more;
            if (!view.more)
                break;
        }
        return {serials, more};
    }

    TestDatabase database_;
    std::unique_ptr<Database> db_;
};

// Three days of jobs of two centres, one of them started on the last day under a serial lower
// than the others' (a workstation's clock behind): the pages run newest day first, each day by
// serial, without a job left out or shown twice, for all centres, one centre and the failures.
TEST_P(HistoryQueryTest, PagesRunNewestFirstThroughASpanOfDays)
{
    struct Job {
        qint32 serial;
        QString centre;
        QDateTime started;
        bool failed;
    };
    std::vector<Job> jobs;
    qint32 serial = 100;
    for (int day = -2; day <= 0; ++day) {
        for (int i = 0; i < 45; ++i)
            jobs.push_back({++serial, i % 3 ? u"AA01"_s : u"BB02"_s,
                            QDateTime(kToday.addDays(day), QTime(8, 0).addSecs(i * 600)), i % 10 == 4});
    }
    jobs.push_back({7, u"AA01"_s, QDateTime(kToday, QTime(23, 0)), false});
    db_->inTransaction([&] {
        for (const Job& job : jobs)
            addJob(job.serial, job.centre, job.started, job.failed ? ResultCode::failed : ResultCode::ok);
    });
    std::sort(jobs.begin(), jobs.end(), [](const Job& a, const Job& b) {
        return a.started.date() != b.started.date() ? a.started.date() > b.started.date() : a.serial > b.serial;
    });
    auto expected = [&jobs](const std::function<bool(const Job&)>& selected) {
        QList<qint32> serials;
        for (const Job& job : jobs) {
            if (selected(job))
                serials << job.serial;
        }
        return serials;
    };

    const auto all = pages({kToday.addDays(-2), kToday, {}, false});
    EXPECT_EQ(all.first, expected([](const Job&) { return true; }));
    EXPECT_EQ(all.second, (QList<bool>{true, true, false}));
    EXPECT_EQ(all.first.indexOf(7), 45);  // after today's higher serials, before yesterday's

    const auto centre = pages({kToday.addDays(-2), kToday, u"BB02"_s, false});
    EXPECT_EQ(centre.first, expected([](const Job& job) { return job.centre == u"BB02"_s; }));
    EXPECT_EQ(centre.second, QList<bool>{false});

    const auto failed = pages({kToday.addDays(-1), kToday, {}, true});
    EXPECT_EQ(failed.first, expected([](const Job& job) { return job.failed && job.started.date() >= kToday.addDays(-1); }));

    EXPECT_EQ(countHistoryJobs(*db_, {kToday.addDays(-2), kToday, u"AA01"_s, false}),
              qint64(expected([](const Job& job) { return job.centre == u"AA01"_s; }).size()));
}

// Each centre's latest job is its newest, a later failure does not hide its last success, and a
// centre without jobs has neither.
TEST_P(HistoryQueryTest, TheSnapshotTellsEachCentresLatestJobAndLastSuccess)
{
    addJob(10, u"AA01"_s, QDateTime(kToday.addDays(-2), QTime(9, 0)));
    addJob(20, u"AA01"_s, QDateTime(kToday.addDays(-1), QTime(9, 0)), ResultCode::failed);
    addJob(15, u"BB02"_s, QDateTime(kToday.addDays(-1), QTime(10, 0)));
    addJob(12, u"BB02"_s, QDateTime(kToday, QTime(8, 0)), ResultCode::failed);
    addJob(30, u"BB02"_s, QDateTime(kToday.addDays(-3), QTime(8, 0)));

    const MonitorSnapshot snapshot = readMonitorSnapshot(*db_, QDateTime(kToday, QTime(12, 0)), {});
    ASSERT_EQ(snapshot.centres.size(), 3u);
    const CentreState& a = snapshot.centres[0];
    ASSERT_TRUE(a.lastJob);
    EXPECT_EQ(a.lastJob->serial, 20);
    EXPECT_EQ(a.lastSuccess, QDateTime(kToday.addDays(-2), QTime(9, 1)));
    const CentreState& b = snapshot.centres[1];
    ASSERT_TRUE(b.lastJob);
    EXPECT_EQ(b.lastJob->serial, 12);
    EXPECT_EQ(b.lastSuccess, QDateTime(kToday.addDays(-1), QTime(10, 1)));
    EXPECT_FALSE(snapshot.centres[2].lastJob);
    EXPECT_FALSE(snapshot.centres[2].lastSuccess);
    ASSERT_EQ(snapshot.todaysJobs.size(), 1u);
    EXPECT_EQ(snapshot.todaysJobs.front().serial, 12);
}

INSTANTIATE_TEST_SUITE_P(Backends, HistoryQueryTest,
                         ::testing::Values(Backend::Sqlite, Backend::PostgreSql, Backend::OdbcPostgreSql),
                         [](const auto& info) { return backendName(info.param); });

}  // namespace
}  // namespace edi::test
