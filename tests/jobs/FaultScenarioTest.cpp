#include "JobFixture.h"
#include "app/process/ProcessTable.h"
#include "jobs/JobSequence.h"
#include "support/TestFiles.h"
#include "support/TestMail.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThread>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>

#include <sys/mount.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace edi::test {
namespace {

// A PostgreSQL server of this test's own, which the scenarios may stop and start again without
// disturbing the other tests' server.
class PrivateServer final : public ::testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_TRUE(state_.isValid());
        ASSERT_EQ(script(u"start"_s), 0) << "could not start a PostgreSQL server";
        qputenv("EDI_TEST_PG_DIR", state_.path().toUtf8());
        qputenv("ODBCSYSINI", state_.path().toUtf8());  // where the ODBC driver is defined
    }
    void TearDown() override { script(u"stop"_s); }

    static int script(const QString& action)
    {
        return QProcess::execute(u"bash"_s, {sourcePath(u"scripts/test-postgres.sh"_s), action, state_.path()});
    }

private:
    static inline QTemporaryDir state_;
};
[[maybe_unused]] const ::testing::Environment* const kServer = ::testing::AddGlobalTestEnvironment(new PrivateServer);

// The faults users fear, with the program itself in real processes: two programs at one centre,
// a kill -9 in the middle of the registration, a time limit over a wrapper script, the database
// server gone at the worst moment, a partner's message that can never be received. Each counts
// what was registered (the stand-in registration program's ledger) and reads the history.
class FaultScenarioTest : public JobFixture {
protected:
    FaultScenarioTest() { registerWith(u"exec "_s + registration() + u" \"$@\""_s); }

