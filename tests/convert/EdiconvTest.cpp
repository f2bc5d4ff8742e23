#include "support/CiiBuilder.h"
#include "support/ReadOnlyPath.h"
#include "support/TestDatabase.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
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
    Run ediconv(const QStringList& arguments, const QProcessEnvironment& environment = utf8Terminal(),
                const QString& program = buildPath(u"tools/ediconv"_s)) const
    {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(database_.folder());
        process.start(program, arguments);
        process.waitForFinished(60000);
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardError())};
    }
    QString path(const QString& name) const { return database_.folder() + u'/' + name; }
    QStringList masters() const { return {u"--db"_s, path(u"edi.sqlite"_s), u"--log"_s, path(u"ERR.LOG"_s)}; }
    static QProcessEnvironment utf8Terminal()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"LC_ALL"_s, u"C.UTF-8"_s);
        return environment;
    }

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

    // Without --ini, the file EDI_INI names.
    QProcessEnvironment environment = utf8Terminal();
    environment.insert(u"EDI_INI"_s, path(u"EDI.ini"_s));
    const Run viaEnvironment =
        ediconv({u"local"_s, u"--log"_s, path(u"ERR.LOG"_s), path(u"IN.CII"_s), path(u"OUT.LOC"_s)}, environment);
    ASSERT_EQ(viaEnvironment.exitCode, 0) << viaEnvironment.err.toStdString();
    EXPECT_EQ(readFile(path(u"OUT0101.LOC"_s)).count("\r\n"), 6);
    environment.insert(u"EDI_INI"_s, path(u"NONE.ini"_s));
    EXPECT_EQ(ediconv({u"local"_s, path(u"IN.CII"_s), path(u"OUT.LOC"_s)}, environment).err,
              u"ediconv: the configuration file "_s + path(u"NONE.ini"_s) + u" does not exist\n"_s);
}

// Without --log the log goes where a job's would: LOGPATH of the configuration, beside the
// program where it may be written, LOGS_DIRECTORY, the configuration's received-files folder,
// and without a configuration the user's state folder.
TEST_F(EdiconvTest, WithoutLogTheLogGoesWhereTheConfigurationOrTheMachineLetsIt)
{
    auto ini = [&](const QString& pathKeys) {
        writeFile(path(u"EDI.ini"_s), database_.environmentSection() + (u"[PATH]\n"_s + pathKeys).toUtf8());
    };
    const QStringList viaIni{u"local"_s, u"--ini"_s, path(u"EDI.ini"_s), path(u"IN.CII"_s), path(u"OUT.LOC"_s)};
    const QStringList viaDb{u"local"_s, u"--db"_s, path(u"edi.sqlite"_s), path(u"IN.CII"_s), path(u"OUT.LOC"_s)};
    ini(u"LOGPATH="_s + path(u"logs/"_s) + u"\nEDIINFIL="_s + path(u"received/"_s) + u'\n');
    const Run configured = ediconv(viaIni);
    ASSERT_EQ(configured.exitCode, 0) << configured.err.toStdString();
    EXPECT_TRUE(readFile(path(u"logs/ERR.LOG"_s)).startsWith("0000--LOCCIIC start--00000000  "));

    QDir().mkpath(path(u"bin"_s));
    ASSERT_TRUE(QFile::copy(buildPath(u"tools/ediconv"_s), path(u"bin/ediconv"_s)));
    const ReadOnlyPath readOnly(path(u"bin"_s));
    if (!readOnly.available())
        GTEST_SKIP() << readOnly.why().toStdString();
    const QString program = path(u"bin/ediconv"_s);
    QProcessEnvironment environment = utf8Terminal();
    environment.insert(u"LOGS_DIRECTORY"_s, path(u"service"_s));
    environment.insert(u"XDG_STATE_HOME"_s, path(u"state"_s));
    EXPECT_EQ(ediconv(viaDb, environment, program).exitCode, 0);
    EXPECT_TRUE(QFileInfo::exists(path(u"service/ERR.LOG"_s)));

    environment.remove(u"LOGS_DIRECTORY"_s);
    EXPECT_EQ(ediconv(viaDb, environment, program).exitCode, 0);
    EXPECT_TRUE(QFileInfo::exists(path(u"state/edi-auto/ERR.LOG"_s)));
    ini(u"EDIINFIL="_s + path(u"received/"_s) + u'\n');
    EXPECT_EQ(ediconv(viaIni, environment, program).exitCode, 0);
    EXPECT_TRUE(QFileInfo::exists(path(u"received/ERR.LOG"_s)));
    EXPECT_FALSE(QFileInfo::exists(path(u"bin/ERR.LOG"_s)));

    // A LOGPATH that cannot be made fails the conversion and names the log.
    ini(u"LOGPATH="_s + path(u"bin/logs/"_s) + u'\n');
    const Run unwritable = ediconv(viaIni, environment, program);
    EXPECT_EQ(unwritable.exitCode, 1);
    EXPECT_EQ(unwritable.err, u"9999 Cannot write the conversion log "_s + path(u"bin/logs/ERR.LOG"_s) + u'\n');
}

