#include "ConverterFixture.h"
#include "convert/localcii/CiiBlockWriter.h"

#include <QFile>
#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;

namespace edi::test {
namespace {

const QByteArray kPrefix = "     0101      S1          R1          ";

// Puts a value at a 1-based position of an expected record.
void put(QByteArray& record, int position, const QByteArray& value)
{
    record.replace(position - 1, value.size(), value);
}

QByteArray fullWidthSpaces(int count) { return QByteArray("\x81\x40").repeated(count); }

class LocalConversionTest : public ConverterFixture {
protected:
    // A format of one text item (tag 1) of the given length and a second one (tag 2).
    void addTextFormat(const QString& infoClass, qint32 length = 300)
    {
        addFormat(infoClass, u"TEXT0001"_s, {{1, 0, 1, "1", "X", length}, {2, 0, 2, "1", "X", 0}},
                  {{1, 0, 1, "1", "X", length}});
    }
    GroupFields textGroup(const QString& infoClass = u"0201"_s, char mode = 'M')
    {
        GroupFields fields;
        fields.infoClass = infoClass;
        fields.bpid = u"TEXT0001"_s;
        fields.storageMode = mode;
        return fields;
    }
};

TEST_F(LocalConversionTest, DemoOrderBecomesOneRecordLine)
{
    const QByteArray body = BodyBuilder()
                                .element(1, "PO00000001")
                                .element(2, "20261208")
                                .element(3, sjis(u"東日本自動車"_s))
                                .element(4, "TKY001")
                                .group()
                                .element(101, "PART-0001")
                                .element(102, sjis(u"ボルト"_s))
                                .element(103, "1250")
                                .element(104, "12345")
                                .element(105, "20261215")
                                .nextRepetition()
                                .element(101, "PART-0002")
                                .element(103, "30000")
                                .endGroup()
                                .twoByteSection()
                                .element(1001, sjis(u"至急"_s))
                                .bytes();
    const ConversionResult result = convertLocal(ciiGroup({}, {body}));
    ASSERT_EQ(result.code, u"0000"_s) << result.failure.toStdString();

    QByteArray record(440, ' ');
    put(record, 1, "PO00000001");
    put(record, 11, "20261208");
    put(record, 19, sjis(u"東日本自動車"_s) + fullWidthSpaces(4));
    put(record, 39, "TKY001");
    for (int occurrence = 0; occurrence < 5; ++occurrence) {  // blank values of the five detail lines
        const int base = 45 + occurrence * 71;
        put(record, base + 15, fullWidthSpaces(15));
        put(record, base + 45, "00000.00");
        put(record, base + 53, "0000000.00");
        put(record, base + 63, "00000000");
    }
    put(record, 45, "PART-0001      ");
    put(record, 60, sjis(u"ボルト"_s) + fullWidthSpaces(12));
    put(record, 90, "00012.50");
    put(record, 98, "0000123.45");
    put(record, 108, "20261215");
    put(record, 116, "PART-0002      ");
    put(record, 161, "00300.00");
    put(record, 400, sjis(u"至急"_s) + fullWidthSpaces(18));

    const QList<QByteArray> lines = localLines(u"0101"_s);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(lines[0], kPrefix + record);
    EXPECT_EQ(logLines(), QStringList{u"0000--LOCCIIC start--00000057  2026/12/08 9:05:07"_s});
    EXPECT_EQ(context_.format.format.storageMode, u"M"_s);
    EXPECT_EQ(context_.format.characterMode, u'M');
}

TEST_F(LocalConversionTest, MessagesRunAcrossBlocks)
{
    addTextFormat(u"0201"_s);
    // 241 body bytes and the end byte fill one 251-byte block; one more byte needs a second.
    const QByteArray fits = BodyBuilder().element(1, QByteArray(200, 'A')).element(2, QByteArray(37, 'B')).bytes();
    const QByteArray spills = BodyBuilder().element(1, QByteArray(200, 'A')).element(2, QByteArray(38, 'B')).bytes();
    ASSERT_EQ(fits.size(), 241);

    QByteArray one, two;
    appendMessageBlocks(one, 1, fits, 'M');
    appendMessageBlocks(two, 1, spills, 'M');
    EXPECT_EQ(one.size(), 251);
    EXPECT_TRUE(one.startsWith("9D00001"));
    EXPECT_EQ(two.size(), 502);
    EXPECT_TRUE(two.startsWith("1D00001"));
    EXPECT_EQ(two[251], '9');
    EXPECT_EQ(two.mid(254), QByteArray(248, ' '));  // one data byte, the end byte, then padding

    ASSERT_EQ(convertLocal(ciiGroup(textGroup(), {fits, spills, fits})).code, u"0000"_s);
    const QList<QByteArray> lines = localLines(u"0201"_s);
    ASSERT_EQ(lines.size(), 3);
    for (const QByteArray& line : lines)
        EXPECT_EQ(line.mid(39, 300), QByteArray(200, 'A') + QByteArray(100, ' '));
    EXPECT_EQ(logLines().size(), 1);  // no length warnings
}

TEST_F(LocalConversionTest, LongMessagesInStorageModeS)
{
    addTextFormat(u"0201"_s, 40000);
    QByteArray value(35000, 'x');
    for (int i = 0; i < value.size(); ++i)
        value[i] = char('a' + i % 26);
    const QByteArray body = BodyBuilder().element(1, value).bytes();
    const QByteArray cii = ciiGroup(textGroup(u"0201"_s, 'S'), {body, body});
    // Long form prefix: X'8080', X'F7' and seven digits; the message spans two blocks unpadded.
    EXPECT_EQ(cii.mid(251, 17), QByteArray("1D00001\x80\x80\xF7") + "0035021");
    ASSERT_EQ(convertLocal(cii).code, u"0000"_s);
    const QList<QByteArray> lines = localLines(u"0201"_s);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[1].mid(39, 35000), value);
    EXPECT_EQ(logLines().size(), 1);
}

TEST_F(LocalConversionTest, EachInformationClassHasItsFile)
{
    addTextFormat(u"0201"_s);
    addTextFormat(u"0202"_s);
    const QByteArray body = BodyBuilder().element(1, "first").bytes();
    const QByteArray cii = ciiGroup(textGroup(u"0201"_s), {body}) + ciiGroup(textGroup(u"0202"_s), {body, body})
                         + ciiGroup(textGroup(u"0201"_s), {body});
    ASSERT_EQ(convertLocal(cii).code, u"0000"_s);
    EXPECT_EQ(localLines(u"0201"_s).size(), 2);
    EXPECT_EQ(localLines(u"0202"_s).size(), 2);
    EXPECT_TRUE(localLines(u"0202"_s)[0].startsWith("     0202      S1"));

    ASSERT_EQ(convertLocal(cii).code, u"0000"_s);  // a second run appends
    EXPECT_EQ(localLines(u"0201"_s).size(), 4);
}

TEST_F(LocalConversionTest, AFullDiskFailsTheRunWithoutEndingTheProgram)
{
    addTextFormat(u"0201"_s);
    // More records than the output's buffer holds, so a write fails while the run goes on.
    const QList<QByteArray> bodies(4000, BodyBuilder().element(1, "order").bytes());
    ASSERT_TRUE(QFile::link(u"/dev/full"_s, path(u"OUT0201.LOC"_s)));
    const ConversionResult result = convertLocal(ciiGroup(textGroup(u"0201"_s), bodies));
    EXPECT_EQ(result.code, u"9999"_s);
    EXPECT_FALSE(result.failure.isEmpty());
}

TEST_F(LocalConversionTest, AnInputThatIsNoFileFailsAtOnce)
{
    ASSERT_EQ(mkfifo(QFile::encodeName(path(u"FIFO.CII"_s)).constData(), 0600), 0);
    EXPECT_EQ(convertLocalCii(masters_, context_, log_, clock_, 57, path(u"FIFO.CII"_s), path(u"OUT.LOC"_s)).code,
              u"9999"_s);
}

TEST_F(LocalConversionTest, OutputNamesTakeTheClassBeforeTheFirstDot)
{
    EXPECT_EQ(localOutputPath(u"/in/00000057_RCV_ABC_________.LOC"_s, u"0101"_s),
              u"/in/00000057_RCV_ABC_________0101.LOC"_s);
    EXPECT_EQ(localOutputPath(u"/a.b/out.x.LOC"_s, u"01"_s), u"/a.b/out01.x.LOC"_s);
    EXPECT_EQ(localOutputPath(u"/a.b/out"_s, u"01"_s), u"/a.b/out01"_s);
}

TEST_F(LocalConversionTest, EndingsOfTheFile)
{
    addTextFormat(u"0201"_s);
    EXPECT_EQ(convertLocal({}).code, u"0000"_s);  // an empty file: nothing to do
    EXPECT_TRUE(QDir(database_.folder()).entryList({u"OUT*"_s}).isEmpty());

    const QByteArray body = BodyBuilder().element(1, QByteArray(300, 'C')).bytes();
    const QByteArray whole = ciiGroup(textGroup(), {body, body});
    EXPECT_EQ(convertLocal(whole.left(251 + 502 + 100)).code, u"0007"_s);  // the second message cut
    EXPECT_EQ(localLines(u"0201"_s).size(), 1);  // the message before it stays
    EXPECT_TRUE(logLines().contains(u"0007"_s));

    // A file that ends after a message, without a trailer, and one that ends in a header.
    EXPECT_EQ(convertLocal(whole.left(whole.size() - 251)).code, u"0000"_s);
    EXPECT_EQ(convertLocal(whole.left(100)).code, u"0007"_s);
}

TEST_F(LocalConversionTest, StorageFlag20SkipsTheMessages)
{
    addTextFormat(u"0201"_s);
    const QByteArray body = BodyBuilder().element(1, "x").bytes();
    // Messages of several blocks are skipped whole, whatever their data looks like.
    const QByteArray tricky = BodyBuilder().element(1, "Y" + QByteArray("0C9D").repeated(74)).bytes();
    for (const char mode : {'M', 'S'}) {
        GroupFields skipped = textGroup(u"0201"_s, mode);
        skipped.storageFlag = "20";
        const QByteArray big = BodyBuilder().element(1, QByteArray(33000, 'z')).bytes();
        ASSERT_EQ(convertLocal(ciiGroup(skipped, {body, tricky, big}) + ciiGroup(textGroup(), {body})).code, u"0000"_s);
        EXPECT_EQ(localLines(u"0201"_s).size(), 1) << mode;
        EXPECT_EQ(logLines().size(), 1) << mode;  // no warnings
        QFile::remove(path(u"OUT0201.LOC"_s));
        QFile::remove(path(u"ERR.LOG"_s));
    }
}

TEST_F(LocalConversionTest, MissingMastersEndTheRun)
{
    addTextFormat(u"0201"_s);
    const QByteArray body = BodyBuilder().element(1, "x").bytes();
    GroupFields unknown = textGroup(u"0999"_s);
    EXPECT_EQ(convertLocal(ciiGroup(unknown, {body})).code, u"0001"_s);
    removeLayout(u'L', u"0201"_s);
    EXPECT_EQ(convertLocal(ciiGroup(textGroup(), {body})).code, u"0004"_s);
    removeLayout(u'E', u"0201"_s);
    EXPECT_EQ(convertLocal(ciiGroup(textGroup(), {body})).code, u"0003"_s);
    EXPECT_EQ(logLines().mid(logLines().size() - 2), (QStringList{u"0000--LOCCIIC start--00000057  2026/12/08 9:05:07"_s, u"0003"_s}));

    // A message before any header has no format either.
    QByteArray headless;
    appendMessageBlocks(headless, 1, body, 'M');
    EXPECT_EQ(convertLocal(headless).code, u"0001"_s);
}

TEST_F(LocalConversionTest, WarningsLeaveTheRunGoing)
{
    addFormat(u"0301"_s, u"WARN0001"_s,
              {{1, 0, 1, "1", "X", 5}, {2, 0, 2, "6", "X", 5}, {3, 0, 3, "11", "9", 5},
               {4, 0, 4, "16", "M", 0, 0, "1", 2}, {5, 1, 5, "16", "X", 3}},
              {{1, 0, 1, "1", "X", 5}, {2, 0, 2, "6", "K", 5}, {3, 0, 3, "11", "9", 5},
               {4, 0, 4, "16", "M", 0, 0, "1", 2}, {5, 1, 5, "16", "X", 3}});
    GroupFields fields = textGroup(u"0301"_s);
    fields.bpid = u"WARN0001"_s;
    const QByteArray body = BodyBuilder()
                                .raw("\xFB\xFC\xF1")      // 10, 11, 13
                                .element(1, "ab")
                                .element(2, "cd")         // X into K: 21
                                .element(3, "1x")         // not a number: 21
                                .group()
                                .element(5, "o1")
                                .nextRepetition()
                                .element(5, "o2")
                                .nextRepetition()
                                .element(5, "o3")         // a third occurrence of two: 13, dropped
                                .endGroup()
                                .bytes();
    QByteArray cii = ciiGroup(fields, {body});
    cii.insert(251, "ZZ" "1X");  // two bad identifiers before the message: 8 -02, 8 -01
    ASSERT_EQ(convertLocal(cii).code, u"0000"_s);
    EXPECT_EQ(logLines().mid(1), (QStringList{u"0008-02"_s, u"0008-01"_s, u"0010"_s, u"0011"_s, u"0013"_s, u"0021"_s,
                                              u"0021数値不正 項目3"_s, u"0013繰返し数超過 項目5"_s}));
    const QList<QByteArray> lines = localLines(u"0301"_s);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(lines[0].mid(39), QByteArray("ab   ") + QByteArray("\x81\x40\x81\x40 ") + "00000" + "o1 o2 " + " ");
}

TEST_F(LocalConversionTest, LengthProblems)
{
    addTextFormat(u"0201"_s);
    // A prefix that announces one byte too many: warning 12, the line is still written.
    QByteArray cii = ciiGroup(textGroup(), {BodyBuilder().element(1, "abc").bytes()});
    cii[251 + 8] = char(cii[251 + 8] + 1);
    EXPECT_EQ(convertLocal(cii).code, u"0000"_s);
    EXPECT_TRUE(logLines().contains(u"0012長さ違い"_s));
    EXPECT_EQ(localLines(u"0201"_s).size(), 1);

    // A malformed length indicator reads as length 0, and a zero length ends the run.
    EXPECT_EQ(convertLocal(ciiGroup(textGroup(), {BodyBuilder().raw("\x01\xF5").bytes()})).code, u"0015"_s);
    EXPECT_EQ(logLines().mid(logLines().size() - 2), (QStringList{u"0009"_s, u"0015"_s}));
    EXPECT_EQ(convertLocal(ciiGroup(textGroup(), {BodyBuilder().element(1, {}).bytes()})).code, u"0015"_s);
}

TEST_F(LocalConversionTest, TwoByteTagsAndNumberedGroups)
{
    addFormat(u"0401"_s, u"WIDE0001"_s,
              {{1, 0, 300, "1", "X", 4}, {2, 0, 65541, "5", "X", 4}, {3, 0, 9, "9", "M", 0, 0, "7", 2},
               {4, 1, 1, "9", "X", 2}, {5, 0, 10, "13", "M", 0, 0, "300", 1}, {6, 1, 1, "13", "X", 2}});
    GroupFields fields = textGroup(u"0401"_s);
    fields.bpid = u"WIDE0001"_s;
    const QByteArray body = BodyBuilder()
                                .twoByteSection()
                                .element(300, "t300")
                                .element(65541, "t65k")
                                .group(7)
                                .element(1, "g1")
                                .nextRepetition()
                                .element(1, "g2")
                                .endGroup()
                                .raw("\xF0\xF9\x01")  // ignored in the two-byte section, no warning
                                .group(300)
                                .element(1, "h1")
                                .endGroup()
                                .bytes();
    ASSERT_EQ(convertLocal(ciiGroup(fields, {body})).code, u"0000"_s);
    EXPECT_EQ(logLines().size(), 1);
    EXPECT_EQ(localLines(u"0401"_s).value(0).mid(39), QByteArray("t300t65kg1g2h1 "));
}

// A value ending in a lead byte without its second byte: a space there, before the full-width
// padding and before the next field alike; half a character at a field's end is a space too.
TEST_F(LocalConversionTest, HalfCharactersBecomeSpacesWhereverTheyEnd)
{
    addFormat(u"0501"_s, u"HALF0001"_s,
              {{1, 0, 1, "1", "K", 6}, {2, 0, 2, "7", "X", 3}, {3, 0, 3, "10", "X", 2}, {4, 0, 4, "12", "K", 4}});
    GroupFields fields = textGroup(u"0501"_s);
    fields.bpid = u"HALF0001"_s;
    const QByteArray body = BodyBuilder()
                                .element(1, sjis(u"あ"_s) + '\x82')
                                .element(2, "AB\x82")
                                .element(3, "C")
                                .element(4, sjis(u"いうえ"_s))
                                .bytes();
    ASSERT_EQ(convertLocal(ciiGroup(fields, {body})).code, u"0000"_s);
    EXPECT_EQ(localLines(u"0501"_s).value(0).mid(39).toHex(' '),
              QByteArray("\x82\xA0 \x81\x40 " "AB " "C " "\x82\xA2\x82\xA4 ").toHex(' '));
}

}  // namespace
}  // namespace edi::test
