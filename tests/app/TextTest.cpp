#include "app/text/FieldNormaliser.h"
#include "app/text/ShiftJis.h"
#include "app/text/ShiftJisDecoder.h"
#include "app/text/ShiftJisEncoder.h"
#include "app/text/TextHelpers.h"

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

TEST(ShiftJisCodec, EncodesTheCodePageAndItsExtensions)
{
    ShiftJisCodec codec;
    EXPECT_EQ(codec.encode(u"AB\\~"), QByteArray("AB\\~"));           // 0x5C stays a backslash
    EXPECT_EQ(codec.encode(u"ｱ"), QByteArray("\xB1"));                // half-width katakana: one byte
    EXPECT_EQ(codec.encode(u"日本"), QByteArray("\x93\xFA\x96\x7B"));
    EXPECT_EQ(codec.encode(u"①髙"), QByteArray("\x87\x40\xFB\xFC"));  // vendor extensions
    EXPECT_EQ(codec.decode(QByteArray("\x87\x40\xFB\xFC\\")), u"①髙\\"_s);
}

TEST(ShiftJisCodec, ReplacesWhatCannotBeConverted)
{
    ShiftJisCodec codec;
    EXPECT_EQ(codec.encode(u"a😀b€"), QByteArray("a?b?"));  // a surrogate pair is one character
    EXPECT_EQ(codec.decode(QByteArray("a\x93")), u"a\uFFFD"_s);  // lead byte at the end
    EXPECT_EQ(codec.decode(QByteArray("\xA0z")), u"\uFFFDz"_s);  // undefined single byte
    EXPECT_FALSE(codec.isRepresentable(u"€"));
    EXPECT_TRUE(codec.isRepresentable(u"ｶﾞ漢字?"));
}

TEST(ShiftJisCodec, ByteLengthAgreesWithTheEncoding)
{
    ShiftJisCodec codec;
    for (const QString& text : {u""_s, u"abc"_s, u"ｱｲｳ"_s, u"漢字ab"_s, u"x😀y"_s})
        EXPECT_EQ(codec.byteLength(text), codec.encode(text).size()) << text.toStdString();
}

// Every character of the code page, cut into pieces of every size from 1 to 7 bytes, decodes to
// what the converter gives for it alone.
TEST(ShiftJisDecoder, DecodesEveryCharacterAsTheConverterDoes)
{
    ShiftJisCodec codec;
    QByteArray input;
    QByteArray expected;
    auto take = [&](const QByteArray& character) {
        QByteArray utf8;
        codec.decodeToUtf8(character, utf8);
        if (utf8.contains("\xEF\xBF\xBD"))
            return;  // no character, or not one alone
        input += character;
        expected += utf8;
    };
    for (int byte = 0; byte < 256; ++byte) {
        if (isShiftJisLeadByte(uchar(byte))) {
            for (int trail = 0x40; trail <= 0xFC; ++trail)
                take(QByteArray(1, char(byte)).append(char(trail)));
        } else {
            take(QByteArray(1, char(byte)));
        }
    }
    ASSERT_GT(input.size(), 15000);
    for (qsizetype piece = 1; piece <= 7; ++piece) {
        ShiftJisDecoder decoder;
        QByteArray out;
        for (qsizetype at = 0; at < input.size(); at += piece)
            ASSERT_TRUE(decoder.decode(QByteArrayView(input).sliced(at, std::min(piece, input.size() - at)), out)) << at;
        EXPECT_EQ(out, expected) << piece;
        EXPECT_FALSE(decoder.isInsideCharacter());
        EXPECT_EQ(decoder.offset(), input.size());
    }
}

TEST(ShiftJisDecoder, StopsAtBytesThatFormNoCharacter)
{
    struct Case {
        QList<QByteArray> pieces;
        QByteArray decoded;
        qint64 offset;
    };
    const QList<Case> cases{
        {{"ab\x81 c"}, "ab", 2},              // a trail byte that is none
        {{"a\x80"}, "a", 1},                  // a byte that begins nothing
        {{"\x93\xFA" "b\xA0"}, "\xE6\x97\xA5" "b", 3},
        {{"x\x93", "\xFA" "y\x81", "\x7F"}, "x\xE6\x97\xA5" "y", 4},  // cut characters, the second none
    };
    for (const Case& c : cases) {
        ShiftJisDecoder decoder;
        QByteArray out;
        bool decoded = true;
        for (const QByteArray& piece : c.pieces)
            decoded = decoded && decoder.decode(piece, out);
        EXPECT_FALSE(decoded) << c.pieces.join('|').toHex().constData();
        EXPECT_EQ(out, c.decoded) << c.pieces.join('|').toHex().constData();
        EXPECT_EQ(decoder.offset(), c.offset) << c.pieces.join('|').toHex().constData();
    }
    ShiftJisDecoder cut;
    QByteArray out;
    EXPECT_TRUE(cut.decode("ab\x93", out));
    EXPECT_TRUE(cut.isInsideCharacter());
    EXPECT_EQ(out, "ab");
}

