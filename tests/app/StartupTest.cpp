#include "app/AppState.h"
#include "app/Clock.h"
#include "app/MessageSink.h"
#include "app/Startup.h"
#include "app/StateReport.h"
#include "app/config/IniFile.h"
#include "jobs/History.h"
#include "jobs/HistoryIndexes.h"
#include "support/TestDatabase.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

using test::Backend;
using test::TestDatabase;

struct RecordingSink final : MessageSink {
    void showMessage(const QString& text, const QString& detail) override
    {
        messages << text;
        details << detail;
    }
    QStringList messages;
    QStringList details;
};

const QByteArray kProgramSections = "[Setting0]\nLabelBackColor=&H00FFF8F0\nLabelForeColor=0\nTextBackColor=16777215\n"
                                    "TextFocusColor=&H00C0FFFF\nTextForeColor=0\nTitleBackColor=&H00804000\n"
                                    "TitleForeColor=&H00FFFFFF\n[LINKDRV]\nMINIMAIZE=1\nDEMOMODE=0\n"
                                    "[PATH]\nEDIINFIL=/edi/in/\n[COLOR]\n通常=0\nエラー=255abc\n";

class StartupTest : public ::testing::Test {
protected:
    explicit StartupTest(Backend backend = Backend::Sqlite) : database_(backend) {}

    void SetUp() override { database_.createTables(); }

    // EDI.ini in the test folder, the program two folders below it.
    void writeIni(const QByteArray& text) const { test::writeFile(iniPath(), text); }
    QString iniPath() const { return database_.folder() + u"/EDI.ini"_s; }
    QString programFolder() const { return database_.folder() + u"/pgm/exe"_s; }

    bool start(const QString& configPath = {}, const QString& operatorArgument = u"  OP01 "_s)
    {
        StartupRequest request{programFolder(), configPath, operatorArgument, &clock_, [] { return u"TESTPC"_s; }};
        return runStartup(state_, request, sink_);
    }
    // Another program's start on the same configuration: a scheduler or not, with a machine name.
    bool startAnother(AppState& state, bool scheduler, const QString& machine = u"TESTPC"_s)
    {
        StartupRequest request{programFolder(), iniPath(), {}, &clock_, [machine] { return machine; }, scheduler};
        return runStartup(state, request, sink_);
    }

    TestDatabase database_;
    ManualClock clock_{QDateTime(QDate(2026, 12, 9), QTime(10, 30, 20))};
    AppState state_;
    RecordingSink sink_;
};

TEST_F(StartupTest, FillsTheApplicationState)
{
    writeIni(database_.environmentSection() + kProgramSections);
    ASSERT_TRUE(start()) << sink_.details.join(u'\n').toStdString();
    EXPECT_TRUE(sink_.messages.isEmpty());
    EXPECT_EQ(state_.programId, u"EDIAUTO"_s);
    EXPECT_EQ(state_.machineName, u"TESTPC"_s);
    EXPECT_EQ(state_.operatorCode, u"OP01"_s);
    EXPECT_EQ(state_.operatorName, QString());
    EXPECT_EQ(state_.configPath, iniPath());
    EXPECT_EQ(state_.baseFolder, database_.folder());
    EXPECT_EQ(state_.environment.dbString, u"edi.sqlite"_s.leftJustified(50));
    EXPECT_EQ(state_.connectionString, u"DSN=edi.sqlite;UID=;PWD=;"_s);
    EXPECT_EQ(state_.runState, RunState::Waiting);
    EXPECT_EQ(state_.settings.paths.receivedFolder, u"/edi/in/"_s);
    EXPECT_EQ(state_.statusColours.error.value, 255u);
    EXPECT_EQ(state_.clock, &clock_);
    ASSERT_TRUE(state_.database);
    EXPECT_TRUE(state_.database->query({u"SELECT * FROM 区分マスタ"_s, {}}).atEnd());
}

