#include "app/text/ShiftJis.h"
#include "convert/localcii/ValueConversion.h"
#include "support/CiiBuilder.h"

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

using test::sjis;

LayoutItem item(const char* attribute, qint32 length, qint32 decimals = 0)
{
    LayoutItem result;
    result.attribute = QString::fromLatin1(attribute);
    result.length = length;
    result.decimals = decimals;
    return result;
}

// Converts a value between two items and returns the local text, or the status name.
std::string local(const QByteArray& value, const LayoutItem& cii, const LayoutItem& local, char code = 'M')
{
    std::string out;
    switch (convertCiiToLocal(localConversionFor(cii, local), value, cii, local, code, out)) {
    case LocalValueStatus::UnsupportedPair: return "<unsupported>";
    case LocalValueStatus::NotNumeric: return "<not numeric>";
    case LocalValueStatus::Converted: break;
    }
    return out;
}

TEST(CiiToLocal, NumbersKeepOrDropTheirDecimals)
{
    EXPECT_EQ(local("12345", item("9", 7, 2), item("9", 7, 2)), "00123.45");
    EXPECT_EQ(local("12345", item("9", 7, 2), item("9", 4)), "0123");
    EXPECT_EQ(local("12399", item("9", 7, 2), item("N", 4)), "0123");  // the integer part, not rounded
    EXPECT_EQ(local("5", item("9", 3), item("9", 6)), "000005");
    EXPECT_EQ(local("1234567", item("9", 3), item("9", 4)), "1234567");  // longer than the field: the caller cuts
    EXPECT_EQ(local("12", item("9", 4, 3), item("9", 3)), "000");     // decimals alone
    EXPECT_EQ(local("1205", item("9", 2, 2), item("9", 2)), "12");    // longer than its item
    EXPECT_EQ(local("000120", item("9", 6), item("9", 2)), "120");
    EXPECT_EQ(local("0", item("9", 1), item("9", 2)), "00");
    EXPECT_EQ(local("-12.5", item("N", 6), item("9", 4)), "-013");        // towards minus infinity
    EXPECT_EQ(local("-123", item("N", 6), item("N", 6)), "-00123");       // the sign takes a digit's place
    EXPECT_EQ(local("-0.0", item("N", 6), item("N", 3)), "000");
    EXPECT_EQ(local("-0.5", item("N", 6), item("N", 3)), "-01");   // rounding down makes a negative of a zero
    EXPECT_EQ(local("-19.5", item("N", 6), item("N", 4)), "-020");  // the carry runs through the nines
    EXPECT_EQ(local("-99.5", item("N", 6), item("N", 3)), "-100");  // and past the first digit
    EXPECT_EQ(local(" 42 ", item("N", 6), item("N", 3)), "042");
    EXPECT_EQ(local("99999999999999999999.9", item("N", 30), item("N", 3)), "99999999999999999999");
    EXPECT_EQ(local("12a45", item("9", 7, 2), item("9", 4)), "<not numeric>");
    EXPECT_EQ(local("--1", item("N", 3), item("N", 3)), "<not numeric>");
    EXPECT_EQ(local(".", item("N", 3), item("N", 3)), "<not numeric>");
}

TEST(CiiToLocal, DatesGetTheirCentury)
{
    EXPECT_EQ(local("991231", item("Y", 6), item("Y", 8)), "19991231");
    EXPECT_EQ(local("501231", item("Y", 6), item("Y", 8)), "20501231");
    EXPECT_EQ(local("511231", item("Y", 6), item("9", 8)), "19511231");
    EXPECT_EQ(local("30401", item("Y", 6), item("Y", 8)), "20030401");  // padded to six first
    EXPECT_EQ(local("20031225", item("9", 8), item("Y", 8)), "20031225");
    EXPECT_EQ(local("20031225", item("Y", 8), item("Y", 6)), "031225");  // the rightmost digits
    EXPECT_EQ(local("261215", item("Y", 8), item("Y", 8)), "00261215");  // eight-digit items get no century
}

TEST(CiiToLocal, TextIsPaddedToItsLength)
{
    EXPECT_EQ(local("AB", item("X", 5), item("X", 5)), "AB   ");
    EXPECT_EQ(local(sjis(u"ｱｲ"_s), item("X", 5), item("X", 4)), "\xB1\xB2  ");
    // Double-byte text is padded with full-width spaces, half to even.
    EXPECT_EQ(local(sjis(u"東京"_s), item("K", 10), item("K", 10)), (sjis(u"東京　　　"_s)).toStdString());
    EXPECT_EQ(local(sjis(u"東京"_s), item("K", 10), item("K", 9)), (sjis(u"東京　　"_s)).toStdString());   // 2.5 -> 2
    EXPECT_EQ(local(sjis(u"東京ｱ"_s), item("K", 10), item("K", 8)), (sjis(u"東京ｱ　　"_s)).toStdString());  // 1.5 -> 2
    // JIS row/cell pairs become Shift-JIS when the header says "S".
    EXPECT_EQ(local("\x30\x21\x24\x22", item("K", 4), item("K", 4), 'S'), sjis(u"亜あ"_s).toStdString());
}