TEST_F(EdiconvTest, HelpAndVersionAnswerOnStandardOutput)
{
    for (const QStringList& arguments : {QStringList{u"--help"_s}, QStringList{u"-h"_s}, QStringList{u"local"_s, u"--help"_s}}) {
        QProcess process;
        process.start(buildPath(u"tools/ediconv"_s), arguments);
        ASSERT_TRUE(process.waitForFinished(10000));
        EXPECT_EQ(process.exitCode(), 0);
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        EXPECT_TRUE(out.startsWith(u"usage: ediconv local|xml|cii"_s)) << out.toStdString();
        EXPECT_TRUE(out.contains(u"Exit status"_s));
    }
    QProcess version;
    version.start(buildPath(u"tools/ediconv"_s), {u"--version"_s});
    ASSERT_TRUE(version.waitForFinished(10000));
    EXPECT_EQ(version.exitCode(), 0);
    EXPECT_TRUE(version.readAllStandardOutput().startsWith("ediconv "));
}

TEST_F(EdiconvTest, ConvertsToXmlAndBackAppendingSeveralDocuments)
{
    const QStringList masters = this->masters();
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
    EXPECT_TRUE(bad.err.startsWith(u"0002 XML解析エラー"_s)) << bad.err.toStdString();
    EXPECT_EQ(readFile(path(u"OUT.CII"_s)), cii);  // nothing appended, the second input not reached

    // A document failing after its CII outgrew what is kept in memory, between two good ones: the
    // one before it stays appended, nothing of it does, the one after is not reached.
    const QByteArray document = readFile(path(u"A.XML"_s));
    const qsizetype messageStart = document.indexOf("<JPTRM");
    const qsizetype messageEnd = document.lastIndexOf("</JPTRM>") + 8;
    writeFile(path(u"BIG.XML"_s), document.left(messageEnd) + document.mid(messageStart, messageEnd - messageStart).repeated(4000));
    const Run middle = ediconv(QStringList{u"cii"_s} + masters
                               + QStringList{path(u"A.XML"_s), path(u"BIG.XML"_s), path(u"A.XML"_s), path(u"OUT.CII"_s)});
    EXPECT_EQ(middle.exitCode, 1);
    EXPECT_TRUE(middle.err.startsWith(u"0002 XML解析エラー"_s)) << middle.err.toStdString();
    EXPECT_EQ(readFile(path(u"OUT.CII"_s)), cii + cii.left(cii.size() / 2));
    EXPECT_FALSE(QFile::exists(path(u"OUT.CII.part"_s)));
}

