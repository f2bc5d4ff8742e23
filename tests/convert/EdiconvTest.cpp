#include "support/CiiBuilder.h"
#include "support/TestDatabase.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace edi::test {
namespace {

class EdiconvTest : public ::testing::Test {
protected:
    EdiconvTest()
    {
        database_.createTables();
        database_.loadDemoData(u"TESTPC"_s);
        const QByteArray body = BodyBuilder().element(1, "PO1").group().element(101, "P1").endGroup().bytes();
        cii_ = ciiGroup({}, {body, body});
        writeFile(path(u"IN.CII"_s), cii_);
    }

    struct Run {
        int exitCode;
        QString err;
    };
    Run ediconv(const QStringList& arguments) const
    {
        QProcess process;
        process.setWorkingDirectory(database_.folder());
        process.start(buildPath(u"tools/ediconv"_s), arguments);
        process.waitForFinished(60000);
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardError())};
    }
    QString path(const QString& name) const { return database_.folder() + u'/' + name; }

    TestDatabase database_{Backend::Sqlite};
    QByteArray cii_;
};

TEST_F(EdiconvTest, ConvertsWithMastersFromASqliteFileOrAnIni)
{
    const Run run = ediconv({u"local"_s, u"--db"_s, path(u"edi.sqlite"_s), u"--log"_s, path(u"ERR.LOG"_s),
                             u"--serial"_s, u"12"_s, path(u"IN.CII"_s), path(u"OUT.LOC"_s)});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(readFile(path(u"OUT0101.LOC"_s)).count("\r\n"), 2);
    EXPECT_TRUE(readFile(path(u"ERR.LOG"_s)).startsWith("0000--LOCCIIC start--00000012  "));

    writeFile(path(u"EDI.ini"_s), database_.environmentSection());
    const Run viaIni = ediconv({u"local"_s, u"--ini"_s, path(u"EDI.ini"_s), u"--log"_s, path(u"ERR.LOG"_s),
                                path(u"IN.CII"_s), path(u"OUT.LOC"_s)});
    ASSERT_EQ(viaIni.exitCode, 0) << viaIni.err.toStdString();
    EXPECT_EQ(readFile(path(u"OUT0101.LOC"_s)).count("\r\n"), 4);
}

TEST_F(EdiconvTest, ConvertsToXmlAndBackAppendingSeveralDocuments)
{
    const QStringList masters = {u"--db"_s, path(u"edi.sqlite"_s), u"--log"_s, path(u"ERR.LOG"_s)};
    ASSERT_EQ(ediconv(QStringList{u"xml"_s} + masters + QStringList{path(u"IN.CII"_s), path(u"A.XML"_s)}).exitCode, 0);
    EXPECT_TRUE(readFile(path(u"A.XML"_s)).contains("<JPTRM SEQ=\"2\">"));
    const Run run = ediconv(QStringList{u"cii"_s} + masters
                            + QStringList{path(u"A.XML"_s), path(u"A.XML"_s), path(u"OUT.CII"_s)});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QByteArray cii = readFile(path(u"OUT.CII"_s));
    EXPECT_EQ(cii.count("0C"), 2);
    EXPECT_EQ(cii.count("0E00002"), 2);
    EXPECT_TRUE(readFile(path(u"ERR.LOG"_s)).contains("0000--CIIXMLC start--00000000\r\n"));

    writeFile(path(u"BAD.XML"_s), "<R><JPTRM>");
    const Run bad = ediconv(QStringList{u"cii"_s} + masters + QStringList{path(u"BAD.XML"_s), path(u"A.XML"_s), path(u"OUT.CII"_s)});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_EQ(bad.err.trimmed(), u"0002"_s);
    EXPECT_EQ(readFile(path(u"OUT.CII"_s)), cii);  // nothing appended, the second input not reached
}

TEST_F(EdiconvTest, AFailedConversionExitsWithItsCode)
{
    writeFile(path(u"CUT.CII"_s), cii_.left(300));
    const Run run = ediconv({u"local"_s, u"--db"_s, path(u"edi.sqlite"_s), u"--log"_s, path(u"ERR.LOG"_s),
                             path(u"CUT.CII"_s), path(u"OUT.LOC"_s)});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err.trimmed(), u"0007"_s);

    const Run unwritable = ediconv({u"local"_s, u"--db"_s, path(u"edi.sqlite"_s), u"--log"_s, path(u"ERR.LOG"_s),
                                    path(u"IN.CII"_s), path(u"no/such/folder/OUT.LOC"_s)});
    EXPECT_EQ(unwritable.exitCode, 1);
    EXPECT_TRUE(unwritable.err.startsWith(u"9999 "_s)) << unwritable.err.toStdString();
}

TEST_F(EdiconvTest, UsageErrorsExitWithTwo)
{
    const QString db = path(u"edi.sqlite"_s);
    const QString in = path(u"IN.CII"_s);
    const QString out = path(u"OUT.LOC"_s);
    const QList<QStringList> calls = {
        {},
        {u"pdf"_s, in, out},
        {u"local"_s, u"--db"_s, db, in},
        {u"xml"_s, u"--db"_s, db, in, out, out},
        {u"local"_s, u"--db"_s, db, u"--serial"_s, u"x"_s, in, out},
        {u"local"_s, u"--db"_s, db, u"--bogus"_s, in, out},
        {u"local"_s, u"--db"_s, db, path(u"missing.CII"_s), out},
        {u"local"_s, u"--db"_s, path(u"missing.sqlite"_s), in, out},
        {u"local"_s, u"--db"_s, db, u"--ini"_s, path(u"EDI.ini"_s), in, out},
    };
    for (const QStringList& arguments : calls) {
        const Run run = ediconv(arguments);
        EXPECT_EQ(run.exitCode, 2) << arguments.join(u' ').toStdString();
        EXPECT_EQ(run.err.count(u'\n'), 1) << run.err.toStdString();  // one line
        EXPECT_FALSE(QFile::exists(path(u"OUT0101.LOC"_s)));
    }
}

}  // namespace
}  // namespace edi::test
