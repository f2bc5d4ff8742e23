#include "app/database/Database.h"
#include "convert/localcii/FormatMasters.h"
#include "convert/localcii/Layout.h"
#include "support/TestDatabase.h"

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

using test::Backend;
using test::TestDatabase;

class FormatMastersTest : public ::testing::TestWithParam<Backend> {};

TEST_P(FormatMastersTest, ReadsTheDemoFormatOnEveryDatabase)
{
    TestDatabase database(GetParam());
    database.createTables();
    database.loadDemoData(u"TESTPC"_s);
    auto db = database.open();
    DatabaseFormatMasters masters(*db);

    const std::optional<FormatMasterRow> format = masters.lookUpFormat(u"0101"_s, u"DEMO0101"_s);
    ASSERT_TRUE(format);
    EXPECT_EQ(format->storageMode, u"M"_s);
    EXPECT_EQ(format->singleByteCharset, u"K"_s);
    EXPECT_EQ(format->xmlEncoding, u"M"_s);
    EXPECT_FALSE(masters.lookUpFormat(u"0101"_s, u"DEMO0101' OR '1'='1"_s));

    const std::vector<LayoutItem> rows = masters.layoutRows(u'L', u"0101"_s, u"DEMO0101"_s);
    ASSERT_EQ(rows.size(), 11u);
    EXPECT_EQ(rows[4].attribute, u"M"_s);
    EXPECT_EQ(rows[4].multiDetailNumber, u"1"_s);
    EXPECT_EQ(rows[4].repeatCount, 5);
    EXPECT_EQ(rows[7].name, u"数量"_s);
    EXPECT_EQ(rows[7].decimals, 2);
    EXPECT_EQ(rows[10].itemNumber, 1001);
    EXPECT_EQ(rows[10].position, u"400"_s);
    EXPECT_EQ(rows[0].multiDetailNumber, u"0"_s);  // null reads as "0"
    EXPECT_EQ(rows[0].fixedValue, QString());      // null reads as ""
    EXPECT_EQ(Layout::load(rows).item(5).length, 71);

    EXPECT_TRUE(masters.layoutRows(u'E', u"0101"_s, u"' OR ''='"_s).empty());
}

INSTANTIATE_TEST_SUITE_P(Backends, FormatMastersTest,
                         ::testing::Values(Backend::Sqlite, Backend::PostgreSql, Backend::OdbcPostgreSql),
                         [](const auto& info) { return test::backendName(info.param); });

}  // namespace
}  // namespace edi
