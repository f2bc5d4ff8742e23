#include "MailFixture.h"

#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace edi::test {
namespace {

const QString kJobCii = u"00000012_RCV_ABC_________.CII"_s;
const QString kJobXml = u"00000012_RCV_ABC_________.XML"_s;

class MailReceptionTest : public MailFixture {};

TEST_P(MailReceptionTest, OnlyThePartnersUnreadMailIsTakenAndMarkedRead)
{
    const QString other = mailbox_->deliver(mailMessage("cii@chubu.example.jp", {textPart("hi"), base64Part("OTHER")}));
    const QString old = mailbox_->deliver(mailMessage(kPartner, {base64Part("READ BEFORE")}), true);
    const QString copied = mailbox_->deliver(
        mailMessage("someone@example.jp", {base64Part("CC ONLY")}, "Cc: " + kPartner + "\r\n"));
    const QString second = mailbox_->deliver(mailMessage("first@example.jp, " + kPartner, {base64Part("SECOND")}));
    // A display name in encoded words and the domain in other letter case are still the partner.
    const QString mine = mailbox_->deliver(
        mailMessage("=?ISO-2022-JP?B?GyRCPHVDbRsoQg==?= <orders@Kansai.EXAMPLE.jp>", {textPart("body"), base64Part("CII DATA\r\n")}));

    ASSERT_EQ(receive(), u"0000"_s) << progress_.events().join(u'\n').toStdString();
    EXPECT_EQ(progress_.events(), kSuccess);
    EXPECT_EQ(received(), QStringList{kJobCii});  // no temporary file is left behind
    EXPECT_EQ(readFile(path(u"received/"_s + kJobCii)), QByteArray("CII DATA\r\n"));
    EXPECT_TRUE(mailbox_->isRead(mine));
    EXPECT_TRUE(mailbox_->isRead(old));
    for (const QString& skipped : {other, copied, second})
        EXPECT_FALSE(mailbox_->isRead(skipped)) << skipped.toStdString();

    // The next reception finds nothing new: it succeeds and stores nothing.
    ASSERT_EQ(receive(u"X"_s, 13), u"0000"_s);
    EXPECT_EQ(progress_.events(), kSuccess);
    EXPECT_EQ(received(), QStringList{kJobCii});
}

TEST_P(MailReceptionTest, TheLastQualifyingMessageWinsAndTheEarlierOneWaitsForTheNextReception)
{
    const QString first = mailbox_->deliver(mailMessage(kPartner, {base64Part("<first/>")}));
    mailbox_->deliver(mailMessage("other@example.jp", {base64Part("<other/>")}));
    const QString last = mailbox_->deliver(mailMessage(kPartner, {base64Part("<last/>")}));
    writeFile(path(u"received/"_s + kJobXml), "left from before");

    ASSERT_EQ(receive(u"X"_s), u"0000"_s);
    EXPECT_EQ(readFile(path(u"received/"_s + kJobXml)), QByteArray("<last/>"));
    EXPECT_TRUE(mailbox_->isRead(last));
    EXPECT_FALSE(mailbox_->isRead(first));

    ASSERT_EQ(receive(u"Ｘ"_s, 13), u"0000"_s);
    EXPECT_EQ(readFile(path(u"received/00000013_RCV_ABC_________.XML"_s)), QByteArray("<first/>"));
    EXPECT_TRUE(mailbox_->isRead(first));
}

TEST_P(MailReceptionTest, AFailedReceptionStoresNothingAndMarksNothingRead)
{
    const QString good = mailbox_->deliver(mailMessage(kPartner, {base64Part("GOOD")}));
    const QString bare = mailbox_->deliver(
        mailMessage(kPartner, {}, "Subject: =?ISO-2022-JP?B?GyRCQ21KOBsoQg==?=\r\n"));  // 注文, and no attachment

    ASSERT_EQ(receive(), u"9999"_s);
    const QStringList events = progress_.events();
    ASSERT_EQ(events.size(), 8);
    EXPECT_EQ(events.mid(0, 6), kSuccess.mid(0, 6));
    EXPECT_TRUE(events[6].startsWith(u"error: Error 204: 添付ファイルがありません: "_s)) << events[6].toStdString();
    EXPECT_TRUE(events[6].endsWith(u"「注文」"_s)) << events[6].toStdString();
    EXPECT_EQ(events[7], u"finished"_s);
    EXPECT_TRUE(received().isEmpty());
    EXPECT_FALSE(mailbox_->isRead(good));
    EXPECT_FALSE(mailbox_->isRead(bare));
}

TEST_P(MailReceptionTest, TheAttachmentsNameNeverChoosesWhereItGoes)
{
    const QList<QByteArray> names{"filename=\"../../../escape.CII\"", "filename=\"" + QFile::encodeName(path(u"absolute.CII"_s)) + '"',
                                  "filename=\"..\\\\..\\\\windows.CII\"", "filename*=UTF-8''..%2F..%2Fencoded.CII",
                                  "filename=\"=?UTF-8?B?Li4vLi4vd29yZC5DSUk=?=\""};
    const QStringList before = QDir(path({})).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    qint32 serial = 20;
    for (const QByteArray& name : names) {
        mailbox_->deliver(mailMessage(kPartner, {base64Part("DATA " + name, name)}));
        ASSERT_EQ(receive(u"C"_s, serial), u"0000"_s) << name.toStdString();
        EXPECT_EQ(readFile(path(u"received/%1_RCV_ABC_________.CII"_s.arg(serial, 8, 10, QChar(u'0')))), "DATA " + name);
        ++serial;
    }
    EXPECT_EQ(received().size(), names.size());
    EXPECT_EQ(QDir(path({})).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
    EXPECT_FALSE(QFile::exists(QDir(path({})).filePath(u"../escape.CII"_s)));
}

TEST_P(MailReceptionTest, EncodingsAndShapesOfThePartnersMail)
{
    // Quoted-printable with an encoded-word file name, after a text body in two forms.
    const QByteArray alternative = "Content-Type: multipart/alternative; boundary=\"alt\"\r\n\r\n"
                                   "--alt\r\n" + textPart("plain") + "--alt\r\nContent-Type: text/html\r\n\r\n<p>html</p>\r\n--alt--\r\n";
    const QByteArray quotedPrintable = "Content-Type: application/xml; name=\"=?ISO-2022-JP?B?GyRCQ21KOBsoQi5YTUw=?=\"\r\n"
                                       "Content-Transfer-Encoding: quoted-printable\r\n\r\n"
                                       "<?xml version=3D\"1.0\"?><a>=E6=B3=A8=E6=96=87</a>=\r\n<b/>\r\n";
    mailbox_->deliver(mailMessage(kPartner, {alternative, quotedPrintable, base64Part("SECOND ATTACHMENT")}));
    ASSERT_EQ(receive(u"X"_s), u"0000"_s) << progress_.events().join(u'\n').toStdString();
    EXPECT_EQ(readFile(path(u"received/"_s + kJobXml)), QByteArray("<?xml version=\"1.0\"?><a>注文</a><b/>"));

    // A message that is nothing but its attachment.
    mailbox_->deliver("To: " + kPartner + "\r\nSubject: =?UTF-8?Q?=E6=B3=A8=E6=96=87?=\r\nMIME-Version: 1.0\r\n"
                      "Content-Type: application/octet-stream\r\nContent-Disposition: attachment; filename=\"A.CII\"\r\n"
                      "Content-Transfer-Encoding: base64\r\n\r\n" + QByteArray("\x01\x02\xff\xfe CII", 8).toBase64() + "\r\n");
    ASSERT_EQ(receive(u"C"_s, 13), u"0000"_s);
    EXPECT_EQ(readFile(path(u"received/00000013_RCV_ABC_________.CII"_s)), QByteArray("\x01\x02\xff\xfe CII", 8));
}

TEST_P(MailReceptionTest, ABrokenMimeStructureFailsTheReception)
{
    const QList<QByteArray> broken{
        // A multipart without its boundary.
        "To: " + kPartner + "\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed\r\n\r\n--x\r\n" + base64Part("A") + "--x--\r\n",
        // Two content types: which one holds is anybody's guess.
        "To: " + kPartner + "\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\nContent-Type: text/plain\r\n\r\n--b\r\n"
            + base64Part("A") + "--b--\r\n",
        // Cut off in the middle of the attachment: the closing boundary never comes.
        "To: " + kPartner + "\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n"
            + base64Part(QByteArray(3000, 'Z')).left(900),
        // Multiparts nested deeper than any mail program writes.
        "To: " + kPartner + "\r\nMIME-Version: 1.0\r\n" + [] {
            QByteArray nested = base64Part("DEEP");
            for (int level = 0; level < 1100; ++level)
                nested = "Content-Type: multipart/mixed; boundary=\"n" + QByteArray::number(level) + "\"\r\n\r\n--n"
                       + QByteArray::number(level) + "\r\n" + nested + "--n" + QByteArray::number(level) + "--\r\n";
            return nested;
        }(),
    };
    for (const QByteArray& message : broken) {
        const QString name = mailbox_->deliver(message);
        EXPECT_EQ(receive(), u"9999"_s);
        EXPECT_TRUE(progress_.events().value(6).startsWith(u"error: Error 203: "_s)) << progress_.events().join(u'\n').toStdString();
        EXPECT_TRUE(received().isEmpty());
        EXPECT_FALSE(mailbox_->isRead(name));
        QFile::remove(mailbox_->folder() + u"/new/"_s + name);  // out of the way of the next case
        QDir cur(mailbox_->folder() + u"/cur"_s);
        for (const QString& file : cur.entryList({name + u'*'}, QDir::Files))
            cur.remove(file);
    }
}

TEST_P(MailReceptionTest, RequestsAndSettingsThatCannotWork)
{
    mailbox_->deliver(mailMessage(kPartner, {base64Part("DATA")}));
    const QList<MailRequest> invalid{
        {{}, 12, u"R"_s, u"C"_s, QString::fromLatin1(kPartner), {}},
        {u"ABCDEFGHIJKLM"_s, 12, u"R"_s, u"C"_s, QString::fromLatin1(kPartner), {}},
        {u"ABC"_s, 12, u"S"_s, u"C"_s, QString::fromLatin1(kPartner), {}},  // this transport only receives
        {u"ABC"_s, 12, u"R"_s, u"L"_s, QString::fromLatin1(kPartner), {}},
        {u"ABC"_s, 12, u"R"_s, u"C"_s, u"  "_s, {}},
    };
    for (const MailRequest& request : invalid) {
        EXPECT_EQ(receive(request), u"9999"_s);
        EXPECT_EQ(progress_.events(), (QStringList{u"started"_s, u"finished"_s}));  // no message
    }

    QFile::remove(path(u"EDI.ini"_s));
    EXPECT_EQ(receive(), u"9999"_s);
    EXPECT_EQ(progress_.events(),
              (QStringList{u"started"_s, u"パラメータチェック"_s, u"error: INIﾌｧｲﾙ読込エラー"_s, u"finished"_s}));

    writeIni({});
    EXPECT_EQ(receive(), u"9999"_s);
    EXPECT_EQ(progress_.events().value(4), u"error: Error 101: メールストアが設定されていません ([MAPI] Store)"_s);

    writeIni(GetParam() == StoreKind::Imap ? mailbox_->store() + u"-missing"_s : u"no-such-maildir"_s);
    EXPECT_EQ(receive(), u"9999"_s);
    EXPECT_TRUE(progress_.events().value(4).startsWith(GetParam() == StoreKind::Imap ? u"error: Error 104: "_s
                                                                                     : u"error: Error 102: "_s))
        << progress_.events().join(u'\n').toStdString();

    // A received-files folder that is not there: the attachment has nowhere to go.
    writeIni(mailbox_->store());
    QDir(path(u"received"_s)).removeRecursively();
    EXPECT_EQ(receive(), u"9999"_s);
    EXPECT_TRUE(progress_.events().value(6).startsWith(u"error: Error 205: "_s)) << progress_.events().join(u'\n').toStdString();
    EXPECT_TRUE(QDir(path({})).entryList({u"*.CII"_s}, QDir::Files).isEmpty());
}

TEST_P(MailReceptionTest, ImapSignOnFailures)
{
    if (GetParam() != StoreKind::Imap)
        GTEST_SKIP() << "a Maildir has no sign-on to refuse";
    const QString waiting = mailbox_->deliver(mailMessage(kPartner, {base64Part("DATA")}));

    writeIni(mailbox_->store(), u"edi"_s, u"wrong"_s);
    EXPECT_EQ(receive(), u"9999"_s);
    EXPECT_EQ(progress_.events().mid(0, 4), kSuccess.mid(0, 4));
    EXPECT_TRUE(progress_.events().value(4).startsWith(u"error: Error 104: ログオンできません: "_s))
        << progress_.events().join(u'\n').toStdString();

    // A server that is down: nothing listens on the port any more.
    const int closed = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(closed, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::getsockname(closed, reinterpret_cast<sockaddr*>(&address), &length), 0);
    ::close(closed);
    const int port = ntohs(address.sin_port);
    writeIni(u"imap://127.0.0.1:%1/INBOX"_s.arg(port));
    EXPECT_EQ(receive(), u"9999"_s);
    EXPECT_TRUE(progress_.events().value(4).startsWith(u"error: Error 103: メールサーバに接続できません: "_s))
        << progress_.events().join(u'\n').toStdString();

    EXPECT_TRUE(received().isEmpty());
    EXPECT_FALSE(mailbox_->isRead(waiting));
}

INSTANTIATE_TEST_SUITE_P(Stores, MailReceptionTest, ::testing::Values(StoreKind::Maildir, StoreKind::Imap), storeName);

}  // namespace
}  // namespace edi::test