TEST_F(StartupTest, TheStateReportNeverShowsThePassword)
{
    writeIni(database_.environmentSection().replace("USERID=\n", "USERID=edi\n").replace("PASSWD=\n", "PASSWD=top;secret\n")
             + kProgramSections);
    ASSERT_TRUE(start()) << sink_.details.join(u'\n').toStdString();
    EXPECT_EQ(state_.connectionString, u"DSN=edi.sqlite;UID=edi;PWD=top;secret;"_s);
    const QString report = stateReport(state_).join(u'\n');
    EXPECT_TRUE(report.contains(u"UID=edi;PWD=****;"_s)) << report.toStdString();
    EXPECT_FALSE(report.contains(u"secret"_s));
}

TEST_F(StartupTest, WithoutAnOperatorTheCodeIsEmpty)
{
    writeIni(database_.environmentSection() + kProgramSections);
    ASSERT_TRUE(start({}, {}));
    EXPECT_EQ(state_.operatorCode, QString());
}

TEST_F(StartupTest, AnIniNamedOnTheCommandLineWins)
{
    const QString elsewhere = database_.folder() + u"/conf/site.ini"_s;
    test::writeFile(elsewhere, database_.environmentSection() + kProgramSections);
    QDir().mkpath(database_.folder() + u"/conf"_s);
    // The SQLite file is relative to the folder of the file that names it.
    QFile::copy(database_.folder() + u"/edi.sqlite"_s, database_.folder() + u"/conf/edi.sqlite"_s);
    ASSERT_TRUE(start(elsewhere));
    EXPECT_EQ(state_.baseFolder, database_.folder() + u"/conf"_s);
}

TEST_F(StartupTest, ProgramTooHighUpCannotFindItsIni)
{
    StartupRequest request{u"/exe"_s, {}, {}, &clock_, [] { return u"TESTPC"_s; }};
    EXPECT_FALSE(runStartup(state_, request, sink_));
    EXPECT_EQ(sink_.messages, QStringList{u"INIﾌｧｲﾙ読込エラー"_s});
}

TEST_F(StartupTest, MissingOrUnreadableIniEndsInAConnectionErrorThatSaysWhy)
{
    EXPECT_FALSE(start());
    EXPECT_EQ(sink_.messages, QStringList{u"接続エラー"_s});
    EXPECT_TRUE(sink_.details.first().contains(u"does not exist"_s)) << sink_.details.first().toStdString();

    sink_.messages.clear();
    sink_.details.clear();
    writeIni(database_.environmentSection() + kProgramSections + QByteArray(IniFile::kMaxFileBytes, '\n'));
    EXPECT_FALSE(start());
    EXPECT_EQ(sink_.messages, QStringList{u"接続エラー"_s});
    EXPECT_TRUE(sink_.details.first().contains(u"is larger than"_s)) << sink_.details.first().toStdString();
}

TEST_F(StartupTest, UnreachableDatabasesEndInAConnectionError)
{
    for (const QByteArray& environment : {QByteArray("[動作環境]\nDBSTRING=NoSuchDataSource\n"),
                                          QByteArray("[動作環境]\nDBDRIVER=SQLITE\nDBSTRING=missing.sqlite\n"),
                                          QByteArray("[動作環境]\nDBDRIVER=PSQL\nDBSTRING=host=127.0.0.1 port=1\n"),
                                          QByteArray("[動作環境]\nDBDRIVER=ORACLE\nDBSTRING=x\n")}) {
        sink_.messages.clear();
        writeIni(environment + kProgramSections);
        EXPECT_FALSE(start()) << environment.constData();
        EXPECT_EQ(sink_.messages, QStringList{u"接続エラー"_s});
    }
}

TEST_F(StartupTest, ASixtyCharacterDbStringIsCutToFifty)
{
    // The first 50 characters name the real file; the rest would make the name wrong.
    const QString name = u"edi.sqlite"_s;
    QFile::rename(database_.folder() + u"/edi.sqlite"_s, database_.folder() + u"/"_s + QString(40, u'd') + name);
    writeIni(u"[動作環境]\nDBDRIVER=SQLITE\nDBSTRING="_s.toUtf8() + QString(40, u'd').toUtf8() + name.toUtf8()
             + "0123456789\n" + kProgramSections);
    ASSERT_TRUE(start());
    EXPECT_EQ(state_.environment.dbString.size(), 50);
}