    // The registration program behind a wrapper script with the given body.
    void registerWith(const QString& body, const QString& morePathKeys = {})
    {
        writeFile(path(u"bin/register.sh"_s), "#!/bin/sh\n" + body.toUtf8() + '\n');
        QFile::setPermissions(path(u"bin/register.sh"_s), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        writeIni(path(u"bin/register.sh"_s), u"0101"_s, morePathKeys);
    }
    QString registration() const
    {
        return path(u"bin/edi-register"_s) + u" --in "_s + path(u"received/"_s) + u" --ledger "_s + path(u"ledger.txt"_s);
    }
    // Records registered so far.
    int registered() const
    {
        return QFile::exists(path(u"ledger.txt"_s)) ? int(readFile(path(u"ledger.txt"_s)).count('\n')) : 0;
    }

    // The program on this workstation, or on another of the given name.
    std::unique_ptr<QProcess> start(const QStringList& arguments, const QString& machine = {}) const
    {
        auto program = std::make_unique<QProcess>();
        program->setProcessChannelMode(QProcess::MergedChannels);
        if (!machine.isEmpty()) {
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(u"EDI_MACHINE_NAME"_s, machine);
            program->setProcessEnvironment(environment);
        }
        program->start(buildPath(u"src/edi-auto"_s), QStringList{u"--ini"_s, path(u"EDI.ini"_s)} + arguments);
        EXPECT_TRUE(program->waitForStarted());
        return program;
    }
    // The exit status; what the program wrote is kept in output_.
    int finish(QProcess& program)
    {
        EXPECT_TRUE(program.waitForFinished(60000));
        output_ += QString::fromUtf8(program.readAll());
        return program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    }
    int runProgram(const QStringList& arguments, const QString& machine = {})
    {
        return finish(*start(arguments, machine));
    }

    // A reception of WC01 started in a program of its own, whose registration waits `seconds`
    // before it registers; returned once the registration runs, with its process group.
    std::pair<std::unique_ptr<QProcess>, qint64> receptionInRegistration(int seconds)
    {
        registerWith(u"echo $$ > "_s + path(u"group.txt"_s) + u"\nsleep %1\nexec "_s.arg(seconds) + registration()
                     + u" \"$@\""_s);
        writeFile(path(u"handover/WC01.CII"_s), demoCii(2));
        auto program = start({u"--run-job"_s, u"WC01"_s});
        const qint64 group = registrationGroup();
        return {std::move(program), group};
    }

    // The process group of the registration wrapper once it has started: it writes its id.
    qint64 registrationGroup() const
    {
        for (int waited = 0; waited < 300 && !QFile::exists(path(u"group.txt"_s)); ++waited)
            QThread::msleep(50);
        QThread::msleep(100);
        return readFile(path(u"group.txt"_s)).trimmed().toLongLong();
    }

    // The job rows of a centre: serial, end code and note.
    QStringList jobRows(const QString& centre) const
    {
        QStringList rows;
        for (ResultSet row = db_->query({u"SELECT 通番, 処理終了日付, 終了コード, 備考 FROM FL1102処理履歴ファイル"
                                          u" WHERE 枝番 = 0 AND センターコード = ? ORDER BY 通番"_s,
                                          {centre}});
             !row.atEnd(); row.next())
            rows << row.value(0).toString() + u'|' + (row.value(1).isNull() ? u"open"_s : row.value(2).toString()) + u'|'
                        + row.value(3).toString();
        return rows;
    }

    // Two programs start the centre's reception at the same moment: its data is registered once.
    void bothAtOnce(const QString& centre, int records)
    {
        QFile::remove(path(u"ledger.txt"_s));
        output_.clear();
        const qsizetype earlier = jobRows(centre).size();
        auto first = start({u"--run-job"_s, centre});
        auto second = start({u"--run-job"_s, centre});
        const int exits = finish(*first) + finish(*second);
        EXPECT_EQ(registered(), records) << centre.toStdString() << "\n" << output_.toStdString();
        EXPECT_LE(exits, 1) << output_.toStdString();  // one of them at most found nothing to do
        int succeeded = 0;
        for (const QString& row : jobRows(centre).mid(earlier))
            succeeded += row.contains(u"|0000|"_s) ? 1 : 0;
        EXPECT_EQ(succeeded, 1) << jobRows(centre).join(u'\n').toStdString();
    }

    QString output_;
};

TEST_P(FaultScenarioTest, TwoProgramsAtOneCentreRegisterItsDataOnce)
{
    // A slow registration keeps the first job's centre lock while the second one tries.
    registerWith(u"sleep 1\nexec "_s + registration() + u" \"$@\""_s);

    writeFile(path(u"handover/WC01.CII"_s), demoCii(2));
    bothAtOnce(u"WC01"_s, 2);
    EXPECT_FALSE(QFile::exists(path(u"handover/WC01.CII"_s)));

    TestMailbox mailbox = TestMailbox::maildir(path(u"mail/Maildir"_s));
    QFile ini(path(u"EDI.ini"_s));
    ASSERT_TRUE(ini.open(QIODevice::Append));
    ini.write("[MAPI]\nProfileName=edi\nPassword=\nStore=mail/Maildir\n");
    ini.close();
    const QString mail = mailbox.deliver(mailMessage("cii@chubu.example.jp", {base64Part(demoCii(3), "filename=\"MC01.CII\"")}));
    bothAtOnce(u"MC01"_s, 3);
    EXPECT_TRUE(mailbox.isRead(mail));

    bothAtOnce(u"ZC01"_s, 2);
}

TEST_P(FaultScenarioTest, AHandOverIntoAnotherFileSystemIsTakenOnce)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a second file system for the received files needs root";
    if (::mount("tmpfs", QFile::encodeName(path(u"received"_s)).constData(), "tmpfs", 0, "size=16m") != 0)
        GTEST_SKIP() << "a tmpfs cannot be mounted here: " << std::strerror(errno);
    const auto unmount = qScopeGuard([this] { ::umount2(QFile::encodeName(path(u"received"_s)).constData(), MNT_DETACH); });
    registerWith(u"sleep 1\nexec "_s + registration() + u" \"$@\""_s);
    for (int round = 0; round < 3; ++round) {
        writeFile(path(u"handover/WC01.CII"_s), demoCii(2));
        bothAtOnce(u"WC01"_s, 2);
    }
}