// A value of 32,767 bytes is written whole; one of 32,768 is refused and leaves no file.
TEST_F(EdiconvTest, AValueTooLongForCiiIsRefusedNotCut)
{
    ASSERT_EQ(ediconv(QStringList{u"xml"_s} + masters() + QStringList{path(u"IN.CII"_s), path(u"A.XML"_s)}).exitCode, 0);
    const QByteArray document = readFile(path(u"A.XML"_s));
    ASSERT_TRUE(document.contains("<JP00001>PO1</JP00001>"));
    const QByteArray longest = QByteArray("PO-0123456789-").repeated(2341).left(32766) + 'Z';
    auto withValue = [&](const QByteArray& value) {
        return QByteArray(document).replace("<JP00001>PO1</JP00001>", "<JP00001>" + value + "</JP00001>");
    };

    writeFile(path(u"LONGEST.XML"_s), withValue(longest));
    const Run accepted = ediconv(QStringList{u"cii"_s} + masters() + QStringList{path(u"LONGEST.XML"_s), path(u"LONGEST.CII"_s)});
    ASSERT_EQ(accepted.exitCode, 0) << accepted.err.toStdString();
    ASSERT_EQ(ediconv(QStringList{u"xml"_s} + masters() + QStringList{path(u"LONGEST.CII"_s), path(u"BACK.XML"_s)}).exitCode, 0);
    EXPECT_EQ(readFile(path(u"BACK.XML"_s)).count("<JP00001>" + longest + "</JP00001>"), 2);

    writeFile(path(u"LONG.XML"_s), withValue(longest + 'Z'));
    const Run refused = ediconv(QStringList{u"cii"_s} + masters() + QStringList{path(u"LONG.XML"_s), path(u"OUT.CII"_s)});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.startsWith(u"0002 XML解析エラー JPTRM 1 の JP00001 の値 (32768バイト)"_s)) << refused.err.toStdString();
    EXPECT_FALSE(QFile::exists(path(u"OUT.CII"_s)));
    EXPECT_FALSE(QFile::exists(path(u"OUT.CII.part"_s)));
}

TEST_F(EdiconvTest, AFailedConversionExitsWithItsCode)
{
    writeFile(path(u"CUT.CII"_s), cii_.left(300));
    const Run run = ediconv({u"local"_s, u"--db"_s, path(u"edi.sqlite"_s), u"--log"_s, path(u"ERR.LOG"_s),
                             path(u"CUT.CII"_s), path(u"OUT.LOC"_s)});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, u"0007 CIIファイルがブロックの途中で終わっています\n"_s);

    const Run unwritable = ediconv({u"local"_s, u"--db"_s, path(u"edi.sqlite"_s), u"--log"_s, path(u"ERR.LOG"_s),
                                    path(u"IN.CII"_s), path(u"no/such/folder/OUT.LOC"_s)});
    EXPECT_EQ(unwritable.exitCode, 1);
    EXPECT_TRUE(unwritable.err.startsWith(u"9999 "_s)) << unwritable.err.toStdString();
}

// A text file, random bytes or a foreign XML document is refused, never "converted" into nothing.
TEST_F(EdiconvTest, InputThatIsNoCiiIsRefusedInBothDirections)
{
    QByteArray noise(4096, Qt::Uninitialized);
    for (qsizetype i = 0; i < noise.size(); ++i)
        noise[i] = char((i * 7919 + 13) % 251);
    writeFile(path(u"TEXT.CII"_s), "This is a plain text file.\nIt holds no CII data at all.\n");
    writeFile(path(u"NOISE.CII"_s), noise);
    for (const QString& input : {path(u"TEXT.CII"_s), path(u"NOISE.CII"_s)}) {
        for (const QString& mode : {u"local"_s, u"xml"_s}) {
            const Run run = ediconv(QStringList{mode} + masters() + QStringList{input, path(u"OUT.OUT"_s)});
            EXPECT_EQ(run.exitCode, 1) << mode.toStdString() << ' ' << input.toStdString();
            EXPECT_EQ(run.err, u"0001 メッセージグループヘッダがありません\n"_s) << run.err.toStdString();
        }
    }
    EXPECT_FALSE(QFile::exists(path(u"OUT0101.OUT"_s)));

    const QByteArray cii = readFile(path(u"IN.CII"_s));
    writeFile(path(u"OUT.CII"_s), cii);
    writeFile(path(u"PAGE.XML"_s), "<?xml version=\"1.0\"?><html><body><p>JPM1</p></body></html>");
    const Run foreign = ediconv(QStringList{u"cii"_s} + masters() + QStringList{path(u"PAGE.XML"_s), path(u"OUT.CII"_s)});
    EXPECT_EQ(foreign.exitCode, 1);
    EXPECT_TRUE(foreign.err.startsWith(u"0002 "_s) && foreign.err.contains(u"CIIの文書ではありません"_s))
        << foreign.err.toStdString();
    EXPECT_EQ(readFile(path(u"OUT.CII"_s)), cii);
}

