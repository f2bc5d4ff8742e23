// Writes the seed corpora of the fuzz targets, a handful of small files each:
//
//   edi-fuzz-seeds FOLDER     -> FOLDER/local_conversion, FOLDER/body_decoder, FOLDER/masters,
//                                FOLDER/cii_to_xml, FOLDER/xml_to_cii, FOLDER/mail_message
//
// The seeds are well-formed inputs (and a few with the faults the converter reports) for the
// fixed formats of FuzzSupport.h, so that the fuzzers start from bodies that reach every layout.
// The XML seeds are the CII seeds' documents as the CII-to-XML conversion writes them (in each
// of the fixed masters' encodings) and a few written by hand with what else a document can hold.

#include "FuzzSupport.h"

#include "convert/ciixml/CiiXmlConverter.h"
#include "convert/localcii/CiiBlockWriter.h"
#include "convert/localcii/ConversionContext.h"
#include "convert/localcii/ConversionLog.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

using namespace Qt::Literals::StringLiterals;
using edi::fuzz::BodyWriter;
using edi::fuzz::sjis;

namespace {

QByteArray orderBody()
{
    return BodyWriter()
        .element(1, "PO00000001")
        .element(2, "20261208")
        .element(3, sjis("東日本自動車"))
        .element(4, "TKY001")
        .group()
        .element(101, "PART-0001")
        .element(102, sjis("ボルト"))
        .element(103, "1250")
        .element(104, "12345")
        .element(105, "20261215")
        .next()
        .element(101, "PART-0002")
        .element(103, "30000")
        .end()
        .twoByteSection()
        .element(1001, sjis("至急"))
        .bytes();
}

QByteArray deliveryBody()
{
    BodyWriter body;
    body.element(1, "DI0000000001").element(2, "991231").element(3, sjis("関西精機工業")).element(4, "-1234.5");
    body.element(5, QByteArray(250, 'L'));  // three-byte length indicator
    body.twoByteSection().group(1);
    for (int line = 1; line <= 2; ++line) {
        if (line > 1)
            body.next();
        body.element(201, "AB-0000" + QByteArray::number(line)).element(202, sjis("歯車")).element(203, "12345");
        body.element(204, "+12").group(2).element(301, "20270101").element(302, "500").element(303, sjis("ｿｳｺ1"));
        body.next().element(301, "20270102").element(302, "7").end();
    }
    body.end().element(1001, sjis("分納可")).group(300).element(401, "NOTE-1").next().element(401, "NOTE-2").end();
    body.element(70000, "00000001");
    return body.bytes();
}

QByteArray stockBody(int lines)
{
    BodyWriter body;
    body.element(1, "SR00000000000001").element(2, "20261208").element(3, sjis("第一倉庫")).group();
    for (int line = 1; line <= lines; ++line) {
        if (line > 1)
            body.next();
        body.element(11, "ZZ-00000001").element(12, sjis("軸受")).element(13, "99900").element(14, "-3");
        body.element(15, "20261130");
    }
    return body.end().element(20, QByteArray::number(lines)).bytes();
}

// Warnings of every kind, then a zero-length element, which ends the run.
QByteArray oddBody()
{
    return BodyWriter()
        .raw("\xFB\xFC\xF1\xF9\xFD")
        .element(1, "abcde")
        .element(2, "12345")
        .element(3, "-9.5")
        .element(4, sjis("東京"))
        .element(5, "260401")
        .element(6, QByteArray("\x00\xFF\x10\x7F", 4))
        .group()
        .element(8, "abc")
        .element(7, "12")
        .next()
        .element(7, "1x")
        .end()
        .group()
        .element(10, "20260101")
        .element(11, sjis("亜"))
        .next()
        .element(10, "991231")
        .next()
        .element(10, "000101")
        .end()
        .element(12, "last")
        .raw("\x01\xF5")
        .bytes();
}

QByteArray group(const QString& infoClass, const QString& bpid, char mode, const QList<QByteArray>& bodies,
                 char doubleByteCode = 'M', const char* storageFlag = nullptr)
{
    QByteArray out;
    edi::appendHeaderBlock(out, edi::fuzz::groupHeader(infoClass, bpid, mode, doubleByteCode, storageFlag));
    for (qsizetype i = 0; i < bodies.size(); ++i)
        edi::appendMessageBlocks(out, qint32(i + 1), bodies[i], mode);
    edi::MessageGroupTrailer trailer;
    trailer.fill(1, edi::FixedRecord::kSize, QString::number(bodies.size()).rightJustified(5, u'0'));
    edi::appendTrailerBlock(out, trailer);
    return out;
}

// A message with the long-form prefix whose body is short.
QByteArray longFormMessage(const QByteArray& body)
{
    QByteArray message = "9D00001\x80\x80\xF7" + QByteArray::number(17 + body.size()).rightJustified(7, '0') + body
                       + '\xFE';
    message.append(251 - message.size() % 251, ' ');
    return message;
}

// One row of the masters target's layout bytes (see fuzz_masters.cpp).
QByteArray row(int level, int number, int attribute, int length, int decimals, int multi, int repeat, int position,
               int counterpart)
{
    QByteArray r(11, '\0');
    r[0] = char(level);
    r[1] = char(number >> 8);
    r[2] = char(number & 0xFF);
    r[3] = char(attribute);  // 0 X, 1 K, 2 9, 3 N, 4 Y, 5 M
    r[4] = char(length);
    r[5] = char(decimals);
    r[6] = char(multi);
    r[7] = char(repeat);
    r[8] = char(position >> 8);
    r[9] = char(position & 0xFF);
    r[10] = char(counterpart);
    return r;
}

// The documents the CII-to-XML conversion writes for a CII file, in group order.
QList<QByteArray> documentsOf(const QByteArray& cii)
{
    QTemporaryDir scratch;
    QFile input(scratch.filePath(u"IN.CII"_s));
    if (!input.open(QIODevice::WriteOnly) || input.write(cii) != cii.size())
        return {};
    input.close();
    edi::fuzz::FixedMasters masters;
    edi::ConversionContext context;
    {
        edi::ConversionLog log(scratch.filePath(u"ERR.LOG"_s));
        edi::convertCiiXml(masters, context, log, 1, input.fileName(), scratch.filePath(u"OUT.XML"_s), {},
                           edi::CiiXmlDirection::CiiToXml);
    }
    QList<QByteArray> documents;
    for (int group = 1; group <= 20; ++group) {
        QFile document(scratch.filePath(group == 1 ? u"OUT.XML"_s : u"OUT_%1.XML"_s.arg(group)));
        if (document.open(QIODevice::ReadOnly))
            documents << document.readAll();
    }
    return documents;
}

// A document with what the generated ones lack: a document type with an entity, comments,
// character references, CDATA, blanks around values, elements the converter passes over, a
// message as a processing instruction and an empty one, a repetition left empty, a second
// header that opens a group of another format, and a header that repeats the one before.
const char* const kFeatures = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE CII-DEMO01010101-V10 [<!ENTITY firm "東日本自動車">]>
<CII-DEMO01010101-V10>
<!-- firm orders -->
<JPMGH><JPC03>A</JPC03><JPC06>SENDER01</JPC06><JPC09>RECEIVER01</JPC09><JPC10>DEMO</JPC10><JPC11>01</JPC11><JPC12>01</JPC12><JPC14>0101</JPC14><JPC17>11</JPC17><JPC19>261208093000</JPC19><JPC23>M</JPC23><JPC25>M</JPC25></JPMGH>
<JPTRM SEQ="1"><JP00001> PO&amp;0001 </JP00001><JP00002>261208</JP00002><JP00003>&firm;</JP00003><JP00004><![CDATA[TKY<1>]]></JP00004>
<JPM0><JPM0R><JP00101>PART-1</JP00101><JP00102>&#x30DC;&#x30EB;&#x30C8;</JP00102><JP00103>-12.50</JP00103><JP00104>+0012345</JP00104><JP00105>0</JP00105></JPM0R><JPM0R/><JPM0R><JP00101>PART-<b>2</b></JP00101><!-- a note --></JPM0R></JPM0>
<JP01001>至急</JP01001><OTHER>passed over</OTHER><JP>no number</JP><JP1234567>long</JP1234567><JPM99999><JP00001>x</JP00001></JPM99999></JPTRM>
<?JPTRM?>
<JPTRM/>
<JPMGH><JPC03>A</JPC03><JPC06>SENDER01</JPC06><JPC09>RECEIVER01</JPC09><JPC10>DEMO</JPC10><JPC11>01</JPC11><JPC12>01</JPC12><JPC14>0101</JPC14><JPC17>11</JPC17><JPC19>261208093000</JPC19><JPC23>M</JPC23><JPC25>M</JPC25></JPMGH>
<JPTRM><JP00001>PO00000002</JP00001></JPTRM>
<JPMGH><JPC10>FUZZ</JPC10><JPC11>03</JPC11><JPC12>01</JPC12><JPC14>0301</JPC14><JPC17>10</JPC17><JPC23>S</JPC23><JPC25>J</JPC25></JPMGH>
<JPTRM><JP00001>SR1</JP00001><JP00003>第一倉庫</JP00003><JPM0><JPM0R><JP00011>ZZ-1</JP00011><JP00013>999.00</JP00013><JP00015>991231</JP00015></JPM0R></JPM0><JP00020>1</JP00020></JPTRM>
</CII-DEMO01010101-V10>
)";