TEST_P(FaultScenarioTest, ATimeLimitStopsTheWrapperAndEverythingItStarted)
{
    // The real program runs in the wrapper's background and would finish after the limit.
    registerWith(u"echo $$ > "_s + path(u"group.txt"_s) + u"\n(sleep 3; exec "_s + registration() + u" \"$@\") &\nwait"_s,
                 u"MGTIMELIMIT=1\n"_s);
    writeFile(path(u"handover/WC01.CII"_s), demoCii(2));
    EXPECT_EQ(runProgram({u"--run-job"_s, u"WC01"_s}), 1);
    EXPECT_FALSE(processGroupHasLiveMembers(registrationGroup()));
    QThread::sleep(3);
    EXPECT_EQ(registered(), 0);
    EXPECT_TRUE(jobRows(u"WC01"_s).first().startsWith(u"1|4100|"_s)) << jobRows(u"WC01"_s).join(u'\n').toStdString();
}

TEST_P(FaultScenarioTest, AJobKilledWithItsRegistrationIsCompletedAtTheNextStartAndRunsAgainOnce)
{
    auto [killed, group] = receptionInRegistration(30);
    // The machine loses power: the program and the registration program it started end at once.
    ::kill(pid_t(killed->processId()), SIGKILL);
    ::kill(-pid_t(group), SIGKILL);
    finish(*killed);
    EXPECT_TRUE(jobRows(u"WC01"_s).first().startsWith(u"1|open|"_s));

    // The next start, for any reception, completes it as interrupted, backs it up and alerts.
    registerWith(u"exec "_s + registration() + u" \"$@\""_s);
    QFile ini(path(u"EDI.ini"_s));
    ASSERT_TRUE(ini.open(QIODevice::Append));
    ini.write((u"[ALERT]\nCOMMAND=echo \"$EDI_CENTRE $EDI_SERIAL $EDI_CODE\" >> %1\n"_s.arg(path(u"alerts.log"_s))).toUtf8());
    ini.close();
    EXPECT_EQ(runProgram({u"--run-job"_s, u"ZC01"_s}), 0) << output_.toStdString();
    const QString row = jobRows(u"WC01"_s).first();
    EXPECT_TRUE(row.startsWith(u"1|8002|端末 TESTPC / 中断: 登録の途中で"_s)) << row.toStdString();
    EXPECT_EQ(readFile(path(u"alerts.log"_s)), "WC01 00000001 8002\n");
    EXPECT_TRUE(output_.contains(u"通番 00000001 (センター WC01) は登録の途中でプログラムが終了していた"_s)) << output_.toStdString();
    EXPECT_TRUE(QFile::exists(path(u"backup/00000001_RCV_WC01________.CII"_s)));
    const int zc01 = registered();

    // Run again, its data is registered once; a second re-run is refused.
    EXPECT_EQ(runProgram({u"--rerun"_s, u"1"_s}), 0) << output_.toStdString();
    EXPECT_EQ(registered(), zc01 + 2);
    output_.clear();
    EXPECT_EQ(runProgram({u"--rerun"_s, u"1"_s}), 1);
    EXPECT_TRUE(output_.contains(u"再実行できません"_s)) << output_.toStdString();
    EXPECT_EQ(registered(), zc01 + 2);
}

TEST_P(FaultScenarioTest, ARegistrationThatOutlivesItsKilledCallerIsRecorded)
{
    auto [killed, group] = receptionInRegistration(2);
    ::kill(pid_t(killed->processId()), SIGKILL);
    finish(*killed);

    // A start while the registration program still runs leaves its job alone.
    EXPECT_EQ(runProgram({u"--run-job"_s, u"ZC01"_s}), 0);
    EXPECT_TRUE(output_.contains(u"登録プログラムが実行中"_s)) << output_.toStdString();
    EXPECT_TRUE(jobRows(u"WC01"_s).first().startsWith(u"1|open|"_s));

    // Once it has ended, the next start records what it registered.
    ASSERT_TRUE(waitForProcessGroup(group, QDeadlineTimer(10000)));
    const int registeredBefore = registered();
    EXPECT_EQ(runProgram({u"--run-job"_s, u"ZC01"_s}), 0);
    EXPECT_TRUE(jobRows(u"WC01"_s).first().startsWith(u"1|0000|端末 TESTPC / プログラムの終了後"_s)) << jobRows(u"WC01"_s).join(u'\n').toStdString();
    EXPECT_TRUE(history().contains(
        u"1|3|R|1|41|WC01|done|K0005| |0101|2|2| |0000|0000|received/00000001_RCV_WC01________0101.LOC"_s))
        << history().join(u'\n').toStdString();
    const int afterRecovery = registered();
    EXPECT_EQ(afterRecovery, registeredBefore + 2);  // the ZC01 reception only
    EXPECT_EQ(runProgram({u"--rerun"_s, u"1"_s}), 1);
    EXPECT_EQ(registered(), afterRecovery);
}

