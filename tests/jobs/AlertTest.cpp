#include "JobFixture.h"
#include "jobs/Alerts.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

using namespace Qt::Literals::StringLiterals;

namespace edi::test {
namespace {

HistoryRow row(qint16 branch, const QString& kind, const QString& endCode, const QString& note = {})
{
    HistoryRow made;
    made.branch = branch;
    made.processingKind = kind;
    made.centreCode = u"WC01"_s;
    made.completed = true;
    made.endCode = endCode;
    made.detailCode = u"0000"_s;
    made.note = note;
    return made;
}

TEST(AlertDecision, FailedAndInterruptedJobsAlertEmptyReceptionsOnlyWhereListed)
{
    AlertSettings settings;
    settings.command = u"true"_s;
    const std::vector<HistoryRow> finished{row(0, u"01"_s, u"0000"_s), row(1, u"10"_s, u"0000"_s)};
    EXPECT_FALSE(alertFor(1, finished, settings));

    std::vector<HistoryRow> registrationFailed{row(0, u"01"_s, u"9999"_s), row(1, u"10"_s, u"0000"_s),
                                               row(2, u"31"_s, u"0000"_s), row(3, u"41"_s, u"9999"_s)};
    registrationFailed[3].detailCode = u"0001"_s;
    const std::optional<Alert> failed = alertFor(7, registrationFailed, settings);
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->centreCode, u"WC01"_s);
    EXPECT_EQ(failed->serial, 7);
    EXPECT_EQ(failed->step, u"登録"_s);
    EXPECT_EQ(failed->code, u"9999"_s);
    EXPECT_EQ(failed->detail, u"0001"_s);
    EXPECT_TRUE(failed->message.startsWith(u"通番 00000007 WC01 異常終了 9999"_s)) << failed->message.toStdString();

    EXPECT_TRUE(alertFor(2, {row(0, u"01"_s, u"8002"_s), row(1, u"10"_s, u"8002"_s)}, settings));  // interrupted
    std::vector<HistoryRow> backupFailed = finished;
    backupFailed[0].detailCode = u"8003"_s;
    EXPECT_EQ(alertFor(3, backupFailed, settings)->step, u"ジョブ"_s);
    EXPECT_FALSE(alertFor(4, {row(0, u"01"_s, u"8001"_s), row(1, u"10"_s, u"8001"_s)}, settings));  // centre busy
    std::vector<HistoryRow> running = finished;
    running[0].completed = false;
    EXPECT_FALSE(alertFor(5, running, settings));