// Every character of the Basic Multilingual Plane, and one beyond it, encodes as the converter
// encodes it; those the code page lacks go to the caller's stand-in.
TEST(ShiftJisEncoder, EncodesEveryCharacterAsTheConverterDoes)
{
    QString text;
    for (char32_t character = 1; character < 0x10000; ++character) {
        if (character < 0xD800 || character > 0xDFFF)
            text += QChar(char16_t(character));
    }
    text += u"😀"_s;
    const QByteArray utf8 = text.toUtf8();
    QByteArray expected;
    threadShiftJis().encodeUtf8Into(utf8, expected);  // "?" for what it lacks
    QByteArray out = "kept";
    ASSERT_TRUE(encodeUtf8ToShiftJis(utf8, out, [](char32_t, QByteArray& to) { to += '?'; }));
    EXPECT_EQ(out, "kept" + expected);

    out.clear();
    ASSERT_TRUE(encodeUtf8ToShiftJis("a\xE2\x82\xAC" "b\xF0\x9F\x98\x80", out,
                                     [](char32_t c, QByteArray& to) { to += "&#" + QByteArray::number(quint32(c)) + ';'; }));
    EXPECT_EQ(out, "a&#8364;b&#128512;");
    for (const QByteArray& bad : {QByteArray("x\xE2\x82"), QByteArray("x\xC0\xAF"), QByteArray("x\x80y"), QByteArray("x\xED\xA0\x80")}) {
        out.clear();
        EXPECT_FALSE(encodeUtf8ToShiftJis(bad, out, [](char32_t, QByteArray&) {})) << bad.toHex().constData();
        EXPECT_EQ(out, "x");
    }
}

TEST(TextHelpers, ByteLengthsAndRoundTrips)
{
    EXPECT_EQ(ansiByteLength(QVariant()), 0);
    EXPECT_EQ(ansiByteLength(QVariant(u"ｱｲ漢"_s)), 4);
    EXPECT_TRUE(ansiRoundTrips(u"受注センター"));
    EXPECT_FALSE(ansiRoundTrips(u"a€"));
    EXPECT_EQ(storageLength(u"受注"), 4);
    EXPECT_EQ(storageLength(u"a€"), 4);  // UTF-16 bytes when Shift-JIS would lose it
}

TEST(TextHelpers, CutToAnsiBytesNeverSplitsACharacter)
{
    EXPECT_EQ(cutToAnsiBytes(u"日本語"_s, 5), u"日本"_s);
    EXPECT_EQ(cutToAnsiBytes(u"ab日本"_s, 4), u"ab日"_s);
    EXPECT_EQ(cutToAnsiBytes(u"ｱｲｳ"_s, 2), u"ｱｲ"_s);
    EXPECT_EQ(cutToAnsiBytes(u"abc"_s, 0), QString());
}

TEST(TextHelpers, SmallConversions)
{
    EXPECT_EQ(cutAtNul(u"abc\0def"_s), u"abc"_s);
    EXPECT_EQ(cutAtNul(u"\0abc"_s), QString());
    EXPECT_EQ(expandLineBreaks(u"受信\\n以上\\n"_s), u"受信\r\n以上\r\n"_s);
    EXPECT_EQ(trimOrDefault(QVariant(), u"x"_s), u"x"_s);
    EXPECT_EQ(trimOrDefault(u"  a b  "_s, u"x"_s), u"a b"_s);
    EXPECT_EQ(nullOrDefault(QVariant(), u"0"_s), u"0"_s);
    EXPECT_EQ(nullOrDefault(u" a "_s, u"0"_s), u" a "_s);
    EXPECT_EQ(serialText(123), u"00000123"_s);
}