// Only this workstation completes its jobs; until it does, another one that receives the same
// data again cannot tell from the history whether it was registered, and holds it back.
TEST_P(FaultScenarioTest, DataSentAgainBeforeAKilledJobIsCompletedIsHeldBackElsewhere)
{
    environmentKeys_.clear();  // deliveries are compared, as by default
    auto [killed, group] = receptionInRegistration(1);
    ::kill(pid_t(killed->processId()), SIGKILL);
    finish(*killed);
    ASSERT_TRUE(waitForProcessGroup(group, QDeadlineTimer(10000)));
    ASSERT_EQ(registered(), 2);

    writeFile(path(u"handover/WC01.CII"_s), demoCii(2));
    EXPECT_EQ(runProgram({u"--run-job"_s, u"WC01"_s}, u"WS-B"_s), 1) << output_.toStdString();
    ASSERT_EQ(jobRows(u"WC01"_s).size(), 2);
    EXPECT_TRUE(jobRows(u"WC01"_s).at(1).startsWith(
        u"2|8004|端末 WS-B / 受信済みのデータと同じため登録しませんでした: 通番 00000001 (プログラムが終了したまま完了していないジョブ"_s))
        << jobRows(u"WC01"_s).join(u'\n').toStdString();
    EXPECT_EQ(registered(), 2);

    // Its own workstation's next reception records the registration: the data was registered once.
    EXPECT_EQ(runProgram({u"--run-job"_s, u"WC01"_s}), 0) << output_.toStdString();
    EXPECT_TRUE(jobRows(u"WC01"_s).first().startsWith(u"1|0000|"_s)) << jobRows(u"WC01"_s).join(u'\n').toStdString();
    EXPECT_EQ(registered(), 2);
    EXPECT_TRUE(QFile::exists(path(u"received/00000002_RCV_WC01________.CII.DUPLICATE"_s)));
}

TEST_P(FaultScenarioTest, APackageThatOutlivesItsKilledCallerKeepsTheCentreBusy)
{
    // The partner's file is taken by whichever package run comes first, seconds after it starts:
    // time enough for the next reception to start while the killed job's package still runs.
    setPackage(u"SLEEP=3\nTAKE=YES"_s);
    const QString package = path(u"cvx/z_tcp"_s);
    auto killed = start({u"--run-job"_s, u"ZC01"_s});
    for (int waited = 0; waited < 1000 && !processWithArgumentRuns(package); ++waited)
        QThread::msleep(10);
    ASSERT_TRUE(processWithArgumentRuns(package)) << "the package did not start";
    ::kill(pid_t(killed->processId()), SIGKILL);
    finish(*killed);

    // While the killed job's package still runs, the next reception of the centre touches nothing:
    // it would take what that package delivers, and the delivery would later be kept aside too.
    output_.clear();
    EXPECT_EQ(runProgram({u"--run-job"_s, u"ZC01"_s}), 1);
    EXPECT_TRUE(output_.contains(u"通信パッケージが実行中"_s)) << output_.toStdString();
    EXPECT_TRUE(jobRows(u"ZC01"_s).at(1).startsWith(u"2|8001|端末 TESTPC / センター ZC01 の前の受信が終わっていない"_s))
        << jobRows(u"ZC01"_s).join(u'\n').toStdString();

    // Once it has ended, the next start keeps its delivery aside (and its own package brings
    // nothing new, which is no failure); handed over again, it is registered, once.
    for (int waited = 0; waited < 1000 && processWithArgumentRuns(package); ++waited)
        QThread::msleep(10);
    ASSERT_FALSE(processWithArgumentRuns(package));
    EXPECT_EQ(runProgram({u"--run-job"_s, u"ZC01"_s}), 0) << output_.toStdString();
    const QString kept = path(u"received/00000001_RCV_ZC01________.CII.UNCONFIRMED"_s);
    ASSERT_TRUE(QFile::exists(kept)) << output_.toStdString();
    ASSERT_TRUE(QFile::rename(kept, path(u"partner/ZC01.CII"_s)));
    EXPECT_EQ(runProgram({u"--run-job"_s, u"ZC01"_s}), 0) << output_.toStdString();
    EXPECT_EQ(registered(), 2);
    EXPECT_TRUE(jobRows(u"ZC01"_s).first().startsWith(u"1|8002|"_s)) << jobRows(u"ZC01"_s).join(u'\n').toStdString();
}