// The odd layout's items (binary, a group number that is a tag) and header fields longer than
// their places, in Shift_JIS.
const char* const kOddLayout = R"(<?xml version="1.0" encoding="Shift_JIS"?>
<CII-FUZZ04010401-V10>
<JPMGH><JPC03>ア</JPC03><JPC04>ＬＯＮＧ－ＮＡＭＥ－ＯＦ－ＡＮ－ＯＲＩＧＩＮ</JPC04><JPC10>FUZZ</JPC10><JPC11>04</JPC11><JPC12>01</JPC12><JPC14>0401</JPC14><JPC17>20</JPC17><JPC23>M</JPC23><JPC25>M</JPC25></JPMGH>
<JPTRM><JP00001>abcde</JP00001><JP00002>12.345</JP00002><JP00003>-9.5</JP00003><JP00004>東京</JP00004><JP00005>260401</JP00005><JP00006>00FF107f</JP00006>
<JPM3><JPM3R><JP00008>abc</JP00008><JP00007>12</JP00007></JPM3R></JPM3><JPM4><JPM4R><JP00010>20260101</JP00010><JP00011>亜</JP00011></JPM4R><JPM4R><JP00010>991231</JP00010></JPM4R></JPM4><JP00012>last</JP00012></JPTRM>
</CII-FUZZ04010401-V10>
)";

