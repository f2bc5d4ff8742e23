#include "ConverterFixture.h"
#include "app/text/ShiftJis.h"
#include "convert/ciixml/CiiXmlConverter.h"
#include "convert/ciixml/MessageEncoder.h"
#include "convert/localcii/CiiBlockWriter.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <chrono>
#include <tuple>

using namespace Qt::Literals::StringLiterals;

namespace edi::test {
namespace {

class CiiXmlTest : public ConverterFixture {
protected:
    ConversionResult convert(const QString& input, const QString& output)
    {
        return convertCiiXml(masters_, context_, log_, 7, path(input), path(output));
    }
    QByteArray demoMessage() const
    {
        return BodyBuilder()
            .element(1, "PO00000001")
            .element(2, "20261208")
            .element(3, sjis(u"東日本自動車"_s))
            .group()
            .element(101, "PART-0001")
            .element(103, "1250")
            .nextRepetition()
            .element(101, "PART-0002")
            .endGroup()
            .twoByteSection()
            .element(1001, sjis(u"至急"_s))
            .bytes();
    }
    QString xmlText(const QString& name) const { return threadShiftJis().decode(readFile(path(name))); }
};

TEST_F(CiiXmlTest, WritesTheDocumentNodeForNode)
{
    writeFile(path(u"IN.CII"_s), ciiGroup({}, {demoMessage()}));
    ASSERT_EQ(convert(u"IN.CII"_s, u"OUT.XML"_s).code, u"0000"_s);
    QString header;
    const QStringList fields = {u"JPC03> <"_s, u"JPC04><"_s, u"JPC05><"_s, u"JPC06>S1<"_s, u"JPC07><"_s, u"JPC08><"_s,
                                u"JPC09>R1<"_s, u"JPC10>DEMO<"_s, u"JPC11>01<"_s, u"JPC12>01<"_s, u"JPC14>0101<"_s,
                                u"JPC17>11<"_s, u"JPC18><"_s, u"JPC19>261208093000<"_s, u"JPC21><"_s, u"JPC23>M<"_s,
                                u"JPC24><"_s, u"JPC25>M<"_s, u"JPC29><"_s, u"JPC30><"_s, u"JPC31><"_s, u"JPC32><"_s,
                                u"JPC33><"_s, u"JPC34><"_s, u"JPC35><"_s};
    for (const QString& field : fields)
        header += u'<' + field + u'/' + field.left(5) + u">\r\n"_s;
    const QString expected = u"<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n"
                             u"<CII-DEMO01010101-V10>\r\n<JPMGH>\r\n"_s
                           + header
                           + u"</JPMGH>\r\n<JPTRM SEQ=\"1\">\r\n"
                             u"<JP00001>PO00000001</JP00001>\r\n"
                             u"<JP00002>20261208</JP00002>\r\n"
                             u"<JP00003>東日本自動車</JP00003>\r\n"
                             u"<JPM0>\r\n"
                             u"  <JPM0R>\r\n"
                             u"    <JP00101>PART-0001</JP00101>\r\n"
                             u"    <JP00103>1250</JP00103>\r\n"
                             u"  </JPM0R>\r\n"
                             u"  <JPM0R>\r\n"
                             u"    <JP00101>PART-0002</JP00101>\r\n"
                             u"  </JPM0R>\r\n"
                             u"</JPM0>\r\n"
                             u"<JP01001>至急</JP01001>\r\n"
                             u"</JPTRM>\r\n</CII-DEMO01010101-V10>"_s;
    EXPECT_EQ(xmlText(u"OUT.XML"_s), expected);
    EXPECT_EQ(logLines(), QStringList{u"0000--CIIXMLC start--00000007"_s});
    EXPECT_FALSE(QFile::exists(path(u"OUT.XML.part"_s)));
}

TEST_F(CiiXmlTest, RoundTripsKeepCanonicalDataExactly)
{
    writeFile(path(u"A.CII"_s), ciiGroup({}, {demoMessage(), demoMessage()}));
    ASSERT_EQ(convert(u"A.CII"_s, u"B.XML"_s).code, u"0000"_s);
    ASSERT_EQ(convert(u"B.XML"_s, u"C.CII"_s).code, u"0000"_s);   // CII as XML to CII writes it
    ASSERT_EQ(convert(u"C.CII"_s, u"D.XML"_s).code, u"0000"_s);
    ASSERT_EQ(convert(u"D.XML"_s, u"E.CII"_s).code, u"0000"_s);
    EXPECT_EQ(readFile(path(u"E.CII"_s)), readFile(path(u"C.CII"_s)));
    EXPECT_EQ(xmlText(u"D.XML"_s), xmlText(u"B.XML"_s));

    // The CII written from XML gives the local records the original gives.
    const QByteArray direct = readFile(path(u"A.CII"_s));
    ASSERT_EQ(convertLocal(readFile(path(u"C.CII"_s))).code, u"0000"_s);
    const QList<QByteArray> fromXml = localLines(u"0101"_s);
    QFile::remove(path(u"OUT0101.LOC"_s));
    ASSERT_EQ(convertLocal(direct).code, u"0000"_s);
    EXPECT_EQ(localLines(u"0101"_s), fromXml);
    EXPECT_EQ(fromXml.size(), 2);
}

TEST_F(CiiXmlTest, HeaderFieldsKeepTheirJapaneseText)
{
    GroupFields fields;
    fields.sender = u"ﾄｳｷｮｳ"_s;      // half-width katakana: one byte each
    fields.receiver = u"東日本"_s;     // double-byte characters
    writeFile(path(u"A.CII"_s), ciiGroup(fields, {demoMessage()}));
    ASSERT_EQ(convert(u"A.CII"_s, u"B.XML"_s).code, u"0000"_s);
    EXPECT_TRUE(xmlText(u"B.XML"_s).contains(u">ﾄｳｷｮｳ<"_s)) << xmlText(u"B.XML"_s).toStdString();
    EXPECT_TRUE(xmlText(u"B.XML"_s).contains(u">東日本<"_s));
    ASSERT_EQ(convert(u"B.XML"_s, u"C.CII"_s).code, u"0000"_s);
    // The header record follows the block's "0C": both party codes come back byte for byte.
    const QByteArray header = readFile(path(u"C.CII"_s)).mid(2, FixedRecord::kSize);
    EXPECT_EQ(header.mid(25, 12), sjis(fields.sender).leftJustified(12, ' '));
    EXPECT_EQ(header.mid(61, 12), sjis(fields.receiver).leftJustified(12, ' '));
}

TEST_F(CiiXmlTest, DocumentsAppendAsGroups)
{
    writeFile(path(u"A.CII"_s), ciiGroup({}, {demoMessage()}));
    ASSERT_EQ(convert(u"A.CII"_s, u"A.XML"_s).code, u"0000"_s);
    // Two documents into one CII file: header, message and trailer of each.
    ASSERT_EQ(convert(u"A.XML"_s, u"OUT.CII"_s).code, u"0000"_s);
    ASSERT_EQ(convert(u"A.XML"_s, u"OUT.CII"_s).code, u"0000"_s);
    const QByteArray cii = readFile(path(u"OUT.CII"_s));
    const QByteArray one = cii.left(cii.size() / 2);
    EXPECT_EQ(cii, one + one);
    EXPECT_TRUE(one.startsWith("0C"));
    EXPECT_EQ(one.mid(one.size() - 251, 7), "0E00001");

    // Two headers in one document, two messages each: numbered 00001 and 00002, trailers count 2.
    const QString xml = xmlText(u"A.XML"_s);
    const qsizetype messageStart = xml.indexOf(u"<JPTRM"_s);
    const qsizetype messageEnd = xml.indexOf(u"</JPTRM>"_s) + 8;
    const QString header = xml.mid(xml.indexOf(u"<JPMGH>"_s), xml.indexOf(u"</JPMGH>"_s) + 8 - xml.indexOf(u"<JPMGH>"_s));
    const QString message = xml.mid(messageStart, messageEnd - messageStart);
    QString twice = u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<R>"_s + header + message + message
                  + QString(header).replace(u"<JPC19>261208093000"_s, u"<JPC19>261208093001"_s) + message + message
                  + u"</R>"_s;
    writeFile(path(u"TWO.XML"_s), twice.toUtf8());
    ASSERT_EQ(convert(u"TWO.XML"_s, u"TWO.CII"_s).code, u"0000"_s);
    const QByteArray groups = readFile(path(u"TWO.CII"_s));
    ASSERT_EQ(groups.count("0C"), 2);
    EXPECT_EQ(groups.count("0E00002"), 2);
    EXPECT_EQ(groups.count("1D00001") + groups.count("9D00001"), 2);
    EXPECT_EQ(groups.count("1D00002") + groups.count("9D00002"), 2);
}

// What lies between and inside the elements: a text of blanks alone counts for nothing, CDATA
// always; an element's text is that of all its descendants, comments splitting it; after a
// repetition any node but blanks begins the next one, even at the end of the group; a
// processing instruction JPTRM is an empty message; a prefixed name is no CII name.
TEST_F(CiiXmlTest, NodesBetweenElementsFollowTheirRules)
{
    const QString document =
        u"<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<R><JPMGH><JPC10>DEMO</JPC10><JPC11>01</JPC11><JPC12>01</JPC12>"
        u"<JPC14>0101</JPC14><JPC23>M</JPC23></JPMGH>\n"
        u"<JPTRM>\n <JP00001> <!--c--> PO<![CDATA[ 1 ]]>X&#10;</JP00001>\n"
        u" <JPM0><JPM0R><JP00101>A</JP00101></JPM0R><?pi x?><JPM0R><JP00101>B<x>C</x></JP00101></JPM0R> <!--after--> </JPM0>\n"
        u" <JP00003><![CDATA[\t]]></JP00003>\n</JPTRM>\n<?JPTRM?>\n"
        u"<JPTRM><JP00002>  </JP00002><JP00001>&#9;</JP00001><p:JP00001 xmlns:p=\"urn:x\">v</p:JP00001>"
        u"<JP00003>東京</JP00003></JPTRM>\n</R>\n"_s;
    writeFile(path(u"NODES.XML"_s), sjis(document));
    ASSERT_EQ(convert(u"NODES.XML"_s, u"NODES.CII"_s).code, u"0000"_s);
    const QByteArray cii = readFile(path(u"NODES.CII"_s));
    ASSERT_EQ(cii.size(), 251 * 5);
    EXPECT_EQ(cii.mid(251, 33).toHex(), QByteArray("9D00001\x00\x20\x01\x07PO 1 X\n"
                                                   "\xFA\x65\x01" "A\xFB\x65\x02" "BC\xFB\xFC\x03\x01\t\xFE", 33).toHex());
    EXPECT_EQ(cii.mid(502, 10).toHex(), QByteArray("9D00002\x00\x09\xFE", 10).toHex());
    EXPECT_EQ(cii.mid(753, 16).toHex(), QByteArray("9D00003\x00\x0F\x03\x04\x93\x8C\x8B\x9E\xFE", 16).toHex());
}

TEST_F(CiiXmlTest, EveryDocumentEncoding)
{
    for (const auto& [code, declaration, start] :
         {std::tuple{"U", "UTF-16", QByteArray("\xFF\xFE<\0?\0x\0", 8)},
          std::tuple{"S", "ISO-2022-JP", QByteArray("<?xml")}, std::tuple{"Z", "Shift_JIS", QByteArray("<?xml")}}) {
        db_->execute({u"UPDATE FL1902フォーマット情報マスタ SET XML文字コード = ?"_s, {QString::fromLatin1(code)}});
        writeFile(path(u"A.CII"_s), ciiGroup({}, {demoMessage()}));
        QFile::remove(path(u"B.CII"_s));
        ASSERT_EQ(convert(u"A.CII"_s, u"A.XML"_s).code, u"0000"_s) << code;
        const QByteArray xml = readFile(path(u"A.XML"_s));
        EXPECT_TRUE(xml.startsWith(start)) << code;
        EXPECT_TRUE(QString::fromUtf8(xml).contains(QString::fromLatin1(declaration))
                    || QString::fromUtf16(reinterpret_cast<const char16_t*>(xml.constData() + 2), xml.size() / 2 - 1)
                           .contains(QString::fromLatin1(declaration)))
            << code;
        ASSERT_EQ(convert(u"A.XML"_s, u"B.CII"_s).code, u"0000"_s) << code;
        ASSERT_EQ(convert(u"B.CII"_s, u"B.XML"_s).code, u"0000"_s) << code;
        EXPECT_EQ(readFile(path(u"B.XML"_s)), xml) << code;
    }
}

// A Shift-JIS document is read in pieces: a character across two of them is one character, and
// bytes that are none refuse the document.
TEST_F(CiiXmlTest, ShiftJisDocumentsAreReadCharacterByCharacter)
{
    const QByteArray declaration = "<?xml version=\"1.0\" encoding=\"shift_jis\"?>";
    const QByteArray header = "<R><JPMGH><JPC10>DEMO</JPC10><JPC11>01</JPC11><JPC12>01</JPC12><JPC14>0101</JPC14>"
                              "<JPC23>M</JPC23></JPMGH>";
    const QByteArray message = "<JPTRM><JP00003>" + sjis(u"東京"_s) + "</JP00003></JPTRM></R>";
    for (qsizetype cut : {65535, 65536, 131071}) {
        // A comment pads the document so that the first character begins at byte cut.
        const qsizetype padding = cut - declaration.size() - header.size() - 7 - 16;
        writeFile(path(u"CUT.XML"_s), declaration + header + "<!--" + QByteArray(padding, 'x') + "-->" + message);
        ASSERT_EQ(readFile(path(u"CUT.XML"_s)).indexOf(sjis(u"東"_s)), cut);
        QFile::remove(path(u"CUT.CII"_s));
        ASSERT_EQ(convert(u"CUT.XML"_s, u"CUT.CII"_s).code, u"0000"_s) << cut;
        EXPECT_EQ(readFile(path(u"CUT.CII"_s)).mid(251, 16).toHex(),
                  QByteArray("9D00001\x00\x0F\x03\x04\x93\x8C\x8B\x9E\xFE", 16).toHex()) << cut;
    }
    writeFile(path(u"OUT.CII"_s), "existing");
    writeFile(path(u"BAD.XML"_s), declaration + header + "<JPTRM><JP00003>a\x81 b</JP00003></JPTRM></R>");
    EXPECT_EQ(convert(u"BAD.XML"_s, u"OUT.CII"_s).code, u"0002"_s);
    EXPECT_EQ(readFile(path(u"OUT.CII"_s)), "existing");
    EXPECT_TRUE(logLines().last().contains(u"Shift_JIS"_s)) << logLines().last().toStdString();
}

TEST_F(CiiXmlTest, ANumberedGroupInTheOneByteSectionKeepsItsNumber)
{
    addFormat(u"0501"_s, u"NUMG0001"_s,
              {{1, 0, 1, "1", "X", 2}, {2, 0, 9, "3", "M", 0, 0, "3", 2}, {3, 1, 5, "3", "X", 2}});
    GroupFields fields;
    fields.infoClass = u"0501"_s;
    fields.bpid = u"NUMG0001"_s;
    writeFile(path(u"A.CII"_s), ciiGroup(fields, {BodyBuilder().element(1, "AB").bytes()}));
    ASSERT_EQ(convert(u"A.CII"_s, u"A.XML"_s).code, u"0000"_s);
    const QString group = u"<JPM3><JPM3R><JP00005>N1</JP00005></JPM3R><JPM3R><JP00005>N2</JP00005></JPM3R></JPM3>"_s;
    writeFile(path(u"B.XML"_s), xmlText(u"A.XML"_s).replace(u"</JP00001>"_s, u"</JP00001>"_s + group).toUtf8());
    writeFile(path(u"B.XML"_s), readFile(path(u"B.XML"_s)).replace("Shift_JIS", "UTF-8"));

    ASSERT_EQ(convert(u"B.XML"_s, u"B.CII"_s).code, u"0000"_s);
    const QByteArray cii = readFile(path(u"B.CII"_s));
    EXPECT_TRUE(cii.contains(QByteArray("\x01\x02" "AB" "\xF0\xFA\x03\x00\x05\x02" "N1", 12))) << cii.toHex().constData();
    ASSERT_EQ(convertLocal(cii).code, u"0000"_s);
    EXPECT_EQ(localLines(u"0501"_s).value(0).mid(39), QByteArray("ABN1N2 "));
    ASSERT_EQ(convert(u"B.CII"_s, u"C.XML"_s).code, u"0000"_s);
    EXPECT_TRUE(xmlText(u"C.XML"_s).contains(u"<JP00005>N2</JP00005>"_s));
}

TEST_F(CiiXmlTest, DocumentsAreWellFormedWhateverTheCiiHolds)
{
    // A message that ends inside a group: its open elements are closed with it.
    writeFile(path(u"A.CII"_s), ciiGroup({}, {BodyBuilder().element(1, "PO1").group().element(101, "P").bytes()}));
    ASSERT_EQ(convert(u"A.CII"_s, u"A.XML"_s).code, u"0000"_s);
    EXPECT_TRUE(xmlText(u"A.XML"_s).endsWith(u"<JP00101>P</JP00101>\r\n  </JPM0R>\r\n</JPM0>\r\n</JPTRM>\r\n</CII-DEMO01010101-V10>"_s))
        << qPrintable(xmlText(u"A.XML"_s));
    EXPECT_EQ(convert(u"A.XML"_s, u"A2.CII"_s).code, u"0000"_s);  // it parses

    // Bytes that are no Shift-JIS character: the replacement character, which Shift-JIS lacks,
    // is written as its character reference; the characters around it are written as they are.
    writeFile(path(u"R.CII"_s), ciiGroup({}, {BodyBuilder().element(1, "P\x80" "O\xA0" + sjis(u"①髙"_s)).bytes()}));
    ASSERT_EQ(convert(u"R.CII"_s, u"R.XML"_s).code, u"0000"_s);
    EXPECT_TRUE(readFile(path(u"R.XML"_s)).contains("<JP00001>P&#65533;O&#65533;\x87\x40\xFB\xFC</JP00001>"))
        << qPrintable(xmlText(u"R.XML"_s));

    // A BPID of characters the document's encoding lacks: the root name stays writable.
    db_->execute({u"UPDATE FL1902フォーマット情報マスタ SET BPID = ?, XML文字コード = 'S'"_s, {u"ﾃｽﾄ0101"_s}});
    db_->execute({u"UPDATE FL1903レコードフォーマット情報マスタ SET BPID = ?"_s, {u"ﾃｽﾄ0101"_s}});
    GroupFields katakana;
    katakana.bpid = u"ﾃｽﾄ0101"_s;
    writeFile(path(u"K.CII"_s), ciiGroup(katakana, {demoMessage()}));
    ASSERT_EQ(convert(u"K.CII"_s, u"K.XML"_s).code, u"0000"_s);
    EXPECT_TRUE(readFile(path(u"K.XML"_s)).contains("<CII-___01010101-V10>"));
    EXPECT_EQ(convert(u"K.XML"_s, u"K2.CII"_s).code, u"0000"_s);
}

TEST_F(CiiXmlTest, GroupsAfterTheFirstGetTheirOwnDocuments)
{
    GroupFields skipped;
    skipped.storageFlag = "20";
    writeFile(path(u"A.CII"_s), ciiGroup({}, {demoMessage()}) + ciiGroup(skipped, {demoMessage()}));
    ASSERT_EQ(convert(u"A.CII"_s, u"OUT.d.XML"_s).code, u"0000"_s);
    EXPECT_TRUE(QFile::exists(path(u"OUT.d.XML"_s)));
    const QString second = xmlText(u"OUT.d_2.XML"_s);
    EXPECT_TRUE(second.contains(u"<JPC17>20</JPC17>"_s));
    EXPECT_FALSE(second.contains(u"JPTRM"_s));  // the skipped group's messages are not carried
}

TEST_F(CiiXmlTest, CiiProblemsLeaveNoDocument)
{
    // A document dropped for want of its trailer is a failure, not a quiet success.
    const QByteArray whole = ciiGroup({}, {demoMessage()});
    writeFile(path(u"A.CII"_s), whole.left(whole.size() - 251));  // no trailer
    EXPECT_EQ(convert(u"A.CII"_s, u"A.XML"_s).code, u"0007"_s);
    writeFile(path(u"A.CII"_s), whole.left(whole.size() - 100));  // trailer cut
    EXPECT_EQ(convert(u"A.CII"_s, u"A.XML"_s).code, u"0007"_s);
    writeFile(path(u"A.CII"_s), whole.left(300));  // cut inside the message
    EXPECT_EQ(convert(u"A.CII"_s, u"A.XML"_s).code, u"0007"_s);
    writeFile(path(u"A.CII"_s), whole.left(whole.size() - 251) + whole);  // a header before the trailer
    EXPECT_EQ(convert(u"A.CII"_s, u"A.XML"_s).code, u"0007"_s);
    EXPECT_FALSE(QFile::exists(path(u"A_2.XML"_s)));  // an error ends the run
    writeFile(path(u"A.CII"_s), whole.left(whole.size() - 251) + ciiGroup({}, {}));  // the next group empty
    EXPECT_EQ(convert(u"A.CII"_s, u"A.XML"_s).code, u"0007"_s);
    EXPECT_FALSE(QFile::exists(path(u"A_2.XML"_s)));
    GroupFields unknown;
    unknown.infoClass = u"0999"_s;
    writeFile(path(u"A.CII"_s), ciiGroup(unknown, {demoMessage()}));
    EXPECT_EQ(convert(u"A.CII"_s, u"A.XML"_s).code, u"0001"_s);
    removeLayout(u'E', u"0101"_s);
    writeFile(path(u"A.CII"_s), whole);
    EXPECT_EQ(convert(u"A.CII"_s, u"A.XML"_s).code, u"0003"_s);
    EXPECT_FALSE(QFile::exists(path(u"A.XML"_s)));
    EXPECT_TRUE(QDir(database_.folder()).entryList({u"*.part"_s}).isEmpty());
}

TEST_F(CiiXmlTest, BadDocumentsWriteNothing)
{
    writeFile(path(u"OUT.CII"_s), "existing");
    const QList<QByteArray> documents = {
        "<R><JPMGH><JPC14>0101</JPC14></JPMGH><JPTRM><JP00001>x</JP00001></JPTRM>",         // not closed
        "<?xml version=\"1.0\" encoding=\"X-NONE\"?><R/>",                                  // unknown encoding
        "<R><JPMGH></JPMGH><JPTRM><JP00001>&undefined;</JP00001></JPTRM></R>",               // undefined entity
        QByteArray("<R>") + QByteArray(300, 'x').replace('x', "<a>") + "</R>",               // nesting too deep
        "<R><JPTRM><JP00001>x</JP00001></JPTRM><JPMGH></JPMGH><JPTRM></JPTRM></R>",          // a message before any header
    };
    for (const QByteArray& document : documents) {
        writeFile(path(u"BAD.XML"_s), document);
        EXPECT_EQ(convert(u"BAD.XML"_s, u"OUT.CII"_s).code, u"0002"_s) << document.left(60).constData();
        EXPECT_EQ(readFile(path(u"OUT.CII"_s)), "existing");
    }
    EXPECT_TRUE(logLines().last().startsWith(u"0002XML解析エラー"_s));
    EXPECT_TRUE(QDir(database_.folder()).entryList({u"*.part"_s}).isEmpty());
}

TEST_F(CiiXmlTest, AMessageTooLongForCiiRefusesTheDocument)
{
    addFormat(u"0601"_s, u"LONG0001"_s, {{1, 0, 1, "1", "X", 32767}});
    QByteArray document = "<R><JPMGH><JPC10>LONG</JPC10><JPC11>00</JPC11><JPC12>01</JPC12><JPC14>0601</JPC14></JPMGH><JPTRM>";
    const QByteArray element = "<JP00001>" + QByteArray(32767, 'x') + "</JP00001>";
    for (qsizetype size = 0; size <= MessageEncoder::kMaxBody; size += 32767)
        document += element;
    document += "</JPTRM></R>";
    writeFile(path(u"LONG.XML"_s), document);
    writeFile(path(u"OUT.CII"_s), "existing");
    EXPECT_EQ(convert(u"LONG.XML"_s, u"OUT.CII"_s).code, u"0002"_s);
    EXPECT_EQ(readFile(path(u"OUT.CII"_s)), "existing");
    EXPECT_TRUE(logLines().last().contains(u"JPTRM 1"_s)) << logLines().last().toStdString();
}

TEST_F(CiiXmlTest, AValueLongerThanCiiCanSayRefusesTheDocument)
{
    addFormat(u"0601"_s, u"LONG0001"_s, {{1, 0, 1, "1", "X", 32767}, {2, 0, 2, "32768", "9", 10}});
    auto document = [](const QByteArray& elements) {
        return "<R><JPMGH><JPC10>LONG</JPC10><JPC11>00</JPC11><JPC12>01</JPC12><JPC14>0601</JPC14></JPMGH>"
               "<JPTRM>" + elements + "</JPTRM></R>";
    };
    // The longest value comes back from the CII file byte for byte.
    const QByteArray longest = QByteArray("0123456789abcdef").repeated(2048).left(32766) + 'Z';
    writeFile(path(u"LONGEST.XML"_s), document("<JP00001>" + longest + "</JP00001>"));
    ASSERT_EQ(convert(u"LONGEST.XML"_s, u"LONGEST.CII"_s).code, u"0000"_s);
    ASSERT_EQ(convert(u"LONGEST.CII"_s, u"BACK.XML"_s).code, u"0000"_s);
    EXPECT_TRUE(readFile(path(u"BACK.XML"_s)).contains("<JP00001>" + longest + "</JP00001>"));

    // One byte more, and a number whose text is too long to be kept whole: no file is written.
    const QList<QByteArray> refused = {"<JP00001>" + longest + "Z</JP00001>",
                                       "<JP00002>" + QByteArray(2 << 20, '0') + "5</JP00002>"};
    for (const QByteArray& elements : refused) {
        writeFile(path(u"LONG.XML"_s), document(elements));
        EXPECT_EQ(convert(u"LONG.XML"_s, u"OUT.CII"_s).code, u"0002"_s);
        EXPECT_FALSE(QFile::exists(path(u"OUT.CII"_s)));
        EXPECT_TRUE(QDir(database_.folder()).entryList({u"*.part"_s}).isEmpty());
    }
    EXPECT_TRUE(logLines().contains(
        u"0002XML解析エラー JPTRM 1 の JP00001 の値 (32768バイト) がCIIの値の長さ (32767バイトまで) に収まりません"_s))
        << logLines().join(u'\n').toStdString();
    EXPECT_TRUE(logLines().last().startsWith(u"0002XML解析エラー JPTRM 1 の JP00002 の値"_s))
        << logLines().last().toStdString();
}

TEST_F(CiiXmlTest, OddDocumentsHaveDefinedOutcomes)
{
    // Elements of numbers without a tag form and of items the layout lacks are left out; a huge
    // group number skips its group.
    writeFile(path(u"ODD.XML"_s), "<R><JPMGH><JPC10>DEMO</JPC10><JPC11>01</JPC11><JPC12>01</JPC12>"
                                  "<JPC14>0101</JPC14><JPC23>M</JPC23></JPMGH>"
                                  "<JPTRM><JP61440>x</JP61440><JP99999>y</JP99999><JP00777>z</JP00777>"
                                  "<JPM99999><JP00001>w</JP00001></JPM99999><JP00001>v</JP00001></JPTRM></R>");
    ASSERT_EQ(convert(u"ODD.XML"_s, u"ODD.CII"_s).code, u"0000"_s);
    const QByteArray cii = readFile(path(u"ODD.CII"_s));
    EXPECT_EQ(cii.size(), 251 * 3);
    EXPECT_EQ(cii.mid(251, 13).toHex(), QByteArray("9D00001\x00\x0C\x01\x01v\xFE", 13).toHex());

    // A JPC14 written as SQL finds no format: the layout in use stays, nothing else happens.
    writeFile(path(u"SQL.XML"_s), "<R><JPMGH><JPC10>DEMO</JPC10><JPC11>01</JPC11><JPC12>01</JPC12>"
                                  "<JPC14>0101' OR '1'='1</JPC14></JPMGH><JPTRM><JP00001>v</JP00001></JPTRM></R>");
    ASSERT_EQ(convert(u"SQL.XML"_s, u"SQL.CII"_s).code, u"0000"_s);
    EXPECT_EQ(context_.format.infoClass, u"0101' OR '1'='1"_s);
    EXPECT_EQ(readFile(path(u"SQL.CII"_s)).mid(251, 13).toHex(), QByteArray("9D00001\x00\x0C\x01\x01v\xFE", 13).toHex());
}

TEST_F(CiiXmlTest, AMessageThatEndsInsideItsGroupsLooksLikeOneThatClosesThem)
{
    auto body = [](bool closed) {
        BodyBuilder builder;
        builder.element(1, "PO00000001").group().element(101, "PART-0001").nextRepetition().element(101, "PART-0002");
        if (closed)
            builder.endGroup();
        return builder.bytes();
    };
    writeFile(path(u"IN.CII"_s), ciiGroup({}, {body(true), body(false)}));
    ASSERT_EQ(convert(u"IN.CII"_s, u"OUT.XML"_s).code, u"0000"_s);
    const QString xml = xmlText(u"OUT.XML"_s);
    const qsizetype first = xml.indexOf(u"<JPTRM SEQ=\"1\">"_s);
    const qsizetype second = xml.indexOf(u"<JPTRM SEQ=\"2\">"_s);
    ASSERT_TRUE(first >= 0 && second > first) << xml.toStdString();
    const QString closed = xml.mid(first, second - first).replace(u"SEQ=\"1\""_s, u"SEQ"_s).trimmed();
    const QString open = xml.mid(second, xml.indexOf(u"</JPTRM>"_s, second) + 8 - second).replace(u"SEQ=\"2\""_s, u"SEQ"_s);
    EXPECT_EQ(open, closed);
}

TEST_F(CiiXmlTest, InternalEntitiesAreExpandedAndNothingElseIsLoaded)
{
    const QByteArray header = "<JPMGH><JPC10>DEMO</JPC10><JPC11>01</JPC11><JPC12>01</JPC12><JPC14>0101</JPC14>"
                              "<JPC23>M</JPC23></JPMGH>";
    writeFile(path(u"ENT.XML"_s), "<!DOCTYPE R [<!ENTITY e \"ENTVAL\">]><R>" + header
                                      + "<JPTRM><JP00001>&e;</JP00001></JPTRM></R>");
    ASSERT_EQ(convert(u"ENT.XML"_s, u"ENT.CII"_s).code, u"0000"_s);
    EXPECT_EQ(readFile(path(u"ENT.CII"_s)).mid(251, 18).toHex(), QByteArray("9D00001\x00\x11\x01\x06" "ENTVAL\xFE", 18).toHex());

    // What lies outside the document stays outside: external entities and parameter entities are
    // refused, an external DTD is not read; and expansion stays bounded.
    writeFile(path(u"secret.txt"_s), "SECRET");
    const QByteArray secret = QFile::encodeName(path(u"secret.txt"_s));
    QByteArray laughs = "<!DOCTYPE R [<!ENTITY l0 \"ha\">";
    for (int i = 1; i < 12; ++i)
        laughs += "<!ENTITY l" + QByteArray::number(i) + " \"" + QByteArray("&l" + QByteArray::number(i - 1) + ";").repeated(10) + "\">";
    laughs += "]><R>" + header + "<JPTRM><JP00001>&l11;</JP00001></JPTRM></R>";
    const QList<QByteArray> refused{
        "<!DOCTYPE R [<!ENTITY x SYSTEM \"file://" + secret + "\">]><R>" + header + "<JPTRM><JP00001>&x;</JP00001></JPTRM></R>",
        "<!DOCTYPE R [<!ENTITY % p SYSTEM \"file://" + secret + "\"> %p;]><R>" + header + "<JPTRM><JP00001>v</JP00001></JPTRM></R>",
        laughs,
    };
    for (const QByteArray& document : refused) {
        writeFile(path(u"OUT.CII"_s), "existing");
        writeFile(path(u"BAD.XML"_s), document);
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(convert(u"BAD.XML"_s, u"OUT.CII"_s).code, u"0002"_s) << document.left(80).constData();
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
        EXPECT_EQ(readFile(path(u"OUT.CII"_s)), "existing");
    }
    writeFile(path(u"DTD.XML"_s), "<!DOCTYPE R SYSTEM \"file://" + secret + "\"><R>" + header + "<JPTRM><JP00001>v</JP00001></JPTRM></R>");
    ASSERT_EQ(convert(u"DTD.XML"_s, u"DTD.CII"_s).code, u"0000"_s);
    EXPECT_FALSE(readFile(path(u"DTD.CII"_s)).contains("SECRET"));
}

TEST_F(CiiXmlTest, AGroupNumberThatIsNoNumberSkipsItsGroup)
{
    const QByteArray header = "<JPMGH><JPC10>DEMO</JPC10><JPC11>01</JPC11><JPC12>01</JPC12><JPC14>0101</JPC14>"
                              "<JPC23>M</JPC23></JPMGH>";
    for (const char* name : {"JPM-1", "JPMx", "JPM", "JPM1x", "JPM32768"}) {
        writeFile(path(u"GROUP.XML"_s), "<R>" + header + "<JPTRM><" + QByteArray(name) + "><JP00001>w</JP00001></" + name
                                            + "><JP00001>v</JP00001></JPTRM></R>");
        ASSERT_EQ(convert(u"GROUP.XML"_s, u"GROUP.CII"_s).code, u"0000"_s) << name;
        // Only the element after the group is written.
        EXPECT_EQ(readFile(path(u"GROUP.CII"_s)).mid(251, 13).toHex(), QByteArray("9D00001\x00\x0C\x01\x01v\xFE", 13).toHex())
            << name;
        QFile::remove(path(u"GROUP.CII"_s));
    }
}

TEST(XmlValues, NumbersAndDatesByTheirRules)
{
    LayoutItem number;
    number.attribute = u"9"_s;
    LayoutItem date;
    date.attribute = u"Y"_s;
    date.length = 8;
    QByteArray out;
    QByteArray work;
    auto encoded = [&](const QString& text, const LayoutItem& item) -> QByteArray {
        return encodeXmlValue(text.toUtf8(), item, 'M', out, work) ? out : QByteArray("<none>");
    };
    EXPECT_EQ(encoded(u"012.50"_s, number), "12.5");
    EXPECT_EQ(encoded(u"0"_s, number), "<none>");
    EXPECT_EQ(encoded(u"0.00"_s, number), "<none>");
    EXPECT_EQ(encoded(u"-7"_s, number), "-7");
    EXPECT_EQ(encoded(u"12345678901234567890"_s, number), "12345678901234567890");  // no rounding
    EXPECT_EQ(encoded(u"30401"_s, date), "20030401");
    EXPECT_EQ(encoded(u"991231"_s, date), "19991231");
    EXPECT_EQ(encoded(u"000000"_s, date), "<none>");
    date.length = 6;
    EXPECT_EQ(encoded(u"030401"_s, date), "30401");
    LayoutItem binary;
    binary.attribute = u"B"_s;
    EXPECT_EQ(encoded(u"0aff"_s, binary), QByteArray("\x0A\xFF"));
    EXPECT_EQ(encoded(QString(), binary), QByteArray());
}

TEST(XmlValues, LongValuesTakeTheTwoByteLengthIndicator)
{
    LayoutItem text;
    text.attribute = u"X"_s;
    text.itemNumber = 5;
    const Layout layout = Layout::load({text});
    MessageEncoder encoder;
    encoder.begin(layout, 'M');
    encoder.element(5, QByteArray(300, 'a'));
    EXPECT_EQ(encoder.body().left(4), QByteArray("\x05\xF2\x01\x2C"));
    EXPECT_EQ(encoder.body().size(), 304);
}

// The longest value a length indicator can say is written whole; one byte more is refused,
// counted in its CII form (two bytes a double-byte character), never written shorter.
TEST(XmlValues, AValueLongerThanItsLengthIndicatorCanSayIsRefused)
{
    LayoutItem text;
    text.attribute = u"X"_s;
    text.itemNumber = 5;
    LayoutItem doubleByte;
    doubleByte.attribute = u"K"_s;
    doubleByte.itemNumber = 6;
    const Layout layout = Layout::load({text, doubleByte});
    MessageEncoder encoder;
    auto refusedSize = [&](qint32 number, const QByteArray& utf8) -> qsizetype {
        encoder.begin(layout, 'M');
        try {
            encoder.element(number, utf8);
        } catch (const MessageEncoder::ValueTooLong& refused) {
            EXPECT_EQ(refused.number, number);
            return refused.size;
        }
        return 0;
    };
    const QByteArray longest = QByteArray("0123456789abcdef").repeated(2048).left(MessageEncoder::kMaxValue - 1) + 'Z';
    EXPECT_EQ(refusedSize(5, longest), 0);
    EXPECT_EQ(encoder.body(), QByteArray("\x05\xF2\x7F\xFF") + longest);
    EXPECT_EQ(refusedSize(5, longest + 'Z'), 32768);

    const QByteArray kanji = u"亜"_s.repeated(16383).toUtf8();
    EXPECT_EQ(refusedSize(6, kanji + 'x'), 0);
    EXPECT_EQ(encoder.body().size(), 4 + MessageEncoder::kMaxValue);
    EXPECT_EQ(refusedSize(6, kanji + u"亜"_s.toUtf8()), 32768);
}

// Items 238-241 and values of 239 and 240 bytes sit on the two boundaries of the body's grammar:
// the last one-byte tag (239) and the last one-byte length (239).
TEST(XmlValues, TagsAndLengthsAtTheirBoundaries)
{
    std::vector<LayoutItem> items;
    for (qint32 number : {238, 239, 240, 241}) {
        LayoutItem item;
        item.attribute = u"X"_s;
        item.itemNumber = number;
        item.length = 300;
        items.push_back(item);
    }
    const Layout layout = Layout::load(items);
    MessageEncoder encoder;
    auto body = [&](const QList<std::pair<qint32, QByteArray>>& elements) {
        encoder.begin(layout, 'M');
        for (const auto& [number, value] : elements)
            encoder.element(number, value);
        return encoder.body();
    };
    EXPECT_EQ(body({{238, "A"}}), QByteArray("\xEE\x01" "A", 3));
    EXPECT_EQ(body({{239, "A"}}), QByteArray("\xEF\x01" "A", 3));
    EXPECT_EQ(body({{240, "A"}}), QByteArray("\xF0\x00\xF0\x01" "A", 5));
    EXPECT_EQ(body({{241, "A"}}), QByteArray("\xF0\x00\xF1\x01" "A", 5));
    // Once switched, the body stays in the two-byte section: a lower item takes two bytes too.
    EXPECT_EQ(body({{239, "A"}, {240, "B"}, {238, "C"}}),
              QByteArray("\xEF\x01" "A" "\xF0\x00\xF0\x01" "B" "\x00\xEE\x01" "C", 12));

    EXPECT_EQ(body({{238, QByteArray(239, 'v')}}), QByteArray("\xEE\xEF") + QByteArray(239, 'v'));
    EXPECT_EQ(body({{238, QByteArray(240, 'v')}}), QByteArray("\xEE\xF2\x00\xF0", 4) + QByteArray(240, 'v'));
}

TEST_F(CiiXmlTest, ValuesAtTheBoundariesComeThroughBothConvertersWhole)
{
    addFormat(u"0701"_s, u"EDGE0001"_s,
              {{1, 0, 238, "1", "X", 1}, {2, 0, 239, "2", "X", 239}, {3, 0, 240, "241", "X", 240}, {4, 0, 241, "481", "X", 1}});
    const QByteArray b(239, 'b');
    const QByteArray c(240, 'c');
    const QByteArray elements = "<JP00238>A</JP00238><JP00239>" + b + "</JP00239><JP00240>" + c + "</JP00240><JP00241>D</JP00241>";
    writeFile(path(u"EDGE.XML"_s), "<R><JPMGH><JPC10>EDGE</JPC10><JPC11>00</JPC11><JPC12>01</JPC12><JPC14>0701</JPC14>"
                                   "<JPC17>11</JPC17><JPC23>M</JPC23></JPMGH>"
                                   "<JPTRM>" + elements + "</JPTRM></R>");
    ASSERT_EQ(convert(u"EDGE.XML"_s, u"EDGE.CII"_s).code, u"0000"_s);
    ASSERT_EQ(convertLocal(readFile(path(u"EDGE.CII"_s))).code, u"0000"_s);
    EXPECT_EQ(logLines().size(), 2) << logLines().join(u'\n').toStdString();  // the start lines alone
    ASSERT_EQ(localLines(u"0701"_s).size(), 1);
    EXPECT_EQ(localLines(u"0701"_s).first().mid(39, 481), "A" + b + c + "D");

    ASSERT_EQ(convert(u"EDGE.CII"_s, u"BACK.XML"_s).code, u"0000"_s) << logLines().join(u'\n').toStdString();
    QByteArray back = readFile(path(u"BACK.XML"_s));
    back.replace("\r\n", "");
    EXPECT_TRUE(back.contains(elements)) << back.constData();
}

TEST_F(CiiXmlTest, TheNameChoosesTheDirection)
{
    writeFile(path(u"A.cIi"_s), ciiGroup({}, {demoMessage()}));
    ASSERT_EQ(convert(u"A.cIi"_s, u"A.XML"_s).code, u"0000"_s);
    EXPECT_TRUE(readFile(path(u"A.XML"_s)).startsWith("<?xml"));
    QFile::copy(path(u"A.XML"_s), path(u"A.CII.bak"_s));
    ASSERT_EQ(convert(u"A.CII.bak"_s, u"B.CII"_s).code, u"0000"_s);
    EXPECT_TRUE(readFile(path(u"B.CII"_s)).startsWith("0C"));
}

}  // namespace
}  // namespace edi::test