TEST_F(StartupTest, BadNumberSettingsEndInAnIniError)
{
    writeIni(database_.environmentSection() + QByteArray(kProgramSections).replace("MINIMAIZE=1", "MINIMAIZE="));
    EXPECT_FALSE(start());
    EXPECT_EQ(sink_.messages, QStringList{u"INIﾌｧｲﾙ読込エラー"_s});
    EXPECT_TRUE(sink_.details.first().contains(u"MINIMAIZE"_s));
}

class StartupOnServerTest : public StartupTest, public ::testing::WithParamInterface<Backend> {
protected:
    StartupOnServerTest() : StartupTest(GetParam()) {}
};

TEST_P(StartupOnServerTest, ConnectsThroughTheIniSettings)
{
    writeIni(database_.environmentSection() + kProgramSections);
    ASSERT_TRUE(start()) << sink_.details.join(u'\n').toStdString();
    EXPECT_EQ(state_.database->kind(), database_.settings().kind);
    EXPECT_TRUE(state_.database->query({u"SELECT * FROM FL1903EDI制御マスタ"_s, {}}).atEnd());
}

TEST_P(StartupOnServerTest, OneSchedulerPerMachineName)
{
    writeIni(database_.environmentSection() + kProgramSections);
    auto first = std::make_unique<AppState>();
    ASSERT_TRUE(startAnother(*first, true)) << sink_.details.join(u'\n').toStdString();
    AppState second;
    EXPECT_FALSE(startAnother(second, true));
    EXPECT_EQ(sink_.messages, QStringList{u"スケジューラ二重起動エラー"_s});
    EXPECT_TRUE(sink_.details.first().contains(u"TESTPC"_s));

    // One reception or a re-run beside it, and another workstation's scheduler, may start.
    AppState oneJob;
    EXPECT_TRUE(startAnother(oneJob, false));
    AppState otherMachine;
    EXPECT_TRUE(startAnother(otherMachine, true, u"OTHERPC"_s));

    first.reset();  // the first scheduler ends: the machine name is free again
    AppState again;
    EXPECT_TRUE(startAnother(again, true));
}

INSTANTIATE_TEST_SUITE_P(Backends, StartupOnServerTest,
                         ::testing::Values(Backend::Sqlite, Backend::PostgreSql, Backend::OdbcPostgreSql),
                         [](const auto& info) { return test::backendName(info.param); });

// The program itself, as the README's command runs it.
class ProgramTest : public StartupTest {
protected:
    struct Run {
        int exitCode;
        QString out, err;
    };
    Run run(const QStringList& arguments, const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) const
    {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(test::buildPath(u"src/edi-auto"_s), arguments);
        process.waitForFinished(60000);
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }
};