bool write(const QString& folder, const QString& name, const QByteArray& bytes)
{
    if (bytes.isEmpty() || bytes.size() >= 4096) {
        std::fprintf(stderr, "edi-fuzz-seeds: %s would be %lld bytes\n", name.toUtf8().constData(),
                     static_cast<long long>(bytes.size()));
        return false;
    }
    QDir().mkpath(folder);
    QFile file(folder + u'/' + name);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: edi-fuzz-seeds FOLDER\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    const QString local = root + u"/local_conversion"_s;
    const QString body = root + u"/body_decoder"_s;
    const QString masters = root + u"/masters"_s;
    const QString ciiToXml = root + u"/cii_to_xml"_s;
    const QString xmlToCii = root + u"/xml_to_cii"_s;
    bool ok = true;

    // The whole conversion, to local records and to XML.
    const QByteArray shortOrder = BodyWriter().element(1, "PO00000002").element(2, "20261209").bytes();
    QList<std::pair<QString, QByteArray>> ciiFiles{
        {u"order-m.cii"_s, group(u"0101"_s, u"DEMO0101"_s, 'M', {orderBody(), shortOrder})},
        {u"delivery-m.cii"_s, group(u"0201"_s, u"FUZZ0201"_s, 'M', {deliveryBody()})},
        {u"stock-s.cii"_s, group(u"0301"_s, u"FUZZ0301"_s, 'S', {stockBody(3), stockBody(1), stockBody(12)})},
        {u"odd.cii"_s, group(u"0401"_s, u"FUZZ0401"_s, 'M', {oddBody()})},
    };
    {
        // A skipped group, bad identifiers, a long-form prefix, JIS text, a file cut in a block.
        QByteArray framing = group(u"0101"_s, u"DEMO0101"_s, 'M', {orderBody()}, 'M', "20");
        framing += "ZZ1X";
        framing += group(u"0101"_s, u"DEMO0101"_s, 'M', {}, 'S');
        framing.chop(251);  // no trailer: the next block follows the header
        framing += longFormMessage(BodyWriter().element(1, "LONGFORM01").element(3, "\x30\x21\x24\x22").bytes());
        framing += group(u"0301"_s, u"FUZZ0301"_s, 'S', {stockBody(2)}).left(400);
        ciiFiles.append({u"framing.cii"_s, framing});
    }
    for (const auto& [name, bytes] : ciiFiles) {
        ok &= write(local, name, bytes);
        ok &= write(ciiToXml, name, bytes);
    }

    // Documents: the XML the small CII files give (Shift_JIS, UTF-16, ISO-2022-JP), the
    // hand-written ones, and one that ends in the middle.
    ok &= write(xmlToCii, u"order.xml"_s, documentsOf(ciiFiles[0].second).value(0));
    ok &= write(xmlToCii, u"delivery-utf16.xml"_s, documentsOf(ciiFiles[1].second).value(0));
    const QByteArray stock = documentsOf(group(u"0301"_s, u"FUZZ0301"_s, 'S', {stockBody(3), stockBody(1)})).value(0);
    ok &= write(xmlToCii, u"stock-iso2022jp.xml"_s, stock);
    ok &= write(xmlToCii, u"odd.xml"_s, documentsOf(ciiFiles[3].second).value(0));
    ok &= write(xmlToCii, u"features.xml"_s, kFeatures);
    ok &= write(xmlToCii, u"odd-layout.xml"_s, sjis(kOddLayout));
    ok &= write(xmlToCii, u"cut.xml"_s, QByteArray(kFeatures).left(700));

    // Mail messages: a partner's order as an attachment after a text body, an embedded message,
    // and one that is nothing but its attachment.
    const QString mail = root + u"/mail_message"_s;
    ok &= write(mail, u"multipart.eml"_s,
                "To: orders@kansai.example.jp\r\nSubject: =?ISO-2022-JP?B?GyRCQ21KOBsoQg==?=\r\nMIME-Version: 1.0\r\n"
                "Content-Type: multipart/mixed; boundary=\"b1\"\r\n\r\npreamble\r\n--b1\r\n"
                "Content-Type: multipart/alternative; boundary=\"b2\"\r\n\r\n--b2\r\nContent-Type: text/plain\r\n\r\n"
                "text\r\n--b2--\r\n--b1\r\nContent-Type: application/xml; name=\"A.XML\"\r\n"
                "Content-Transfer-Encoding: quoted-printable\r\n\r\n<a>=E6=B3=A8</a>=\r\n\r\n--b1\r\n"
                "Content-Type: application/octet-stream\r\nContent-Disposition: attachment; filename=\"B.CII\"\r\n"
                "Content-Transfer-Encoding: base64\r\n\r\nAQL//iBDSUk=\r\n--b1--\r\nepilogue\r\n");
    ok &= write(mail, u"embedded.eml"_s,
                "To: a@b.jp\r\nContent-Type: multipart/mixed; boundary=x\r\n\r\n--x\r\n"
                "Content-Type: message/rfc822\r\n\r\nTo: c@d.jp\r\nContent-Type: text/plain\r\n\r\ninner\r\n--x--\r\n");
    ok &= write(mail, u"single.eml"_s,
                "Cc: orders@kansai.example.jp\r\nContent-Type: application/octet-stream\r\n"
                "Content-Disposition: attachment\r\nContent-Transfer-Encoding: base64\r\n\r\nQ0lJ\r\n");

    // The body grammar: a control byte, then bodies (see fuzz_body_decoder.cpp).
    ok &= write(body, u"order"_s, '\x00' + orderBody() + '\xFE');
    ok &= write(body, u"delivery"_s, '\x01' + deliveryBody() + '\xFE');
    ok &= write(body, u"stock-s"_s, '\x06' + stockBody(4) + '\xFE' + stockBody(2) + '\xFE');
    ok &= write(body, u"odd-long-form"_s, '\x0B' + oddBody() + '\xFE');
    ok &= write(body, u"stock-s-repeated"_s, '\x26' + stockBody(6) + '\xFE');
    ok &= write(body, u"zero-lengths"_s, QByteArray("\x10\x01\x00\x02\x00\xF0\xFA\x01\x00\xC9\x00\xFC\xFE", 13));

    // Layouts from the input.
    {
        QByteArray simple("\x02\x02", 2);
        simple += row(0, 1, 0, 5, 0, 0, 0, 0, 1) + row(0, 2, 2, 6, 2, 0, 0, 0, 2);
        simple += row(0, 1, 0, 5, 0, 0, 0, 1, 1) + row(0, 2, 2, 6, 2, 0, 0, 6, 2);
        simple += BodyWriter().element(1, "abc").element(2, "12345").bytes();
        ok &= write(masters, u"simple"_s, simple);

        QByteArray nested("\x86\x06", 2);  // mode S
        const QByteArray rows = row(0, 1, 1, 4, 0, 0, 0, 1, 1) + row(0, 2, 5, 0, 0, 1, 3, 5, 2)
                              + row(1, 3, 3, 5, 0, 0, 0, 5, 3) + row(1, 4, 5, 0, 0, 2, 2, 10, 4)
                              + row(2, 5, 4, 8, 0, 0, 0, 10, 5) + row(0, 6, 0, 3, 0, 0, 0, 80, 6);
        nested += rows + rows;
        nested += BodyWriter()
                      .element(1, sjis("東京"))
                      .twoByteSection()
                      .group(1)
                      .element(3, "-12")
                      .group(2)
                      .element(5, "991231")
                      .next()
                      .element(5, "20260101")
                      .end()
                      .next()
                      .element(3, "7")
                      .end()
                      .element(6, "end")
                      .bytes();
        ok &= write(masters, u"nested"_s, nested);

        // One element repeated into a message of 70000 bytes: long-form prefix, continuation blocks.
        QByteArray repeated("\x82\x81", 2);  // mode S, the body repeated
        repeated += row(0, 1, 0, 8, 0, 0, 0, 0, 1) + row(0, 2, 2, 9, 3, 0, 0, 0, 0);
        repeated += row(0, 1, 0, 8, 0, 0, 0, 1, 1);
        repeated += BodyWriter().element(1, "ABCDEFGH").element(2, "123456789").bytes();
        ok &= write(masters, u"repeated-s"_s, repeated);
    }
    return ok ? 0 : 1;
}