TEST_F(EdiconvTest, AnEmptyInputIsNothingToConvert)
{
    writeFile(path(u"EMPTY.XML"_s), "");
    writeFile(path(u"EMPTY.CII"_s), "");
    writeFile(path(u"OUT.CII"_s), cii_);
    const Run xml = ediconv(QStringList{u"cii"_s} + masters() + QStringList{path(u"EMPTY.XML"_s), path(u"OUT.CII"_s)});
    EXPECT_EQ(xml.exitCode, 0);
    EXPECT_EQ(xml.err, u"変換するデータがありません: "_s + path(u"EMPTY.XML"_s) + u'\n');
    EXPECT_EQ(readFile(path(u"OUT.CII"_s)), cii_);

    const Run local = ediconv(QStringList{u"local"_s} + masters() + QStringList{path(u"EMPTY.CII"_s), path(u"OUT.LOC"_s)});
    EXPECT_EQ(local.exitCode, 0);
    EXPECT_EQ(local.err, u"変換するデータがありません: "_s + path(u"EMPTY.CII"_s) + u'\n');
    EXPECT_FALSE(QFile::exists(path(u"OUT0101.LOC"_s)));
}

// An older Japanese terminal reads EUC-JP: the reason must be legible there too.
TEST_F(EdiconvTest, TheReasonIsWrittenInTheTerminalsEncoding)
{
    const QString locales = database_.folder() + u"/locales"_s;
    ASSERT_TRUE(QDir().mkpath(locales));
    QProcess localedef;
    localedef.start(u"localedef"_s, {u"-i"_s, u"ja_JP"_s, u"-f"_s, u"EUC-JP"_s, locales + u"/ja_JP.EUC-JP"_s});
    ASSERT_TRUE(localedef.waitForFinished(120000));
    ASSERT_EQ(localedef.exitCode(), 0) << localedef.readAllStandardError().toStdString();

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(u"LC_ALL"_s);
    environment.insert(u"LOCPATH"_s, locales);
    environment.insert(u"LANG"_s, u"ja_JP.EUC-JP"_s);
    writeFile(path(u"CUT.CII"_s), cii_.left(300));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(buildPath(u"tools/ediconv"_s),
                  QStringList{u"local"_s} + masters() + QStringList{path(u"CUT.CII"_s), path(u"OUT.LOC"_s)});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 1);
    // "0007 CIIファイル" in EUC-JP: katakana as two bytes from A5.
    EXPECT_TRUE(process.readAllStandardError().startsWith("0007 CII\xA5\xD5\xA5\xA1\xA5\xA4\xA5\xEB"));
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
    const Run missingIni = ediconv({u"local"_s, u"--ini"_s, path(u"NONE.ini"_s), in, out});
    EXPECT_EQ(missingIni.err, u"ediconv: the configuration file "_s + path(u"NONE.ini"_s) + u" does not exist\n"_s);
}

}  // namespace
}  // namespace edi::test