TEST_F(ProgramTest, RunsHeadlessUntilItIsToldToEnd)
{
    database_.loadDemoData(systemMachineName());
    writeIni(database_.environmentSection() + kProgramSections);
    // A database made before the history's indexes: the first scheduler to start makes them.
    for (const HistoryIndex& index : historyIndexes())
        database_.open()->execute({u"DROP INDEX "_s + index.name, {}});
    // Started, then SIGTERM as soon as it has said what it runs: the program ends when no job runs.
    auto runUntilStarted = [&](const QStringList& more) {
        QProcess process;
        process.start(test::buildPath(u"src/edi-auto"_s), QStringList{u"--headless"_s, u"--ini"_s, iniPath(), u"OP01"_s} + more);
        QString err;
        for (int waited = 0; waited < 600 && !err.contains(u"SCHMON01 開始"_s); ++waited) {
            process.waitForReadyRead(100);
            err += QString::fromUtf8(process.readAllStandardError());
        }
        process.terminate();
        EXPECT_TRUE(process.waitForFinished(10000));
        err += QString::fromUtf8(process.readAllStandardError());
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0);
        EXPECT_TRUE(err.contains(u"SCHMON01 終了"_s)) << err.toStdString();
        return err;
    };
    // By default a summary: the machine, the database, the rows and the next reception.
    const QString summary = runUntilStarted({});
    EXPECT_TRUE(summary.contains(QRegularExpression(u"SCHMON01 開始 端末 \\S+ データベース SQLite .*edi.sqlite スケジュール \\d+ 件 次の受信 \\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d "_s)))
        << summary.toStdString();
    EXPECT_FALSE(summary.contains(u"SCHMON01 1 "_s)) << summary.toStdString();  // no timetable dump
    EXPECT_FALSE(summary.contains(u"プログラムID"_s));                             // nor the settings
    for (const HistoryIndex& index : historyIndexes())
        EXPECT_TRUE(summary.contains(u"SCHMON01 処理履歴に索引 %1 を作りました"_s.arg(index.name))) << summary.toStdString();

    // The verbose log: the settings and every row of the timetable too.
    const QString verbose = runUntilStarted({u"--verbose"_s});
    EXPECT_TRUE(verbose.contains(u"プログラムID: EDIAUTO"_s)) << verbose.toStdString();
    EXPECT_TRUE(verbose.contains(u"オペレータコード: OP01"_s));
    EXPECT_TRUE(verbose.contains(u"SCHMON01 1 ○ "_s));   // the timetable's first row
    EXPECT_FALSE(verbose.contains(u"ZC02"_s));            // another workstation's centre
    EXPECT_FALSE(verbose.contains(u"索引"_s));            // made once
}

// The service manager's side of a notify service: a datagram socket that NOTIFY_SOCKET names.
class NotifySocket {
public:
    explicit NotifySocket(const QString& path) : path_(QFile::encodeName(path))
    {
        socket_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path_.constData(), sizeof(address.sun_path) - 1);
        bound_ = ::bind(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    }
    ~NotifySocket() { ::close(socket_); }
    bool bound() const { return bound_; }
    // The next message, or nothing after the wait.
    QString next(int milliseconds)
    {
        pollfd ready{socket_, POLLIN, 0};
        if (::poll(&ready, 1, milliseconds) != 1)
            return {};
        char buffer[4096];
        const ssize_t size = ::recv(socket_, buffer, sizeof(buffer), 0);
        return size > 0 ? QString::fromUtf8(buffer, size) : QString();
    }

private:
    QByteArray path_;
    int socket_ = -1;
    bool bound_ = false;
};

TEST_F(ProgramTest, TellsTheServiceManagerWhenItIsReadyAndWhenItStops)
{
    database_.loadDemoData(systemMachineName());
    writeIni(database_.environmentSection() + kProgramSections);
    NotifySocket manager(database_.folder() + u"/notify"_s);
    ASSERT_TRUE(manager.bound());
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"NOTIFY_SOCKET"_s, database_.folder() + u"/notify"_s);
    process.setProcessEnvironment(environment);
    process.start(test::buildPath(u"src/edi-auto"_s), {u"--headless"_s, u"--ini"_s, iniPath()});
    const QString ready = manager.next(20000);
    EXPECT_TRUE(ready.startsWith(u"READY=1\nSTATUS=開始 端末 "_s)) << ready.toStdString();
    // The timer tells the watchdog that it ticks.
    EXPECT_EQ(manager.next(2000), u"WATCHDOG=1"_s);
    process.terminate();
    QString message;
    do
        message = manager.next(10000);
    while (message == u"WATCHDOG=1"_s);
    EXPECT_EQ(message, u"STOPPING=1"_s);
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitCode(), 0);
}

