#include "JobFixture.h"
#include "convert/ciixml/CiiXmlConverter.h"
#include "support/TestFiles.h"

#include <QFile>

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

INSTANTIATE_TEST_SUITE_P(Backends, MailJobTest, ::testing::Values(Backend::Sqlite, Backend::PostgreSql),
                         [](const auto& info) { return backendName(info.param); });

}  // namespace
}  // namespace edi::test