    // Nothing received: routine unless the centre is listed, then an alert whatever the outcome.
    const std::vector<HistoryRow> empty{row(0, u"01"_s, u"5100"_s),
                                        row(1, u"10"_s, u"5100"_s, u"受信データなし: 持込ファイル /in/WC01.CII がありません"_s)};
    EXPECT_FALSE(alertFor(6, empty, settings));
    settings.noDataCentres = {u"ZC01"_s, u"WC01"_s};
    const std::optional<Alert> listed = alertFor(6, empty, settings);
    ASSERT_TRUE(listed);
    EXPECT_EQ(listed->step, u"受信"_s);
    EXPECT_EQ(listed->code, u"5100"_s);
    EXPECT_TRUE(listed->message.contains(u"受信データなし"_s));
}

// A reception that ends well without data, found nothing or a file still being written, is no
// failure: it alerts only for a centre listed under NODATA.
TEST(AlertDecision, ReceptionsThatBroughtNothingAlertOnlyWhereListed)
{
    auto endedWell = [](const QString& detail, const QString& note) {
        std::vector<HistoryRow> rows{row(0, u"01"_s, u"0000"_s), row(1, u"10"_s, u"0000"_s, note)};
        rows[0].detailCode = rows[1].detailCode = detail;
        return rows;
    };
    const auto noData = endedWell(u"0100"_s, u"受信データなし: 持込ファイル /in/WC01.CII がありません"_s);
    const auto notSettled = endedWell(u"0101"_s, u"書込み中のため受信せず: 持込ファイル /in/WC01.CII は 5 秒以内に変わっています"_s);
    AlertSettings settings;
    settings.command = u"true"_s;
    EXPECT_FALSE(alertFor(8, noData, settings));
    EXPECT_FALSE(alertFor(9, notSettled, settings));

    settings.noDataCentres = {u"WC01"_s};
    EXPECT_TRUE(alertFor(8, noData, settings));
    const std::optional<Alert> waiting = alertFor(9, notSettled, settings);
    ASSERT_TRUE(waiting);
    EXPECT_EQ(waiting->step, u"受信"_s);
    EXPECT_EQ(waiting->code, u"0000"_s);
    EXPECT_EQ(waiting->detail, u"0101"_s);
    EXPECT_TRUE(waiting->message.startsWith(u"通番 00000009 WC01 正常終了 (0000/0101 書込み中のため受信せず)"_s))
        << waiting->message.toStdString();
}

// An SMTP server that keeps what it receives in a Maildir, on a free port of 127.0.0.1.
class SmtpSink {
public:
    explicit SmtpSink(const QString& maildir) : maildir_(maildir)
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        port_ = probe.serverPort();
        probe.close();
        server_.start(u"/usr/bin/python3"_s, {u"-m"_s, u"aiosmtpd"_s, u"-n"_s, u"-l"_s, u"127.0.0.1:%1"_s.arg(port_), u"-c"_s,
                                              u"aiosmtpd.handlers.Mailbox"_s, maildir});
        for (int waited = 0; waited < 100 && !listening(); ++waited)
            QThread::msleep(100);
    }
    ~SmtpSink()
    {
        server_.terminate();
        server_.waitForFinished(5000);
    }
    bool listening() const
    {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port_);
        return socket.waitForConnected(200);
    }
    QString url() const { return u"smtp://127.0.0.1:%1"_s.arg(port_); }
    QStringList messages() const
    {
        QStringList texts;
        const QDir received(maildir_ + u"/new"_s);
        for (const QString& name : received.entryList(QDir::Files))
            texts << QString::fromUtf8(readFile(received.filePath(name)));
        return texts;
    }

private:
    QString maildir_;
    quint16 port_ = 0;
    QProcess server_;
};

// The subject's encoded word and the base64 body, decoded.
std::pair<QString, QString> subjectAndBody(const QString& message)
{
    QString subject;
    QByteArray body;
    bool inBody = false;
    for (QString line : message.split(u'\n')) {
        line.remove(u'\r');
        if (inBody)
            body += line.toLatin1();
        else if (line.isEmpty())
            inBody = true;
        else if (line.startsWith(u"Subject: =?UTF-8?B?"_s))
            subject = QString::fromUtf8(QByteArray::fromBase64(line.mid(19).chopped(2).toLatin1()));
    }
    return {subject, QString::fromUtf8(QByteArray::fromBase64(body))};
}

class AlertTest : public JobFixture {
protected:
    void writeAlertSection(const QString& keys)
    {
        writeIni(path(u"bin/edi-register"_s) + u" --in "_s + path(u"received/"_s) + u" --fail 0101"_s);
        QFile ini(path(u"EDI.ini"_s));
        ASSERT_TRUE(ini.open(QIODevice::Append));
        ini.write((u"[ALERT]\n"_s + keys).toUtf8());
    }
};