TEST_F(ProgramTest, ASecondSchedulerOfTheMachineRefusesToStart)
{
    database_.loadDemoData(systemMachineName());
    writeIni(database_.environmentSection() + kProgramSections);
    QProcess first;
    first.start(test::buildPath(u"src/edi-auto"_s), {u"--headless"_s, u"--ini"_s, iniPath()});
    QString err;
    for (int waited = 0; waited < 600 && !err.contains(u"SCHMON01 開始"_s); ++waited) {
        first.waitForReadyRead(100);
        err += QString::fromUtf8(first.readAllStandardError());
    }
    const Run second = run({u"--headless"_s, u"--ini"_s, iniPath()});
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_TRUE(second.err.contains(u"スケジューラ二重起動エラー"_s)) << second.err.toStdString();
    first.terminate();
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_EQ(first.exitCode(), 0);
}

// A service installed before its masters: without a reception of its own the scheduler warns and
// waits; SIGHUP (systemctl reload) takes the masters that came meanwhile. Its heartbeat tells
// "edi-auto status" that it lives, and that it ended. A schedule that cannot be read stays fatal.
TEST_F(ProgramTest, WithoutAScheduleItWaitsAndTakesOneOnReload)
{
    database_.loadDemoData(u"ANOTHER-PC"_s);
    writeIni(database_.environmentSection() + kProgramSections);
    QProcess process;
    process.start(test::buildPath(u"src/edi-auto"_s), {u"--headless"_s, u"--ini"_s, iniPath()});
    QString err;
    auto waitFor = [&](const QString& text) {
        for (int waited = 0; waited < 600 && !err.contains(text); ++waited) {
            process.waitForReadyRead(100);
            err += QString::fromUtf8(process.readAllStandardError());
        }
        return err.contains(text);
    };
    ASSERT_TRUE(waitFor(u"スケジュール 0 件"_s)) << err.toStdString();
    EXPECT_TRUE(waitFor(u"の受信がスケジュールマスタにありません"_s)) << err.toStdString();
    EXPECT_EQ(process.state(), QProcess::Running);

    const Run alive = run({u"status"_s, u"--ini"_s, iniPath(), u"--format"_s, u"json"_s});
    EXPECT_TRUE(alive.out.contains(u"\"machine\": \""_s + systemMachineName() + u'"')) << alive.out.toStdString();
    EXPECT_TRUE(alive.out.contains(u"\"state\": \"alive\""_s)) << alive.out.toStdString();

    database_.open()->execute(
        {u"UPDATE FL1903EDI制御マスタ SET 実行端末名 = ? WHERE 実行端末名 = ?"_s, {systemMachineName(), u"ANOTHER-PC"_s}});
    ::kill(pid_t(process.processId()), SIGHUP);
    EXPECT_TRUE(waitFor(u"スケジュール再作成 (SIGHUP) スケジュール "_s)) << err.toStdString();
    EXPECT_FALSE(err.contains(u"スケジュール再作成 (SIGHUP) スケジュール 0 件"_s)) << err.toStdString();

    process.terminate();
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitCode(), 0);
    const Run ended = run({u"status"_s, u"--ini"_s, iniPath()});
    EXPECT_EQ(ended.exitCode, 1);  // a scheduler that ended is one to look at
    EXPECT_TRUE(ended.out.contains(QRegularExpression(u"(^|\\n)"_s + systemMachineName() + u" +停止 "_s)))
        << ended.out.toStdString();

    database_.open()->execute({u"DROP TABLE FL1912EDIスケジュールマスタ"_s, {}});
    const Run withoutTables = run({u"--headless"_s, u"--ini"_s, iniPath()});
    EXPECT_EQ(withoutTables.exitCode, 1);
    EXPECT_TRUE(withoutTables.err.contains(u"該当するデータがありませんでした"_s));
}

TEST_F(ProgramTest, StartupFailuresAndUsageErrorsExitNonZero)
{
    const Run missing = run({u"--headless"_s, u"--ini"_s, database_.folder() + u"/none.ini"_s});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains(u"SCHMON01 接続エラー"_s)) << missing.err.toStdString();
    EXPECT_EQ(run({u"--bogus"_s}).exitCode, 2);
    EXPECT_EQ(run({u"--ini"_s}).exitCode, 2);
}

