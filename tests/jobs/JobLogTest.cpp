#include "JobFixture.h"
#include "support/ReadOnlyPath.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>

using namespace Qt::Literals::StringLiterals;

namespace edi::test {
namespace {

// The program's log as an operator or the journal reads it: edi-auto --run-job, its standard
// error in a file.
class JobLogTest : public JobFixture {
protected:
    struct Log {
        int exitCode;
        QStringList lines;
    };
    // Under the journal, JOURNAL_STREAM names the file's device and inode, as systemd names the
    // stream it reads.
    Log runJob(const QString& centre, bool journal, const QStringList& more = {},
               const QString& program = buildPath(u"src/edi-auto"_s)) const
    {
        const QString log = path(u"job.log"_s);
        QString command = u"exec 2>\"$1\"; shift; "_s;
        if (journal)
            command += u"export JOURNAL_STREAM=$(stat -c %d:%i \"$LOG\"); "_s;
        command += u"exec \"$@\""_s;
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"LOG"_s, log);
        process.setProcessEnvironment(environment);
        process.start(u"bash"_s, QStringList{u"-c"_s, command, u"bash"_s, log, program, u"--ini"_s,
                                             path(u"EDI.ini"_s), u"--run-job"_s, centre}
                                     + more);
        process.waitForFinished(60000);
        return {process.exitCode(), QString::fromUtf8(readFile(log)).split(u'\n', Qt::SkipEmptyParts)};
    }
};

TEST_P(JobLogTest, AJobIsItsOutcomeAndOneLinePerStep)
{
    const Log log = runJob(u"ZC01"_s, false);
    ASSERT_EQ(log.exitCode, 0) << log.lines.join(u'\n').toStdString();
    const QRegularExpression stamped(u"^\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d ZC01 "_s);
    for (const QString& line : log.lines)
        EXPECT_TRUE(stamped.match(line).hasMatch()) << line.toStdString();
    ASSERT_EQ(log.lines.size(), 4) << log.lines.join(u'\n').toStdString();
    EXPECT_TRUE(log.lines[0].endsWith(u"ZC01 通番 00000001 ZC01 正常終了 / 端末 TESTPC"_s));
    EXPECT_TRUE(log.lines[1].contains(u"ZC01 通番 00000001 受信: 通信パッケージのファイル "_s));
    EXPECT_TRUE(log.lines[3].endsWith(u"ZC01 通番 00000001 登録: 区分 0101 入力 2 件 出力 2 件 "_s
                                      + path(u"received/00000001_RCV_ZC01________0101.LOC"_s)));

    // --verbose adds the grid's texts and the row's states.
    const Log verbose = runJob(u"ZC01"_s, false, {u"--verbose"_s});
    ASSERT_EQ(verbose.exitCode, 0);
    EXPECT_TRUE(verbose.lines.first().endsWith(u"ZC01 状態 1"_s)) << verbose.lines.first().toStdString();
    EXPECT_TRUE(verbose.lines.join(u'\n').contains(u"ZC01 データ登録 OK"_s));
    EXPECT_GT(verbose.lines.size(), 10);
}

TEST_P(JobLogTest, UnderTheJournalLinesCarryAPriorityInsteadOfATime)
{
    const Log finished = runJob(u"ZC01"_s, true);
    ASSERT_EQ(finished.exitCode, 0);
    ASSERT_FALSE(finished.lines.isEmpty());
    EXPECT_EQ(finished.lines[0], u"<6>ZC01 通番 00000001 ZC01 正常終了 / 端末 TESTPC"_s);
    for (const QString& line : finished.lines)
        EXPECT_TRUE(line.startsWith(u"<6>ZC01 通番 00000001 "_s)) << line.toStdString();

    // A hand-over that cannot be converted: the outcome is an error, its steps warnings.
    writeFile(path(u"handover/WC01.CII"_s), "not a message group\r\n");
    const Log failed = runJob(u"WC01"_s, true);
    ASSERT_EQ(failed.exitCode, 1);
    ASSERT_GE(failed.lines.size(), 2);
    EXPECT_TRUE(failed.lines[0].startsWith(u"<3>WC01 通番 00000002 WC01 異常終了 9999 "_s)) << failed.lines[0].toStdString();
    EXPECT_TRUE(failed.lines[1].startsWith(u"<4>WC01 通番 00000002 受信: 持込ファイル "_s)) << failed.lines[1].toStdString();

    // Nothing handed over is no failure: information, and the program's exit status 0.
    const Log empty = runJob(u"WC01"_s, true);
    ASSERT_EQ(empty.exitCode, 0);
    ASSERT_GE(empty.lines.size(), 2);
    EXPECT_EQ(empty.lines[0], u"<6>WC01 通番 00000003 WC01 正常終了 (0000/0100 受信データなし) / 端末 TESTPC"_s);
    EXPECT_TRUE(empty.lines[1].startsWith(u"<6>WC01 通番 00000003 受信: 受信データなし: 持込ファイル "_s)) << empty.lines[1].toStdString();

    // A variable left from a parent whose standard error was another stream changes nothing.
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"JOURNAL_STREAM"_s, u"8:12345"_s);
    process.setProcessEnvironment(environment);
    process.start(buildPath(u"src/edi-auto"_s), {u"--ini"_s, path(u"EDI.ini"_s), u"--run-job"_s, u"ZC01"_s});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_TRUE(QString::fromUtf8(process.readAllStandardError()).startsWith(u"20"_s));
}