TEST_P(AlertTest, TheCommandHearsOfAFailedJobAndItsFailuresChangeNothing)
{
    writeAlertSection(u"COMMAND=env | grep -E '^EDI_(CENTRE|SERIAL|STEP|CODE|DETAIL|MESSAGE)=' | sort > %1\nTIMELIMIT=2\n"_s.arg(path(u"alert.txt"_s)));
    ASSERT_EQ(run(u"ZC01"_s), RowState::Failed);
    const QStringList told = QString::fromUtf8(readFile(path(u"alert.txt"_s))).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(told.size(), 6) << told.join(u'\n').toStdString();
    EXPECT_EQ(told[0], u"EDI_CENTRE=ZC01"_s);
    EXPECT_EQ(told[1], u"EDI_CODE=9999"_s);
    EXPECT_EQ(told[2], u"EDI_DETAIL=0000"_s);
    EXPECT_EQ(told[3], u"EDI_MESSAGE=通番 00000001 ZC01 異常終了 9999 処理エラー / 端末 TESTPC"_s);
    EXPECT_EQ(told[4], u"EDI_SERIAL=00000001"_s);
    EXPECT_EQ(told[5], u"EDI_STEP=登録"_s);

    // A command that outlives its limit is stopped, and one that fails is said to have failed;
    // the job's outcome and history stay what they were.
    writeAlertSection(u"COMMAND=sleep 30\nTIMELIMIT=1\n"_s);
    QElapsedTimer timer;
    timer.start();
    ASSERT_EQ(run(u"ZC01"_s), RowState::Failed);
    EXPECT_LT(timer.elapsed(), 15000);
    EXPECT_TRUE(observer_.notes.last().startsWith(u"警報コマンドが異常終了したか 1 秒で終わりませんでした"_s))
        << observer_.notes.join(u'\n').toStdString();
    writeAlertSection(u"COMMAND=exit 3\n"_s);
    ASSERT_EQ(run(u"ZC01"_s), RowState::Failed);
    EXPECT_EQ(observer_.notes.last(), u"警報コマンドが終了コード 3 で終わりました: exit 3"_s);
    EXPECT_TRUE(history().at(history().size() - 4).startsWith(u"3|0|R|1|01|ZC01|done|"_s));

    // A job that finished raises none.
    QFile::remove(path(u"alert.txt"_s));
    writeIni(path(u"bin/edi-register"_s) + u" --in "_s + path(u"received/"_s));
    QFile ini(path(u"EDI.ini"_s));
    ASSERT_TRUE(ini.open(QIODevice::Append));
    ini.write((u"[ALERT]\nCOMMAND=touch %1\n"_s.arg(path(u"alert.txt"_s))).toUtf8());
    ini.close();
    ASSERT_EQ(run(u"ZC01"_s), RowState::Finished);
    EXPECT_FALSE(QFile::exists(path(u"alert.txt"_s)));
}

TEST_P(AlertTest, AShortJapaneseMailReachesTheSmtpServer)
{
    SmtpSink sink(path(u"smtp-sink"_s));
    ASSERT_TRUE(sink.listening());
    writeAlertSection(u"MAILTO=ops@example.jp, shift@example.jp\nMAILFROM=edi@factory.example.jp\nSMTP=%1\n"_s.arg(sink.url()));
    ASSERT_EQ(run(u"ZC01"_s), RowState::Failed);
    QStringList messages;
    for (int waited = 0; waited < 50 && messages.isEmpty(); ++waited) {
        QThread::msleep(100);
        messages = sink.messages();
    }
    ASSERT_EQ(messages.size(), 1) << observer_.notes.join(u'\n').toStdString();
    EXPECT_TRUE(messages[0].contains(u"To: ops@example.jp, shift@example.jp"_s)) << messages[0].toStdString();
    EXPECT_TRUE(messages[0].contains(u"From: edi@factory.example.jp"_s));
    const auto [subject, body] = subjectAndBody(messages[0]);
    EXPECT_EQ(subject, u"EDI受信の警報: ZC01 通番 00000001 登録 9999"_s);
    EXPECT_TRUE(body.contains(u"通番 00000001 ZC01 異常終了 9999 処理エラー"_s)) << body.toStdString();
    EXPECT_TRUE(body.contains(u"登録: 9999 処理エラー 異常なステータス行"_s)) << body.toStdString();

    // A server that is not there: the job says so in a note and ends as it would have.
    writeAlertSection(u"MAILTO=ops@example.jp\nSMTP=smtp://127.0.0.1:1\nTIMELIMIT=5\n"_s);
    ASSERT_EQ(run(u"ZC01"_s), RowState::Failed);
    EXPECT_TRUE(observer_.notes.last().startsWith(u"警報メール: メールを送れません (smtp://127.0.0.1:1)"_s))
        << observer_.notes.join(u'\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Sqlite, AlertTest, ::testing::Values(Backend::Sqlite),
                         [](const auto& info) { return backendName(info.param); });

}  // namespace
}  // namespace edi::test