// A lead byte whose second byte is missing at the value's end is a space before the padding:
// it would otherwise pair with the padding into a character that is not in the data.
TEST(CiiToLocal, ALoneLeadByteAtTheEndBecomesASpace)
{
    const QByteArray a = sjis(u"あ"_s);
    EXPECT_EQ(local(a + '\x82', item("K", 3), item("K", 7)), "\x82\xA0 \x81\x40\x81\x40");
    EXPECT_EQ(local(a + '\x82', item("K", 3), item("K", 3)), "\x82\xA0 ");
    EXPECT_EQ(local("AB\x82", item("X", 3), item("X", 5)), "AB   ");
    EXPECT_EQ(local("\x82", item("X", 1), item("X", 1)), " ");
    // A whole character whose second byte looks like a lead byte is left alone.
    EXPECT_EQ(local(sjis(u"あａ"_s), item("K", 4), item("K", 4)), sjis(u"あａ"_s).toStdString());
}

TEST(CiiToLocal, UnsupportedPairs)
{
    EXPECT_EQ(local("AB", item("X", 2), item("K", 2)), "<unsupported>");
    EXPECT_EQ(local("AB", item("B", 2), item("X", 2)), "<unsupported>");
    EXPECT_EQ(local("1", item("N", 2), item("Y", 2)), "<unsupported>");
}

QString convertCiiValueToText(QByteArrayView value, const LayoutItem& cii, char code, QChar mode)
{
    QByteArray utf8;
    edi::convertCiiValueToText(value, cii, code, mode, utf8);
    return QString::fromUtf8(utf8);
}

TEST(CiiValueAsText, ByAttribute)
{
    const LayoutItem binary = item("B", 4);
    EXPECT_EQ(convertCiiValueToText(QByteArray("\x0A\x00\xFF\x10", 4), binary, 'M', u'M'), u"A0FF10"_s);
    EXPECT_EQ(convertCiiValueToText("30401", item("Y", 8), 'M', u'M'), u"20030401"_s);
    EXPECT_EQ(convertCiiValueToText("991231", item("Y", 8), 'M', u'M'), u"19991231"_s);
    EXPECT_EQ(convertCiiValueToText("20031225", item("Y", 8), 'M', u'M'), u"20031225"_s);
    EXPECT_EQ(convertCiiValueToText(sjis(u"ﾃｽﾄ①"_s), item("X", 8), 'M', u'M'), u"ﾃｽﾄ①"_s);
    EXPECT_EQ(convertCiiValueToText("\x30\x21", item("K", 2), 'S', u'M'), u"亜"_s);
    EXPECT_EQ(convertCiiValueToText(QByteArray("\x4E\x9C", 2), item("K", 2), 'U', u'M'), u"亜"_s);
    EXPECT_EQ(convertCiiValueToText("x", item("M", 1), 'M', u'M'), QString());
}

TEST(DoubleByte, JisAndShiftJisRoundTripOverTheWholeTable)
{
    // Every JIS X 0208 row/cell pair maps into Shift-JIS and back.
    QByteArray jis;
    for (int row = 0x21; row <= 0x7E; ++row) {
        for (int cell = 0x21; cell <= 0x7E; ++cell) {
            jis += char(row);
            jis += char(cell);
        }
    }
    const QByteArray shiftJis = jisToShiftJis(jis);
    for (qsizetype i = 0; i < shiftJis.size(); i += 2)
        ASSERT_TRUE(isShiftJisLeadByte(uchar(shiftJis[i]))) << i;
    EXPECT_EQ(shiftJisToJis(shiftJis), jis);
    EXPECT_EQ(jisToShiftJis("\x21\x21\x24\x22"), sjis(u"　あ"_s));
    EXPECT_EQ(shiftJisToJis(sjis(u"a÷"_s)), QByteArray("a\x21\x60"));  // single bytes pass
    EXPECT_EQ(convertDoubleByte(sjis(u"亜"_s), 'M', 'S'), QByteArray("\x30\x21"));
}

}  // namespace
}  // namespace edi