TEST_P(FaultScenarioTest, AMessageThatCannotBeReceivedDoesNotHoldUpTheNextOne)
{
    TestMailbox mailbox = TestMailbox::maildir(path(u"mail/Maildir"_s));
    QFile ini(path(u"EDI.ini"_s));
    ASSERT_TRUE(ini.open(QIODevice::Append));
    ini.write("[MAPI]\nProfileName=edi\nPassword=\nStore=mail/Maildir\n");
    ini.close();
    const QString bare = mailbox.deliver(mailMessage("cii@chubu.example.jp", {textPart("the file follows")}));
    const QString good = mailbox.deliver(mailMessage("cii@chubu.example.jp", {base64Part(demoCii(2), "filename=\"MC01.CII\"")}));
    EXPECT_EQ(runProgram({u"--run-job"_s, u"MC01"_s}), 1);
    EXPECT_TRUE(output_.contains(u"Error 204"_s)) << output_.toStdString();
    EXPECT_EQ(runProgram({u"--run-job"_s, u"MC01"_s}), 0) << output_.toStdString();
    EXPECT_EQ(registered(), 2);
    EXPECT_TRUE(mailbox.isRead(good));
    EXPECT_FALSE(mailbox.isRead(bare));
    EXPECT_TRUE(mailbox.flags(bare).contains(u'F'));
}

TEST_P(FaultScenarioTest, AMailReceptionKilledBetweenFetchesLeavesNothingRead)
{
    if (GetParam() != Backend::Sqlite)
        GTEST_SKIP() << "the mail server is what this is about; one database is enough";
    const std::optional<ImapServer> server = testImapServer();
    ASSERT_TRUE(server) << "the test IMAP server is not running; run the tests through ctest";
    TestMailbox folder = TestMailbox::imapFolder(*server, u"K%1"_s.arg(::getpid()));
    QFile ini(path(u"EDI.ini"_s));
    ASSERT_TRUE(ini.open(QIODevice::Append));
    ini.write(u"[MAPI]\nProfileName=edi\nPassword=secret\nStore=%1\nCAFILE=%2\n"_s.arg(folder.store(), server->caFile).toUtf8());
    ini.close();
    // Messages for others around a large one of the partner's, whose download takes a moment.
    for (int i = 0; i < 100; ++i)
        folder.deliver(mailMessage("other" + QByteArray::number(i) + "@example.jp", {base64Part("OTHER")}));
    const QString large = folder.deliver(mailMessage("cii@chubu.example.jp", {base64Part(QByteArray(24 << 20, 'C'))}));
    for (int i = 0; i < 100; ++i)
        folder.deliver(mailMessage("later" + QByteArray::number(i) + "@example.jp", {base64Part("OTHER")}));

    auto reception = start({u"--run-job"_s, u"MC01"_s});
    auto downloading = [this] {
        return !QDir(path(u"received"_s)).entryList({u".mail-*"_s}, QDir::Files | QDir::Hidden).isEmpty();
    };
    for (int waited = 0; waited < 2000 && !downloading(); ++waited)
        QThread::msleep(5);
    ASSERT_TRUE(downloading()) << "the reception ended before its download could be caught";
    ::kill(pid_t(reception->processId()), SIGKILL);
    finish(*reception);

    // Every fetch was a peek: nothing the killed reception looked at is read.
    EXPECT_EQ(folder.readMessages(), QStringList());
    EXPECT_FALSE(folder.isRead(large));
    EXPECT_TRUE(QDir(path(u"received"_s)).entryList({u"*_RCV_*"_s}, QDir::Files).isEmpty());
}

