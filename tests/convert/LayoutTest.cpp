#include "convert/localcii/Layout.h"
#include "convert/localcii/LocalRecord.h"
#include "support/CiiBuilder.h"

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

LayoutItem row(qint32 level, qint32 number, const char* attribute, qint32 length, qint32 decimals = 0,
               qint32 repeat = 0, const char* position = "1", const char* multiDetail = "0")
{
    LayoutItem item;
    item.serial = number;
    item.level = level;
    item.itemNumber = number;
    item.attribute = QString::fromLatin1(attribute);
    item.length = length;
    item.decimals = decimals;
    item.repeatCount = repeat;
    item.position = QString::fromLatin1(position);
    item.multiDetailNumber = QString::fromLatin1(multiDetail);
    return item;
}

TEST(Layout, GroupLengthsCountMembersDecimalPointsAndNestedRepeats)
{
    const Layout layout = Layout::load({
        row(0, 1, "X", 10),
        row(0, 2, "M", 99, 0, 3),  // its own 長さ is replaced
        row(1, 3, "X", 4),
        row(1, 4, "M", 0, 0, 2),
        row(2, 5, "X", 3),
        row(2, 6, "9", 5, 1),      // six bytes with the point
        row(1, 7, "Y", 8),         // back in the outer group after the inner one closed
        row(0, 8, "M", 0, 0, 0),
        row(1, 9, "9", 7, 2),
    });
    EXPECT_EQ(layout.item(4).length, 9);               // one inner occurrence
    EXPECT_EQ(layout.item(2).length, 4 + 9 * 2 + 8);    // one outer occurrence
    EXPECT_EQ(layout.item(8).length, 8);
    EXPECT_EQ(layout.item(1).length, 10);
}

TEST(Layout, SearchesWalkForwardWithinTheirLevel)
{
    const Layout layout = Layout::load({
        row(0, 1, "X", 1),
        row(0, 50, "M", 0, 0, 2, "1", "7"),
        row(1, 1, "X", 1),
        row(1, 2, "X", 1),
        row(0, 2, "X", 1),
        row(0, 60, "M", 0, 0, 2, "1", "A"),
    });
    EXPECT_EQ(layout.findItemByTag(0, 2, 0), 5);  // the deeper item 2 is passed over
    EXPECT_EQ(layout.findItemByTag(3, 2, 1), 4);
    EXPECT_EQ(layout.findItemByTag(4, 1, 1), 0);  // never backwards
    EXPECT_EQ(layout.findItemByTag(3, 9, 1), 0);  // the level-0 item 5 ends the search
    EXPECT_EQ(layout.findItemByTag(5, 2, 0), 5);  // the item at the cursor matches again
    EXPECT_EQ(layout.findGroup(0, 0, false, 0), 2);
    EXPECT_EQ(layout.findGroup(0, 0, true, 7), 2);
    EXPECT_EQ(layout.findGroup(3, 0, false, 0), 6);
    EXPECT_EQ(layout.findGroup(0, 0, true, 8), 0);
    EXPECT_EQ(layout.multiDetailNumber(6), 0);    // "A" is no number
    EXPECT_EQ(layout.findBySerial(60), 6);
    EXPECT_EQ(layout.findBySerial(61), 0);
}

TEST(Layout, RefusesImpossibleRows)
{
    EXPECT_THROW(Layout::load({row(0, 1, "X", -1)}), LayoutError);
    EXPECT_THROW(Layout::load({row(0, 1, "9", 3, 4)}), LayoutError);
    EXPECT_THROW(Layout::load({row(Layout::kMaxLevel, 1, "X", 1)}), LayoutError);
    EXPECT_THROW(Layout::load({row(0, 1, "M", 0, 0, 1 << 20), row(1, 2, "X", 1 << 20)}), LayoutError);
}