TEST_F(ProgramTest, TheHistoryCommandListsAJobsStepsOrSaysNothingMatched)
{
    database_.loadDemoData(systemMachineName());
    writeIni(database_.environmentSection() + kProgramSections);
    {
        const std::unique_ptr<Database> db = database_.open();
        ManualClock clock(QDateTime(QDate(2026, 12, 7), QTime(9, 15)));
        History history(*db, clock);
        HistoryStart start{0, 0, u"R"_s, u"1"_s, u"01"_s, u"WC01"_s, {}};
        ASSERT_EQ(history.openJob(start), u"0000"_s);
        HistoryCompletion done;
        done.serial = start.serial;
        done.endCode = u"5100"_s;
        ASSERT_EQ(history.closeRow(done), u"0000"_s);
    }
    const Run csv = run({u"history"_s, u"--ini"_s, iniPath(), u"--date"_s, u"2026-12-07"_s, u"--format"_s, u"csv"_s});
    EXPECT_EQ(csv.exitCode, 0) << csv.err.toStdString();
    EXPECT_TRUE(csv.out.startsWith(u"serial,branch,step,"_s)) << csv.out.toStdString();
    EXPECT_TRUE(csv.out.contains(u"\r\n1,0,ジョブ,WC01,2026-12-07 09:15:00,"_s)) << csv.out.toStdString();
    EXPECT_TRUE(csv.out.contains(u"メール・持込の受信エラー"_s));

    const Run table = run({u"history"_s, u"--ini"_s, iniPath(), u"--from"_s, u"2026-12-01"_s, u"--to"_s, u"2026-12-08"_s,
                           u"--failed"_s, u"--centre"_s, u"WC01"_s});
    EXPECT_EQ(table.exitCode, 0) << table.err.toStdString();
    EXPECT_TRUE(table.out.startsWith(u"通番"_s)) << table.out.toStdString();

    const Run none = run({u"history"_s, u"--ini"_s, iniPath(), u"--date"_s, u"2026-12-06"_s});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_TRUE(none.out.isEmpty());
    EXPECT_EQ(none.err, u"該当する履歴がありません\n"_s);
    EXPECT_EQ(run({u"history"_s, u"--ini"_s, iniPath(), u"--format"_s, u"xml"_s}).exitCode, 2);
    EXPECT_EQ(run({u"history"_s, u"--date"_s, u"2026-13-01"_s}).exitCode, 2);
    EXPECT_EQ(run({u"history"_s, u"--ini"_s, database_.folder() + u"/none.ini"_s}).exitCode, 1);
    const Run help = run({u"history"_s, u"--help"_s});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith(u"Usage: edi-auto history"_s));
}

TEST_F(ProgramTest, CommandLineConventions)
{
    for (const QString& help : {u"--help"_s, u"-h"_s}) {
        const Run shown = run({help});
        EXPECT_EQ(shown.exitCode, 0);
        EXPECT_TRUE(shown.out.startsWith(u"Usage: edi-auto"_s)) << shown.out.toStdString();
    }
    const Run version = run({u"--version"_s});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out.startsWith(u"edi-auto "_s));

    // EDI_INI names the configuration when --ini does not; --ini wins over it.
    database_.loadDemoData(systemMachineName());
    writeIni(database_.environmentSection() + kProgramSections);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"EDI_INI"_s, iniPath());
    const Run unknown = run({u"--run-job"_s, u"NOPE"_s}, environment);
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.err.contains(u"センター NOPE は EDI制御マスタにありません"_s)) << unknown.err.toStdString();
    EXPECT_EQ(run({u"--run-job"_s, u"NOPE"_s, u"--ini"_s, database_.folder() + u"/none.ini"_s}, environment).exitCode, 1);
    // Nothing was run for the unknown centre: the history has no row.
    EXPECT_TRUE(database_.open()->query({u"SELECT * FROM FL1102処理履歴ファイル"_s, {}}).atEnd());
}

}  // namespace
}  // namespace edi
