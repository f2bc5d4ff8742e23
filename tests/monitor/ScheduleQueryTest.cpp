#include "app/database/Database.h"
#include "app/database/DatabaseError.h"
#include "monitor/ScheduleQuery.h"
#include "support/TestDatabase.h"

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

using test::Backend;
using test::TestDatabase;

class ScheduleQueryTest : public ::testing::TestWithParam<Backend> {};

TEST_P(ScheduleQueryTest, ReadsThisWorkstationsReceptionsInWeekdayAndTimeOrder)
{
    TestDatabase database(GetParam());
    database.createTables();
    database.loadDemoData(u"TESTPC"_s);
    auto db = database.open();
    db->execute({u"INSERT INTO FL1912EDIスケジュールマスタ (センターコード, 曜日, 起動時刻, 送受信種別) VALUES (?, ?, ?, ?)"_s,
                 {u"WC01"_s, 4, QTime(10, 15, 40), u"R"_s}});

    const std::vector<ScheduleMasterRow> rows = loadScheduleMasterRows(*db, u"TESTPC"_s);
    ASSERT_EQ(rows.size(), 7u * 8 + 1);
    for (std::size_t i = 1; i < rows.size(); ++i) {
        const bool ordered = rows[i - 1].weekday < rows[i].weekday
                          || (rows[i - 1].weekday == rows[i].weekday && rows[i - 1].startTime <= rows[i].startTime);
        EXPECT_TRUE(ordered) << "row " << i;
    }
    for (const ScheduleMasterRow& row : rows) {
        EXPECT_NE(row.centreCode, u"ZC02"_s);  // another workstation
        EXPECT_NE(row.centreCode, u"PT01"_s);  // another partner kind
        EXPECT_NE(row.startTime, QTime(12, 0));  // the sending row
    }
    const ScheduleMasterRow& first = rows.front();
    EXPECT_EQ(first.centreCode, u"ZC01"_s);
    EXPECT_EQ(first.centreName, u"東日本受注センター"_s);
    EXPECT_EQ(first.transferMethod, u"Z"_s);
    EXPECT_EQ(first.weekday, 1);
    EXPECT_EQ(first.startTime, QTime(8, 30));
    const auto withSeconds = std::find_if(rows.begin(), rows.end(),
                                          [](const auto& row) { return row.startTime == QTime(10, 15, 40); });
    EXPECT_NE(withSeconds, rows.end());

    EXPECT_TRUE(loadScheduleMasterRows(*db, u"testpc' OR '1'='1"_s).empty());
}

// What an embedded database filled by other programs may hold as a start time.
TEST(ScheduleQuery, StartTimesWrittenAsTextAndTimesThatAreNone)
{
    TestDatabase database(Backend::Sqlite);
    database.createTables();
    database.loadDemoData(u"TESTPC"_s);
    auto db = database.open();
    auto scheduleAt = [&](const QString& time) {
        db->execute({u"DELETE FROM FL1912EDIスケジュールマスタ"_s, {}});
        db->execute({u"INSERT INTO FL1912EDIスケジュールマスタ (センターコード, 曜日, 起動時刻, 送受信種別) VALUES (?, ?, ?, ?)"_s,
                     {u"WC01"_s, 4, time, u"R"_s}});
    };
    for (const auto& [text, time] : {std::pair{u"9:30"_s, QTime(9, 30)}, std::pair{u"09:30:15"_s, QTime(9, 30, 15)},
                                     std::pair{u"1899-12-30 10:15:00"_s, QTime(10, 15)},
                                     std::pair{u"10:15:00.000"_s, QTime(10, 15)}}) {
        scheduleAt(text);
        const std::vector<ScheduleMasterRow> rows = loadScheduleMasterRows(*db, u"TESTPC"_s);
        ASSERT_EQ(rows.size(), 1u) << text.toStdString();
        EXPECT_EQ(rows.front().startTime, time) << text.toStdString();
    }
    // Not a time: the timetable cannot be built, rather than run the row at midnight.
    for (const QString& text : {u"abc"_s, u"25:00"_s, u""_s}) {
        scheduleAt(text);
        EXPECT_THROW(loadScheduleMasterRows(*db, u"TESTPC"_s), DatabaseError) << text.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, ScheduleQueryTest,
                         ::testing::Values(Backend::Sqlite, Backend::PostgreSql, Backend::OdbcPostgreSql),
                         [](const auto& info) { return test::backendName(info.param); });

}  // namespace
}  // namespace edi