// Stops the database server as soon as the transport has taken the hand-over file, before the
// transfer row can say so.
struct ServerStoppingObserver final : JobObserver {
    void statusText(StatusColumn, const QString&) override {}
    void rowState(RowState) override {}
    void note(const QString& text) override
    {
        if (text.startsWith(u"持込ファイル "_s) && text.contains(u"受信しました"_s))
            PrivateServer::script(u"pause"_s);
    }
};

TEST_P(FaultScenarioTest, TheServerStoppedBeforeTheReceptionWasRecorded)
{
    if (GetParam() != Backend::PostgreSql)
        GTEST_SKIP() << "a database server is what can stop";
    writeFile(path(u"handover/WC01.CII"_s), demoCii(2));
    ServerStoppingObserver stopping;
    EXPECT_EQ(runScheduledJob(*job_, u"WC01"_s, stopping), RowState::Failed);
    // The hand-over file is back where it was put, and nothing was received or registered.
    EXPECT_EQ(readFile(path(u"handover/WC01.CII"_s)), demoCii(2));
    EXPECT_FALSE(QFile::exists(path(u"received/00000001_RCV_WC01________.CII"_s)));
    EXPECT_EQ(registered(), 0);

    // With the server back, the next reception brings the data in, once.
    ASSERT_EQ(PrivateServer::script(u"resume"_s), 0);
    EXPECT_EQ(run(u"WC01"_s), RowState::Finished) << observer_.notes.join(u'\n').toStdString();
    EXPECT_EQ(registered(), 2);
    EXPECT_TRUE(jobRows(u"WC01"_s).first().startsWith(u"1|8002|端末 TESTPC / 中断: 受信の途中で"_s)) << jobRows(u"WC01"_s).join(u'\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Backends, FaultScenarioTest, ::testing::Values(Backend::Sqlite, Backend::PostgreSql),
                         [](const auto& info) { return backendName(info.param); });

// A server connection, reached directly or through ODBC.
class LostDatabaseTest : public FaultScenarioTest {};

// The server stops while the registration program runs: the program's output says in Japanese
// that the connection was lost and what comes next, without the database drivers' own warnings;
// the next start completes the job, and its data stays registered once.
TEST_P(LostDatabaseTest, AProgramThatLosesItsDatabaseSaysSoInItsOwnWords)
{
    registerWith(u"bash "_s + sourcePath(u"scripts/test-postgres.sh"_s) + u" pause \"$EDI_TEST_PG_DIR\"\nexec "_s
                 + registration() + u" \"$@\""_s);
    writeFile(path(u"handover/WC01.CII"_s), demoCii(2));
    EXPECT_EQ(runProgram({u"--run-job"_s, u"WC01"_s}), 1);
    EXPECT_TRUE(output_.contains(u"データベースへの接続が切れたため、通番 00000001 のジョブを中断しました。センター WC01 の次の受信か"
                                 u"プログラムの次の起動のときに接続し直し、このジョブを完了します"_s))
        << output_.toStdString();
    for (const QString& driverText : {u"QSql"_s, u"QODBC"_s, u"QPSQL"_s, u"not open"_s})
        EXPECT_FALSE(output_.contains(driverText)) << output_.toStdString();
    EXPECT_EQ(registered(), 2);

    ASSERT_EQ(PrivateServer::script(u"resume"_s), 0);
    registerWith(u"exec "_s + registration() + u" \"$@\""_s);
    output_.clear();
    EXPECT_EQ(runProgram({u"--run-job"_s, u"ZC01"_s}), 0) << output_.toStdString();
    db_->reconnectIfLost();
    EXPECT_TRUE(jobRows(u"WC01"_s).first().startsWith(u"1|0000|端末 TESTPC / プログラムの終了後"_s))
        << jobRows(u"WC01"_s).join(u'\n').toStdString();
    EXPECT_EQ(registered(), 4);  // the ZC01 reception's two orders
}

INSTANTIATE_TEST_SUITE_P(Servers, LostDatabaseTest, ::testing::Values(Backend::PostgreSql, Backend::OdbcPostgreSql),
                         [](const auto& info) { return backendName(info.param); });

}  // namespace
}  // namespace edi::test