TEST(TextHelpers, FileNameCentreCodeFillsTo12)
{
    EXPECT_EQ(fileNameCentreCode(u"ABC"_s), u"ABC_________"_s);
    EXPECT_EQ(fileNameCentreCode(u"AB 12"_s), u"AB_12_______"_s);
    EXPECT_EQ(fileNameCentreCode(u"ABCDEFGHIJKL"_s), u"ABCDEFGHIJKL"_s);
    EXPECT_EQ(fileNameCentreCode(u"ABCDEFGHIJKLM"_s), std::nullopt);
}

TEST(TextHelpers, PatternFindsJobFilesTheWayCollectionDoes)
{
    const QString pattern = u"00000007_RCV_ABC_________*.XML"_s;
    EXPECT_TRUE(patternMatches(pattern, u"00000007_RCV_ABC_________.XML"_s));
    EXPECT_TRUE(patternMatches(pattern, u"00000007_RCV_ABC_________.xml.bak"_s));
    EXPECT_TRUE(patternMatches(pattern, u"copy of 00000007_RCV_ABC_________.XML"_s));
    EXPECT_FALSE(patternMatches(pattern, u"00000007_RCV_ABC_________A.XML"_s));
    EXPECT_FALSE(patternMatches(pattern, u"00000008_RCV_ABC_________.XML"_s));
    EXPECT_FALSE(patternMatches(u"(unclosed"_s, u"(unclosed"_s));
}

class FieldNormaliserTest : public ::testing::Test {
protected:
    QString normalise(const QString& typed, const QString& format, int maxBytes = 10)
    {
        return normaliseFieldText(typed, format, maxBytes, QDate(2026, 12, 8));
    }
};

TEST_F(FieldNormaliserTest, CompletesDates)
{
    const QString date = u"yyyy/mm/dd"_s;
    EXPECT_EQ(normalise(u"20031225"_s, date), u"2003/12/25"_s);
    EXPECT_EQ(normalise(u"031225"_s, date), u"2003/12/25"_s);
    EXPECT_EQ(normalise(u" 031225 "_s, date), u"2003/12/25"_s);
    EXPECT_EQ(normalise(u"2003/1/5"_s, date), u"2003/01/05"_s);
    EXPECT_EQ(normalise(u"1/5"_s, date), u"2026/01/05"_s);
    EXPECT_EQ(normalise(u"03/1/5"_s, date), u"2003/01/05"_s);
    EXPECT_EQ(normalise(u"031225"_s, u"yy/mm/dd"_s, 8), u"03/12/25"_s);
}

TEST_F(FieldNormaliserTest, PlacesTwoDigitYearsInTheirCentury)
{
    const QString date = u"yyyy/mm/dd"_s;
    EXPECT_EQ(normalise(u"291231"_s, date), u"2029/12/31"_s);
    EXPECT_EQ(normalise(u"300101"_s, date), u"1930/01/01"_s);
    EXPECT_EQ(normalise(u"991231"_s, date), u"1999/12/31"_s);
}

TEST_F(FieldNormaliserTest, LeavesInvalidDatesAsTyped)
{
    const QString date = u"yyyy/mm/dd"_s;
    EXPECT_EQ(normalise(u"20030230"_s, date), u"20030230"_s);
    EXPECT_EQ(normalise(u"2003123"_s, date), u"2003123"_s);
    EXPECT_EQ(normalise(u"abcdefgh"_s, date), u"abcdefgh"_s);
    EXPECT_EQ(normalise(u"2003/13/1"_s, date), u"2003/13/1"_s);
    // Too long for the field: shortened from the right until it fits, then read again.
    EXPECT_EQ(normalise(u"2003/12/25xx"_s, date), u"2003/12/25"_s);
}

TEST_F(FieldNormaliserTest, CompletesFourDigitTimesOnly)
{
    const QString time = u"hh:mm"_s;
    EXPECT_EQ(normalise(u"0930"_s, time, 5), u"09:30"_s);
    EXPECT_EQ(normalise(u"930"_s, time, 5), u"930"_s);
    EXPECT_EQ(normalise(u"2460"_s, time, 5), u"2460"_s);
    EXPECT_EQ(normalise(u"9:30"_s, time, 5), u"9:30"_s);
}

TEST_F(FieldNormaliserTest, CutsPlainFieldsToTheirByteLength)
{
    EXPECT_EQ(normalise(u"ABCDEFGHIJKLMN"_s, QString(), 12), u"ABCDEFGHIJKL"_s);
    EXPECT_EQ(normalise(u"日本語"_s, QString(), 5), u"日本"_s);
}

}  // namespace
}  // namespace edi