// The converters' log: LOGPATH when the configuration sets it; for a program whose folder cannot
// be written, the service's logs folder, else the received-files folder.
TEST_P(JobLogTest, TheConvertersLogGoesWhereTheConfigurationOrTheMachineLetsIt)
{
    const QString registration = path(u"bin/edi-register"_s) + u" --in "_s + path(u"received/"_s);
    writeIni(registration, u"0101"_s, u"LOGPATH="_s + path(u"logs/edi/"_s) + u'\n');
    ASSERT_EQ(runJob(u"ZC01"_s, false).exitCode, 0);
    EXPECT_TRUE(readFile(path(u"logs/edi/ERR.LOG"_s)).startsWith("0000--LOCCIIC start--00000001  "));

    writeIni(registration);
    QDir().mkpath(path(u"program"_s));
    ASSERT_TRUE(QFile::copy(buildPath(u"src/edi-auto"_s), path(u"program/edi-auto"_s)));
    const ReadOnlyPath readOnly(path(u"program"_s));
    if (!readOnly.available())
        GTEST_SKIP() << readOnly.why().toStdString();
    qputenv("LOGS_DIRECTORY", path(u"service"_s).toUtf8());
    const auto unset = qScopeGuard([] { qunsetenv("LOGS_DIRECTORY"); });
    const Log service = runJob(u"ZC01"_s, false, {}, path(u"program/edi-auto"_s));
    ASSERT_EQ(service.exitCode, 0) << service.lines.join(u'\n').toStdString();
    EXPECT_TRUE(readFile(path(u"service/ERR.LOG"_s)).startsWith("0000--LOCCIIC start--00000002  "));

    qunsetenv("LOGS_DIRECTORY");
    ASSERT_EQ(runJob(u"ZC01"_s, false, {}, path(u"program/edi-auto"_s)).exitCode, 0);
    EXPECT_TRUE(readFile(path(u"received/ERR.LOG"_s)).startsWith("0000--LOCCIIC start--00000003  "));
    EXPECT_FALSE(QFileInfo::exists(path(u"program/ERR.LOG"_s)));
}

INSTANTIATE_TEST_SUITE_P(Sqlite, JobLogTest, ::testing::Values(Backend::Sqlite),
                         [](const auto& info) { return backendName(info.param); });

}  // namespace
}  // namespace edi::test
