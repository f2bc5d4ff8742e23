#include "JobFixture.h"
#include "convert/ciixml/CiiXmlConverter.h"
#include "jobs/JobSequence.h"
#include "support/TestFiles.h"

#include <QFile>
#include <algorithm>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace edi::test {
namespace {

const QStringList kReceived{u"6:受信中"_s, u"6:OK"_s, u"7:変換中"_s, u"7:OK"_s, u"8:登録中"_s, u"8:OK"_s};

// Jobs of the mail centres: MX01 receives XML from orders@kansai.example.jp, MC01 CII from
// cii@chubu.example.jp, both from the workstation's Maildir.
class MailJobTest : public JobFixture {
protected:
    MailJobTest()
        : mailbox_(TestMailbox::maildir(path(u"mail/Maildir"_s)))
    {
        QFile ini(path(u"EDI.ini"_s));
        EXPECT_TRUE(ini.open(QIODevice::Append));
        ini.write("[MAPI]\nProfileName=edi\nPassword=\nStore=mail/Maildir\n");  // beside EDI.ini
    }

    TestMailbox mailbox_;
};

TEST_P(MailJobTest, AnXmlCentreConvertsAndRegistersThePartnersAttachment)
{
    writeFile(path(u"partner/MX01.CII"_s), demoCii(3));
    ConversionContext context;
    ConversionLog log(path(u"ERR.LOG"_s));
    ASSERT_TRUE(convertCiiXml(job_->masters(), context, log, 0, path(u"partner/MX01.CII"_s), path(u"partner/MX01.XML"_s))
                    .succeeded());
    const QString mail = mailbox_.deliver(mailMessage(
        "orders@kansai.example.jp", {textPart("orders attached"), base64Part(readFile(path(u"partner/MX01.XML"_s)), "filename=\"MX01.XML\"")}));

    ASSERT_EQ(run(u"MX01"_s), RowState::Finished) << mailProgress_.events.join(u'\n').toStdString();
    EXPECT_EQ(observer_.texts, kReceived);
    EXPECT_EQ(history(), (QStringList{
                             u"1|0|R|1|01|MX01|done|K0002| |0101|3|3| |0000|0000|received/00000001_RCV_MX01________0101.LOC"_s,
                             u"1|1|R|1|10|MX01|done| | | |0|0| |0000|0000| "_s,
                             u"1|2|R|1|34|MX01|done| |DEMO0101|0101|0|0|M|0000|0000|received/00000001_RCV_MX01________.XML"_s,
                             u"1|3|R|1|31|MX01|done| |DEMO0101|0101|3|3|M|0000|0000|received/00000001_RCV_MX01________.CII"_s,
                             u"1|4|R|1|41|MX01|done|K0002| |0101|3|3| |0000|0000|received/00000001_RCV_MX01________0101.LOC"_s,
                         }));
    EXPECT_EQ(readFile(path(u"received/00000001_RCV_MX01________.XML"_s)), readFile(path(u"partner/MX01.XML"_s)));
    EXPECT_EQ(files(u"backup"_s), files(u"received"_s));
    EXPECT_TRUE(mailbox_.isRead(mail));
    EXPECT_EQ(mailProgress_.events.last(2), (QStringList{u"ログオフ"_s, u"finished"_s}));
}

TEST_P(MailJobTest, ACiiCentreTakesOnlyItsOwnPartnersMail)
{
    const QString forKansai = mailbox_.deliver(mailMessage("orders@kansai.example.jp", {base64Part("NOT CII")}));
    const QString mail = mailbox_.deliver(mailMessage("cii@chubu.example.jp", {base64Part(demoCii(2), "filename=\"MC01.CII\"")}));

    ASSERT_EQ(run(u"MC01"_s), RowState::Finished) << mailProgress_.events.join(u'\n').toStdString();
    EXPECT_EQ(observer_.texts, kReceived);
    EXPECT_EQ(history().mid(1), (QStringList{
                                    u"1|1|R|1|10|MC01|done| | | |0|0| |0000|0000| "_s,
                                    u"1|2|R|1|31|MC01|done| | | |2|2| |0000|0000|received/00000001_RCV_MC01________.CII"_s,
                                    u"1|3|R|1|41|MC01|done|K0003| |0101|2|2| |0000|0000|received/00000001_RCV_MC01________0101.LOC"_s,
                                }));
    EXPECT_EQ(readFile(path(u"received/00000001_RCV_MC01________.CII"_s)), demoCii(2));
    EXPECT_TRUE(mailbox_.isRead(mail));
    EXPECT_FALSE(mailbox_.isRead(forKansai));

    // Nothing new from the partner: the reception ends without data, which is no failure.
    run(u"MC01"_s);
    EXPECT_EQ(history().value(5), u"2|1|R|1|10|MC01|done| | | |0|0| |0000|0100| "_s) << history().join(u'\n').toStdString();
    EXPECT_EQ(notes().value(5), u"2|1|受信データなし: cii@chubu.example.jp 宛の未読メールはありません"_s);
}

TEST_P(MailJobTest, AMailErrorFailsTheReceptionStep)
{
    const QString bare = mailbox_.deliver(mailMessage("cii@chubu.example.jp", {}));
    ASSERT_EQ(run(u"MC01"_s), RowState::Failed);
    EXPECT_EQ(observer_.texts, (QStringList{u"6:受信中"_s, u"6:受信ｴﾗｰ"_s}));
    EXPECT_EQ(history().last(), u"1|1|R|1|10|MC01|done| | | |0|0| |5100|9999| "_s);
    EXPECT_TRUE(mailProgress_.events.value(7).startsWith(u"error: Error 204: "_s));
    EXPECT_TRUE(files(u"received"_s).isEmpty());
    EXPECT_FALSE(mailbox_.isRead(bare));
}

// Hears what a job tells and cuts the line to the mail server once the reception has taken its
// message: before the message is marked read.
struct LineCuttingObserver final : JobObserver {
    explicit LineCuttingObserver(CuttableRelay& relay) : relay_(relay) {}
    void statusText(StatusColumn, const QString&) override {}
    void rowState(RowState) override {}
    void note(const QString& text) override
    {
        notes << text;
        if (text.startsWith(u"メールの添付ファイルを "_s))
            relay_.cut();
    }
    void report(const QStringList& lines) override { reported = lines; }
    QStringList notes;
    QStringList reported;

private:
    CuttableRelay& relay_;
};

TEST_P(MailJobTest, AMailTheServerCouldNotMarkReadIsNotReceivedAgain)
{
    const std::optional<ImapServer> server = testImapServer();
    ASSERT_TRUE(server) << "the test IMAP server is not running; run the tests through ctest";
    TestMailbox folder = TestMailbox::imapFolder(*server, u"J%1x%2"_s.arg(::getpid()).arg(int(GetParam())));
    CuttableRelay relay(server->port);
    const QString store = u"imap://127.0.0.1:%1/"_s.arg(relay.port()) + folder.store().section(u'/', 3);
    writeFile(path(u"EDI.ini"_s), readFile(path(u"EDI.ini"_s))
                                      .replace("Password=\nStore=mail/Maildir\n", (u"Password=secret\nStore="_s + store + u"\nCAFILE="_s
                                                                                  + server->caFile + u'\n').toUtf8()));
    const QString mail = folder.deliver(mailMessage("cii@chubu.example.jp", {base64Part(demoCii(2), "filename=\"MC01.CII\"")}));

    LineCuttingObserver cutting(relay);
    ASSERT_EQ(runScheduledJob(*job_, u"MC01"_s, cutting), RowState::Finished) << cutting.notes.join(u'\n').toStdString();
    EXPECT_EQ(history().first(), u"1|0|R|1|01|MC01|done|K0003| |0101|2|2| |0000|0000|received/00000001_RCV_MC01________0101.LOC"_s);
    // The job tells it, and its history keeps it: the data is in, the mail is still unread.
    const QString told = u"受信済みのメールを既読にできません。次の受信の前に既読にします: Error 103: "_s;
    EXPECT_TRUE(notes().value(1).startsWith(u"1|1|メールの添付ファイルを "_s) && notes().value(1).contains(u" / "_s + told))
        << notes().join(u'\n').toStdString();
    EXPECT_TRUE(cutting.reported.join(u'\n').contains(u"受信: メールの添付ファイルを "_s)
                && cutting.reported.join(u'\n').contains(told))
        << cutting.reported.join(u'\n').toStdString();
    EXPECT_FALSE(folder.isRead(mail));

    // The server back and the program started again, the next reception marks the mail read
    // before it searches: nothing to receive, nothing registered twice.
    relay.restore();
    rebuildJobContext();
    run(u"MC01"_s);
    EXPECT_TRUE(folder.isRead(mail));
    const QStringList rows = history();
    EXPECT_EQ(rows.value(5), u"2|1|R|1|10|MC01|done| | | |0|0| |0000|0100| "_s) << rows.join(u'\n').toStdString();
    EXPECT_EQ(std::count_if(rows.begin(), rows.end(), [](const QString& row) { return row.contains(u"|41|"_s); }), 1);
}

INSTANTIATE_TEST_SUITE_P(Backends, MailJobTest, ::testing::Values(Backend::Sqlite, Backend::PostgreSql),
                         [](const auto& info) { return backendName(info.param); });

}  // namespace
}  // namespace edi::test