TEST(LocalRecord, BlankRecordHoldsEveryItemsBlankValue)
{
    const Layout layout = Layout::load({
        row(0, 1, "X", 10, 0, 0, "1"),
        row(0, 2, "9", 7, 2, 0, "11"),
        row(0, 3, "K", 5, 0, 0, "19"),
        row(0, 4, "M", 0, 0, 2, "24"),
        row(1, 5, "N", 2, 0, 0, "24"),
        row(1, 6, "M", 0, 0, 2, "26"),
        row(2, 7, "Y", 3, 0, 0, "26"),
        row(0, 8, "X", 12, 0, 0, "109"),
    });
    const LocalRecordLayout record(layout);
    QByteArray expected(121, ' ');  // to the largest 項目位置 + 長さ: 109 + 12
    expected.replace(10, 8, "00000.00");              // one longer than 長さ: the point
    expected.replace(18, 5, "\x81\x40\x81\x40 ");    // 2.5 full-width spaces round to 2
    for (int outer = 0; outer < 2; ++outer) {        // every occurrence, the nested ones included
        expected.replace(23 + outer * 8, 2, "00");
        for (int inner = 0; inner < 2; ++inner)
            expected.replace(25 + outer * 8 + inner * 3, 3, "000");
    }
    EXPECT_EQ(record.blankRecord().toStdString(), expected.toStdString());
    EXPECT_EQ(record.offsetOf(7, [](qint32 level) { return level == 1 ? 2 : 2; }), 25 + 8 + 3);
    EXPECT_EQ(record.offsetOf(7, [](qint32 level) { return level == 2 ? 3 : 1; }), -1);  // no third occurrence

    // A nested group's own position is never used: left empty, it changes nothing.
    const LocalRecordLayout withoutGroupPosition(Layout::load({
        row(0, 1, "X", 10, 0, 0, "1"), row(0, 2, "9", 7, 2, 0, "11"), row(0, 3, "K", 5, 0, 0, "19"),
        row(0, 4, "M", 0, 0, 2, "24"), row(1, 5, "N", 2, 0, 0, "24"), row(1, 6, "M", 0, 0, 2, ""),
        row(2, 7, "Y", 3, 0, 0, "26"), row(0, 8, "X", 12, 0, 0, "109"),
    }));
    EXPECT_EQ(withoutGroupPosition.blankRecord(), record.blankRecord());
}

TEST(LocalRecord, RefusesRecordsThatCannotBeBuilt)
{
    EXPECT_THROW(LocalRecordLayout(Layout::load({row(0, 1, "X", 5, 0, 0, "0")})), LayoutError);
    EXPECT_THROW(LocalRecordLayout(Layout::load({row(0, 1, "X", 5, 0, 0, "abc")})), LayoutError);
    EXPECT_THROW(LocalRecordLayout(Layout::load({row(0, 1, "X", 5, 0, 0, "1048576")})), LayoutError);
    // A level-0 group's position gives the record its length: it cannot be left empty.
    EXPECT_THROW(LocalRecordLayout(Layout::load({row(0, 1, "M", 0, 0, 2, ""), row(1, 2, "X", 3, 0, 0, "1")})),
                 LayoutError);
    // Occurrences that multiply beyond any record: refused before any blank value is written.
    EXPECT_THROW(LocalRecordLayout(Layout::load({row(0, 1, "M", 0, 0, 1 << 20, "1"), row(1, 2, "M", 0, 0, 1 << 20, "1"),
                                                 row(2, 3, "9", 0, 0, 0, "1")})),
                 LayoutError);
    // A member outside its group's length (a level skipped) would be filled over and over in place.
    EXPECT_THROW(LocalRecordLayout(Layout::load({row(0, 1, "M", 0, 0, 1000000, "1"), row(2, 2, "9", 1000000, 0, 0, "1"),
                                                 row(0, 3, "X", 1000000, 0, 0, "1")})),
                 LayoutError);
}

TEST(LocalRecord, FieldsNeverSpillOrSplitACharacter)
{
    QByteArray record(10, '.');
    const std::span<char> field(record.data(), size_t(record.size()));
    putIntoField(field, 2, 5, test::sjis(u"東京都"_s));  // the third character would need bytes 6-7
    EXPECT_EQ(record, QByteArray("..") + test::sjis(u"東京"_s) + " ...");
    putIntoField(field, 8, 5, "abcdef");  // the record ends first
    EXPECT_EQ(record.right(2), "ab");
    putIntoField(field, 0, 3, "x");  // a shorter value leaves the rest of the field
    EXPECT_EQ(record.left(3), QByteArray("x.") + test::sjis(u"東"_s).left(1));
}

}  // namespace
}  // namespace edi
