#include "support/TestFiles.h"
#include "support/TestMail.h"
#include "transport/MailTransport.h"
#include "transport/mail/ImapStore.h"
#include "transport/TransferRequests.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <atomic>
#include <functional>
#include <chrono>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <optional>
#include <thread>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace edi::test {
namespace {

enum class StoreKind { Maildir, Imap };

// A played IMAP server for one session: it greets, answers CAPABILITY (IMAP4rev1 alone) and signs
// anyone on, and answers every command (the line after its tag) with `answer` (untagged lines)
// and OK, until `answer` gives nothing (the server falls silent until the client gives up) or
// LOGOUT.
void serveImap(int listener, const std::function<std::optional<QByteArray>(const QByteArray& command)>& answer)
{
    pollfd waiting{listener, POLLIN, 0};
    if (::poll(&waiting, 1, 30000) != 1)
        return;  // nobody came: the test's own checks say why
    const int client = ::accept(listener, nullptr, nullptr);
    if (client < 0)
        return;
    auto send = [client](const QByteArray& text) { return ::write(client, text.constData(), size_t(text.size())) >= 0; };
    send("* OK ready\r\n");
    QByteArray pending;
    char buffer[4096];
    for (bool silent = false; !silent;) {
        const qsizetype newline = pending.indexOf("\r\n");
        if (newline < 0) {
            const ssize_t got = ::read(client, buffer, sizeof buffer);
            if (got <= 0)
                break;
            pending.append(buffer, got);
            continue;
        }
        const QByteArray line = pending.left(newline);
        pending.remove(0, newline + 2);
        const QByteArray tag = line.left(line.indexOf(' '));
        const QByteArray command = line.mid(tag.size() + 1);
        const std::optional<QByteArray> untagged =
            command.toUpper() == "CAPABILITY" ? std::optional<QByteArray>("* CAPABILITY IMAP4rev1\r\n") : answer(command);
        if (!untagged) {
            silent = true;
            break;
        }
        send(*untagged + tag + " OK done\r\n");
        if (command.toUpper() == "LOGOUT")
            break;
    }
    // What comes now is read and never answered, until the client goes.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < giveUp) {
        pollfd quiet{client, POLLIN, 0};
        if (::poll(&quiet, 1, 100) == 1 && ::read(client, buffer, sizeof buffer) <= 0)
            break;
    }
    ::close(client);
}

// A folder that claims more messages than a 64-bit count holds sensibly.
void serveBoastfulImap(int listener)
{
    serveImap(listener, [](const QByteArray& command) -> std::optional<QByteArray> {
        if (command.startsWith("SELECT"))
            return "* 9223372036854775807 EXISTS\r\n";
        return command == "LOGOUT" ? "* BYE\r\n" : "";
    });
}

// A server that stalls after log-in: the SELECT is never answered.
void serveStallingImap(int listener)
{
    serveImap(listener, [](const QByteArray& command) -> std::optional<QByteArray> {
        if (command.startsWith("SELECT"))
            return std::nullopt;
        return QByteArray();
    });
}

// A folder of a played IMAP server that offers no BINARY: it holds messages by UID, sends them as
// they are and keeps the flags the client stores.
class PlayedFolder {
public:
    explicit PlayedFolder(std::map<int, QByteArray> messages) : messages_(std::move(messages)) {}

    std::optional<QByteArray> answer(const QByteArray& command)
    {
        const std::lock_guard lock(mutex_);
        const QList<QByteArray> words = command.split(' ');
        if (words[0] == "SELECT")
            return "* " + QByteArray::number(qsizetype(messages_.size())) + " EXISTS\r\n* OK [UIDVALIDITY 7] UIDs valid\r\n";
        if (words[0] == "LOGOUT")
            return "* BYE\r\n";
        const int uid = words.value(2).toInt();
        if (words.value(1) == "SEARCH") {
            QByteArray found = "* SEARCH";
            for (const auto& [each, message] : messages_)
                if (flags_[each].isEmpty())
                    found += ' ' + QByteArray::number(each);
            return found + "\r\n";
        }
        if (words.value(1) == "FETCH") {
            const QByteArray& message = messages_.at(uid);
            const bool header = words.value(3) == "BODY.PEEK[HEADER]";
            const QByteArray content = header ? message.left(message.indexOf("\r\n\r\n") + 4) : message;
            return "* 1 FETCH (UID " + words[2] + (header ? " BODY[HEADER] {" : " BODY[] {")
                 + QByteArray::number(content.size()) + "}\r\n" + content + ")\r\n";
        }
        if (words.value(1) == "STORE")
            flags_[uid] += command.mid(command.indexOf('('));
        return QByteArray();
    }
    QByteArray flags(int uid)
    {
        const std::lock_guard lock(mutex_);
        return flags_[uid];
    }

private:
    std::mutex mutex_;
    std::map<int, QByteArray> messages_;
    std::map<int, QByteArray> flags_;
};

// A listening socket on a free port of 127.0.0.1, and the port.
std::pair<int, int> listenOnLoopback()
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), length);
    ::listen(listener, 1);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    return {listener, ntohs(address.sin_port)};
}

const QByteArray kPartner = "orders@kansai.example.jp";
const QStringList kSuccess{u"started"_s,       u"パラメータチェック"_s, u"INIファイル読込み"_s,
                           u"受信処理開始"_s,     u"ログオン"_s,          u"受信トレイ検索"_s,
                           u"添付ファイル格納"_s, u"ログオフ"_s,          u"finished"_s};
const QString kJobCii = u"00000012_RCV_ABC_________.CII"_s;
const QString kJobXml = u"00000012_RCV_ABC_________.XML"_s;

// A workstation that receives mail: EDI.ini with [MAPI], a received-files folder, and a mailbox
// of its own, either a Maildir folder or a folder on the test IMAP server.
class MailReceptionTest : public ::testing::TestWithParam<StoreKind> {
protected:
    void SetUp() override
    {
        QDir().mkpath(path(u"received"_s));
        if (GetParam() == StoreKind::Imap) {
            const std::optional<ImapServer> server = testImapServer();
            ASSERT_TRUE(server) << "the test IMAP server is not running; run the tests through ctest";
            static std::atomic<int> folders{0};
            mailbox_.emplace(TestMailbox::imapFolder(*server, u"T%1x%2"_s.arg(::getpid()).arg(++folders)));
        } else {
            mailbox_.emplace(TestMailbox::maildir(path(u"Maildir"_s)));
        }
        writeIni(mailbox_->store());
    }

    QString path(const QString& relative) const { return dir_.filePath(relative); }
    // EDI.ini with [MAPI]; an IMAP store trusts the test server's CA. More keys of [MAPI] end it.
    void writeIni(const QString& store, const QString& user = u"edi"_s, const QString& password = u"secret"_s,
                  const QString& moreKeys = {})
    {
        const QString ca = GetParam() == StoreKind::Imap ? u"CAFILE="_s + testImapServer()->caFile + u'\n' : QString();
        writeFile(path(u"EDI.ini"_s), (u"[MAIL]\nMAIL-TEXT=受信\\n以上\n[MAPI]\nProfileName="_s + user + u"\nPassword="_s
                                       + password + u"\nStore="_s + store + u'\n' + ca + moreKeys)
                                          .toUtf8());
    }
    // A reception of serial 12 for centre ABC and the partner orders@kansai.example.jp.
    QString receive(const QString& format = u"C"_s, qint32 serial = 12)
    {
        return receive(MailRequest{u"ABC"_s, serial, u"R"_s, format, QString::fromLatin1(kPartner), {}});
    }
    // The message taken is marked read at once, as the job does once its reception is recorded.
    QString receive(MailRequest request)
    {
        TransferReceipt receipt = receiveHeld(request);
        if (receipt.claim)
            receipt.claim->release();
        return receipt.code;
    }
    // The receipt with its claim on the message, not yet settled.
    TransferReceipt receiveHeld(MailRequest request)
    {
        progress_.events.clear();
        MailTransport transport(path(u"EDI.ini"_s), path(u"received/"_s), progress_);
        TransferReceipt receipt = transport.receive(request);
        EXPECT_EQ(request.resultCode, receipt.code);
        note_ = receipt.note;
        found_ = receipt.found;
        return receipt;
    }
    TransferReceipt receiveHeld(qint32 serial)
    {
        return receiveHeld(MailRequest{u"ABC"_s, serial, u"R"_s, u"C"_s, QString::fromLatin1(kPartner), {}});
    }
    // The received-files folder's entries, hidden ones included.
    QStringList received() const
    {
        return QDir(path(u"received"_s)).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }

    QTemporaryDir dir_;
    std::optional<TestMailbox> mailbox_;
    RecordingMailProgress progress_;
    QString note_;  // the last reception's note
    SourceFinding found_ = SourceFinding::Data;  // what the last reception found
};

TEST_P(MailReceptionTest, OnlyThePartnersUnreadMailIsTakenAndMarkedRead)
{
    const QString other = mailbox_->deliver(mailMessage("cii@chubu.example.jp", {textPart("hi"), base64Part("OTHER")}));
    const QString old = mailbox_->deliver(mailMessage(kPartner, {base64Part("READ BEFORE")}), u"S"_s);
    const QString copied = mailbox_->deliver(
        mailMessage("someone@example.jp", {base64Part("CC ONLY")}, "Cc: " + kPartner + "\r\n"));
    const QString second = mailbox_->deliver(mailMessage("first@example.jp, " + kPartner, {base64Part("SECOND")}));
    // A display name in encoded words and the domain in other letter case are still the partner.
    const QString mine = mailbox_->deliver(
        mailMessage("=?ISO-2022-JP?B?GyRCPHVDbRsoQg==?= <orders@Kansai.EXAMPLE.jp>", {textPart("body"), base64Part(ciiFile("CII DATA\r\n"))}));
    // The local part in other letter case is another mailbox.
    const QString otherCase = mailbox_->deliver(mailMessage("Orders@kansai.example.jp", {base64Part("NOT OURS")}));

    ASSERT_EQ(receive(), u"0000"_s) << progress_.events.join(u'\n').toStdString();
    EXPECT_EQ(progress_.events, kSuccess);
    EXPECT_EQ(received(), QStringList{kJobCii});  // no temporary file is left behind
    EXPECT_EQ(readFile(path(u"received/"_s + kJobCii)), ciiFile("CII DATA\r\n"));
    EXPECT_TRUE(mailbox_->isRead(mine));
    EXPECT_TRUE(mailbox_->isRead(old));
    for (const QString& skipped : {other, copied, second, otherCase})
        EXPECT_FALSE(mailbox_->isRead(skipped)) << skipped.toStdString();

    // The next reception finds nothing new: nothing to receive, which is no failure; it stores
    // nothing and says so.
    ASSERT_EQ(receive(u"X"_s, 13), u"0000"_s);
    EXPECT_EQ(found_, SourceFinding::NoData);
    EXPECT_EQ(progress_.events, kSuccess);
    EXPECT_EQ(received(), QStringList{kJobCii});
    EXPECT_EQ(note_, u"受信データなし: orders@kansai.example.jp 宛の未読メールはありません"_s);
}

TEST_P(MailReceptionTest, JunkWithAHeaderBeyondAnyLimitIsPassedOver)
{
    QByteArray junkHeader;
    while (junkHeader.size() <= 2 * 1024 * 1024)
        junkHeader += "X-Junk: " + QByteArray(990, 'j') + "\r\n";
    const QString junk = mailbox_->deliver(mailMessage("nobody@example.jp", {base64Part("JUNK")}, junkHeader));
    const QString mine = mailbox_->deliver(mailMessage(kPartner, {base64Part(ciiFile("CII DATA"))}));

    ASSERT_EQ(receive(), u"0000"_s) << progress_.events.join(u'\n').toStdString();
    EXPECT_EQ(progress_.events, kSuccess);
    EXPECT_EQ(readFile(path(u"received/"_s + kJobCii)), ciiFile("CII DATA"));
    EXPECT_TRUE(mailbox_->isRead(mine));
    EXPECT_FALSE(mailbox_->isRead(junk));

    // In a Maildir, a FIFO or a link to one among the messages is no message at all.
    if (GetParam() == StoreKind::Maildir) {
        const QString fifo = mailbox_->folder() + u"/new/1.fifo.host"_s;
        ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        ASSERT_TRUE(QFile::link(fifo, mailbox_->folder() + u"/new/2.link.host"_s));
        mailbox_->deliver(mailMessage(kPartner, {base64Part(ciiFile("MORE DATA"))}));
        ASSERT_EQ(receive(u"C"_s, 13), u"0000"_s) << progress_.events.join(u'\n').toStdString();
        EXPECT_EQ(readFile(path(u"received/00000013_RCV_ABC_________.CII"_s)), ciiFile("MORE DATA"));
    }
}

TEST_P(MailReceptionTest, TheLastQualifyingMessageWinsAndTheEarlierOneWaitsForTheNextReception)
{
    const QString first = mailbox_->deliver(mailMessage(kPartner, {base64Part("<first/>")}), u"R"_s);  // answered, unread
    mailbox_->deliver(mailMessage("other@example.jp", {base64Part("<other/>")}));
    const QString last = mailbox_->deliver(mailMessage(kPartner, {base64Part("<last/>")}));
    writeFile(path(u"received/"_s + kJobXml), "left from before");

    ASSERT_EQ(receive(u"X"_s), u"0000"_s);
    EXPECT_EQ(readFile(path(u"received/"_s + kJobXml)), QByteArray("<last/>"));
    EXPECT_TRUE(mailbox_->isRead(last));
    EXPECT_FALSE(mailbox_->isRead(first));

    ASSERT_EQ(receive(u"Ｘ"_s, 13), u"0000"_s);
    EXPECT_EQ(readFile(path(u"received/00000013_RCV_ABC_________.XML"_s)), QByteArray("<first/>"));
    EXPECT_EQ(mailbox_->flags(first), u"RS"_s);
}

TEST_P(MailReceptionTest, AFailedReceptionStoresNothingAndMarksNothingRead)
{
    const QString good = mailbox_->deliver(mailMessage(kPartner, {base64Part(ciiFile("GOOD"))}));
    const QString bare = mailbox_->deliver(
        mailMessage(kPartner, {}, "Subject: =?ISO-2022-JP?B?GyRCQ21KOBsoQg==?=\r\nMessage-ID: <bare.1@kansai.example.jp>\r\n"));  // 注文, and no attachment

    ASSERT_EQ(receive(), u"9999"_s);
    const QStringList events = progress_.events;
    ASSERT_EQ(events.size(), 9);
    EXPECT_EQ(events.mid(0, 6), kSuccess.mid(0, 6));
    EXPECT_EQ(events[6], u"受信できないメールに印を付けて残しました: 日付 Tue, 1 Apr 2003 09:00:00 +0900 "
                         u"差出人 EDI Centre <edi@partner.example.jp> 件名 「注文」 Message-ID <bare.1@kansai.example.jp>"_s);
    EXPECT_TRUE(events[7].startsWith(u"error: Error 204: 添付ファイルがありません: "_s)) << events[7].toStdString();
    EXPECT_TRUE(events[7].endsWith(u"件名 「注文」 Message-ID <bare.1@kansai.example.jp>"_s)) << events[7].toStdString();
    EXPECT_EQ(events[8], u"finished"_s);
    EXPECT_TRUE(received().isEmpty());
    EXPECT_FALSE(mailbox_->isRead(good));
    EXPECT_FALSE(mailbox_->isRead(bare));

    // The message that cannot be received is marked and passed over from now on, unread for a
    // person: the partner's next message comes in.
    const QString next = mailbox_->deliver(mailMessage(kPartner, {base64Part(ciiFile("NEXT"))}));
    ASSERT_EQ(receive(u"C"_s, 13), u"0000"_s) << progress_.events.join(u'\n').toStdString();
    EXPECT_EQ(readFile(path(u"received/00000013_RCV_ABC_________.CII"_s)), ciiFile("NEXT"));
    EXPECT_TRUE(mailbox_->isRead(next));
    EXPECT_FALSE(mailbox_->isRead(bare));
    EXPECT_FALSE(mailbox_->isRead(good));  // replaced by the later one: the next reception takes it
    ASSERT_EQ(receive(u"C"_s, 14), u"0000"_s);
    EXPECT_EQ(readFile(path(u"received/00000014_RCV_ABC_________.CII"_s)), ciiFile("GOOD"));
    EXPECT_FALSE(mailbox_->isRead(bare));
}

TEST_P(MailReceptionTest, TheStoredMessageIsHeldUntilTheReceptionIsRecorded)
{
    const QString mine = mailbox_->deliver(mailMessage(kPartner, {base64Part(ciiFile("DATA"))}));
    TransferReceipt receipt = receiveHeld(12);
    ASSERT_EQ(receipt.code, u"0000"_s) << progress_.events.join(u'\n').toStdString();
    EXPECT_FALSE(mailbox_->isRead(mine));
    if (GetParam() == StoreKind::Maildir) {
        // Claimed: no other reception lists it meanwhile.
        EXPECT_EQ(receiveHeld(13).note, u"受信データなし: orders@kansai.example.jp 宛の未読メールはありません"_s);
    }

    // The reception could not be recorded: the message is unread for the next one, which takes it.
    EXPECT_EQ(receipt.claim->giveBack(), u"メールを未読に戻しました"_s);
    EXPECT_FALSE(QFile::exists(path(u"received/"_s + kJobCii)));
    EXPECT_FALSE(mailbox_->isRead(mine));
    receipt = receiveHeld(14);
    ASSERT_EQ(receipt.code, u"0000"_s);
    EXPECT_TRUE(receipt.note.startsWith(u"メールの添付ファイルを "_s)) << receipt.note.toStdString();
    EXPECT_TRUE(receipt.claim->release().isEmpty());
    EXPECT_TRUE(mailbox_->isRead(mine));
    EXPECT_EQ(readFile(path(u"received/00000014_RCV_ABC_________.CII"_s)), ciiFile("DATA"));
}

TEST_P(MailReceptionTest, TheAttachmentsNameNeverChoosesWhereItGoes)
{
    const QList<QByteArray> names{"filename=\"../../../escape.CII\"", "filename=\"" + QFile::encodeName(path(u"absolute.CII"_s)) + '"',
                                  "filename=\"..\\\\..\\\\windows.CII\"", "filename*=UTF-8''..%2F..%2Fencoded.CII",
                                  "filename=\"=?UTF-8?B?Li4vLi4vd29yZC5DSUk=?=\""};
    const QStringList before = QDir(path({})).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    qint32 serial = 20;
    for (const QByteArray& name : names) {
        mailbox_->deliver(mailMessage(kPartner, {base64Part(ciiFile("DATA " + name), name)}));
        ASSERT_EQ(receive(u"C"_s, serial), u"0000"_s) << name.toStdString();
        EXPECT_EQ(readFile(path(u"received/%1_RCV_ABC_________.CII"_s.arg(serial, 8, 10, QChar(u'0')))), ciiFile("DATA " + name));
        ++serial;
    }
    EXPECT_EQ(received().size(), names.size());
    EXPECT_EQ(QDir(path({})).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
    EXPECT_FALSE(QFile::exists(QDir(path({})).filePath(u"../escape.CII"_s)));
}

TEST_P(MailReceptionTest, EncodingsAndShapesOfThePartnersMail)
{
    // Quoted-printable with an encoded-word file name, after a text body in two forms, the plain
    // one long: contents, however long, are no piece the parser keeps.
    const QByteArray alternative = "Content-Type: multipart/alternative; boundary=\"alt\"\r\n\r\n"
                                   "--alt\r\n" + textPart(QByteArray("plain text\r\n").repeated(300000)) + "--alt\r\nContent-Type: text/html\r\n\r\n<p>html</p>\r\n--alt--\r\n";
    const QByteArray quotedPrintable = "Content-Type: application/xml; name=\"=?ISO-2022-JP?B?GyRCQ21KOBsoQi5YTUw=?=\"\r\n"
                                       "Content-Transfer-Encoding: quoted-printable\r\n\r\n"
                                       "<?xml version=3D\"1.0\"?><a>=E6=B3=A8=E6=96=87</a>=\r\n<b/>\r\n";
    mailbox_->deliver(mailMessage(kPartner, {alternative, quotedPrintable, base64Part("SECOND ATTACHMENT")}));
    ASSERT_EQ(receive(u"X"_s), u"0000"_s) << progress_.events.join(u'\n').toStdString();
    EXPECT_EQ(readFile(path(u"received/"_s + kJobXml)), QByteArray("<?xml version=\"1.0\"?><a>注文</a><b/>"));

    // A message that is nothing but its attachment.
    mailbox_->deliver("To: " + kPartner + "\r\nSubject: =?UTF-8?Q?=E6=B3=A8=E6=96=87?=\r\nMIME-Version: 1.0\r\n"
                      "Content-Type: application/octet-stream\r\nContent-Disposition: attachment; filename=\"A.CII\"\r\n"
                      "Content-Transfer-Encoding: base64\r\n\r\n" + ciiFile(QByteArray("\x01\x02\xff\xfe CII", 8)).toBase64() + "\r\n");
    ASSERT_EQ(receive(u"C"_s, 13), u"0000"_s);
    EXPECT_EQ(readFile(path(u"received/00000013_RCV_ABC_________.CII"_s)), ciiFile(QByteArray("\x01\x02\xff\xfe CII", 8)));
}

TEST_P(MailReceptionTest, Base64WithoutItsPaddingIsDecodedWhole)
{
    auto attachment = [](const QByteArray& encoded) {
        return "Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n"
               "Content-Disposition: attachment; filename=\"A.CII\"\r\n\r\n" + encoded + "\r\n";
    };
    // Data whose last quantum holds one byte, two bytes, and one byte after full lines, without
    // "=": what a mail client shows.
    qint32 serial = 30;
    for (const QByteArray& data : {ciiFile("AB"), ciiFile("ABC"), ciiFile(QByteArray(77, 'x'))}) {
        QByteArray encoded = data.toBase64();
        while (encoded.endsWith('='))
            encoded.chop(1);
        mailbox_->deliver(mailMessage(kPartner, {attachment(encoded)}));
        ASSERT_EQ(receive(u"C"_s, serial), u"0000"_s) << progress_.events.join(u'\n').toStdString();
        EXPECT_EQ(readFile(path(u"received/%1_RCV_ABC_________.CII"_s.arg(serial, 8, 10, QChar(u'0')))), data);
        ++serial;
    }

    // One character left over holds no whole byte: the transfer is cut, and no shorter file is
    // stored as if it were the partner's data.
    const QString cut = mailbox_->deliver(mailMessage(kPartner, {attachment("QUJDR")}));
    EXPECT_EQ(receive(u"C"_s, 40), u"9999"_s);
    EXPECT_TRUE(progress_.events.join(u'\n').contains(u"Error 203: "_s)) << progress_.events.join(u'\n').toStdString();
    EXPECT_FALSE(QFile::exists(path(u"received/00000040_RCV_ABC_________.CII"_s)));
    EXPECT_FALSE(mailbox_->isRead(cut));
}

TEST_P(MailReceptionTest, FlawsMailProgramsReadThroughAreReadThrough)
{
    const QByteArray head = "To: " + kPartner + "\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n";
    const QByteArray text = "--b\r\nContent-Type: text/plain\r\n\r\norders\r\n";
    const QList<std::pair<const char*, QByteArray>> flawed{
        {"no closing boundary", head + "\r\n" + text + "--b\r\n" + base64Part(ciiFile("DATA"))},
        {"a part header without its blank line",
         head + "\r\n--b\r\nContent-Type: text/plain\r\n--b\r\n" + base64Part(ciiFile("DATA")) + "--b--\r\n"},
        {"a parameter twice",
         head + "\r\n" + text + "--b\r\n" + base64Part(ciiFile("DATA"), "filename=\"A.CII\"; filename=\"B.CII\"") + "--b--\r\n"},
        {"a header name with a blank", head + "X Mailer Name: old\r\n\r\n" + text + "--b\r\n" + base64Part(ciiFile("DATA")) + "--b--\r\n"},
        {"a Received line folded without indentation",
         "Received: from relay.example.jp\r\nby mx.example.jp; Tue, 1 Apr 2003 09:00:00 +0900\r\n" + head + "\r\n" + text
             + "--b\r\n" + base64Part(ciiFile("DATA")) + "--b--\r\n"},
    };
    qint32 serial = 50;
    for (const auto& [what, message] : flawed) {
        mailbox_->deliver(message);
        EXPECT_EQ(receive(u"C"_s, serial), u"0000"_s) << what << "\n" << progress_.events.join(u'\n').toStdString();
        EXPECT_EQ(readFile(path(u"received/%1_RCV_ABC_________.CII"_s.arg(serial, 8, 10, QChar(u'0')))), ciiFile("DATA")) << what;
        ++serial;
    }
}

TEST_P(MailReceptionTest, TheAttachmentAMailProgramListsFirstIsTheData)
{
    // Messages as mail programs write them (tests/transport/corpus), each with orders of its own
    // after the parts a mail program does not list as attachments.
    auto orders = [](const char* name) { return ciiFile((QByteArray("CII ") + name + " ORDERS\r\n").repeated(3)); };
    const QList<std::pair<const char*, QByteArray>> stored{
        {"outlook-inline-logo.eml", orders("outlook")},
        {"inline-image-then-attachment.eml", orders("apple")},
        {"pgp-signed.eml", orders("pgp")},
        {"smime-signed.eml", orders("smime")},
        {"forwarded-inline.eml", orders("inline")},
        {"forwarded-as-attachment.eml", orders("forwarded")},
        {"forwarded-beside-own-attachment.eml", orders("own")},
        {"base64-without-padding.eml", orders("unpadded") + "XY"},
        {"without-closing-boundary.eml", orders("unclosed")},
    };
    qint32 serial = 60;
    for (const auto& [file, data] : stored) {
        const QString message = mailbox_->deliver(readFile(sourcePath(u"tests/transport/corpus/"_s + QString::fromLatin1(file))));
        ASSERT_EQ(receive(u"C"_s, serial), u"0000"_s) << file << "\n" << progress_.events.join(u'\n').toStdString();
        EXPECT_EQ(readFile(path(u"received/%1_RCV_ABC_________.CII"_s.arg(serial, 8, 10, QChar(u'0')))), data) << file;
        EXPECT_TRUE(mailbox_->isRead(message)) << file;
        ++serial;
    }

    // Sealed or packed data only: no attachment, and the error says what was there.
    for (const auto& [file, sealed] : {std::pair{"smime-opaque.eml", "smime.p7m"}, std::pair{"tnef.eml", "winmail.dat"}}) {
        const QString message = mailbox_->deliver(readFile(sourcePath(u"tests/transport/corpus/"_s + QString::fromLatin1(file))));
        EXPECT_EQ(receive(u"C"_s, serial), u"9999"_s) << file;
        const QString error = progress_.events.value(7);
        EXPECT_TRUE(error.startsWith(u"error: Error 204: 添付ファイルがありません"_s) && error.contains(QString::fromLatin1(sealed)))
            << error.toStdString();
        EXPECT_FALSE(mailbox_->isRead(message)) << file;
        if (GetParam() == StoreKind::Maildir) {
            EXPECT_TRUE(mailbox_->flags(message).contains(u'F')) << file;
        }
        ++serial;
    }
}

TEST_P(MailReceptionTest, TheDataAttachmentIsTheFirstOfTheCentresForm)
{
    const QByteArray coverLetter = encodedPart("Content-Type: application/pdf; name=\"cover.pdf\"\r\n"
                                               "Content-Disposition: attachment; filename=\"cover.pdf\"\r\n",
                                               "%PDF-1.4\n% cover letter\n");
    const QByteArray photo = encodedPart("Content-Type: image/jpeg\r\nContent-Disposition: inline\r\n", "\xff\xd8\xff\xe0 JFIF");
    const QByteArray unnamedCii = encodedPart("Content-Type: application/octet-stream\r\n", ciiFile("ORDERS"));
    const QByteArray xml = encodedPart("Content-Type: text/xml; name=\"orders.xml\"\r\n"
                                       "Content-Disposition: attachment; filename=\"orders.xml\"\r\n",
                                       "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<orders/>\r\n");

    // A cover letter and a photo without Content-ID come first; the data is an unnamed part.
    const QString cii = mailbox_->deliver(mailMessage(kPartner, {textPart("orders attached"), coverLetter, photo, unnamedCii}));
    ASSERT_EQ(receive(), u"0000"_s) << progress_.events.join(u'\n').toStdString();
    EXPECT_EQ(readFile(path(u"received/"_s + kJobCii)), ciiFile("ORDERS"));
    EXPECT_TRUE(mailbox_->isRead(cii));

    // An XML centre passes over CII data as it passes over a cover letter.
    const QString forXml = mailbox_->deliver(mailMessage(kPartner, {coverLetter, unnamedCii, xml}));
    ASSERT_EQ(receive(u"X"_s, 13), u"0000"_s) << progress_.events.join(u'\n').toStdString();
    EXPECT_EQ(readFile(path(u"received/00000013_RCV_ABC_________.XML"_s)),
              "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<orders/>\r\n");
    EXPECT_TRUE(mailbox_->isRead(forXml));

    // Nothing of the centre's form: the error names what was attached, and the mail stays unread.
    const QString without = mailbox_->deliver(mailMessage(kPartner, {textPart("orders attached"), coverLetter, photo, xml}));
    EXPECT_EQ(receive(u"C"_s, 14), u"9999"_s);
    EXPECT_TRUE(progress_.events.value(7).startsWith(
        u"error: Error 204: CII 形式の添付ファイルがありません (添付ファイル: cover.pdf (application/pdf), "
        u"名前なし (image/jpeg), orders.xml (text/xml)): 日付 "_s))
        << progress_.events.join(u'\n').toStdString();
    EXPECT_FALSE(QFile::exists(path(u"received/00000014_RCV_ABC_________.CII"_s)));
    EXPECT_FALSE(mailbox_->isRead(without));
    if (GetParam() == StoreKind::Maildir) {
        EXPECT_TRUE(mailbox_->flags(without).contains(u'F'));
    }
}

TEST_P(MailReceptionTest, AttachmentsSentWithoutTransferEncodingArriveByteForByte)
{
    auto unencoded = [](const QByteArray& headers, const QByteArray& content) { return headers + "\r\n" + content + "\r\n"; };
    QByteArray everyByte;
    for (int byte = 0; byte < 256; ++byte)
        if (byte != '\n' && byte != '\r')
            everyByte += char(byte);
    const QByteArray withNuls = ciiFile(QByteArray("\0NUL\0", 5) + everyByte + "\r\n" + QByteArray(3, '\0'));
    const QByteArray shiftJis = ciiFile("\x92\x8d\x95\xb6 \x83\x5c\x95\x5c \xb1\xb2\r\n");  // 注文 ソ表 ｱｲ
    const QByteArray bareLineFeeds = ciiFile("line one\nline two\n\n\r\nlast\n");
    const QString xmlText = u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><orders>注文</orders>"_s;
    const QByteArray utf16Xml = "\xff\xfe" + QByteArray(reinterpret_cast<const char*>(xmlText.utf16()), xmlText.size() * 2);

    const QByteArray binary = "Content-Type: application/octet-stream; name=\"DATA\"\r\nContent-Transfer-Encoding: binary\r\n";
    const QList<std::tuple<const char*, QByteArray, QByteArray, QString>> messages{
        {"NUL bytes", mailMessage(kPartner, {textPart("orders"), unencoded(binary, withNuls)}), withNuls, u"C"_s},
        {"8bit Shift-JIS",
         mailMessage(kPartner, {unencoded("Content-Type: text/plain; charset=Shift_JIS; name=\"SJIS.CII\"\r\n"
                                          "Content-Disposition: attachment; filename=\"SJIS.CII\"\r\n"
                                          "Content-Transfer-Encoding: 8bit\r\n",
                                          shiftJis)}),
         shiftJis, u"C"_s},
        {"bare line feeds", mailMessage(kPartner, {unencoded(binary, bareLineFeeds)}), bareLineFeeds, u"C"_s},
        {"UTF-16 XML", mailMessage(kPartner, {textPart("orders"), unencoded(binary, utf16Xml)}), utf16Xml, u"X"_s},
    };
    qint32 serial = 90;
    for (const auto& [what, message, data, format] : messages) {
        // A server reads a bare line feed in a message file as the end of a line, also when it
        // sends the part as binary: a message with one must have gone in through the server,
        // which keeps such a part so that it can give it back unchanged.
        const bool throughServer = GetParam() == StoreKind::Imap && data == bareLineFeeds;
        const QString delivered = throughServer ? mailbox_->deliverThroughServer(message) : mailbox_->deliver(message);
        ASSERT_EQ(receive(format, serial), u"0000"_s) << what << "\n" << progress_.events.join(u'\n').toStdString();
        const QString stored = path(u"received/%1_RCV_ABC_________.%2"_s.arg(serial, 8, 10, QChar(u'0')).arg(format == u"C"_s ? u"CII"_s : u"XML"_s));
        EXPECT_EQ(readFile(stored).toHex(' '), data.toHex(' ')) << what;
        EXPECT_TRUE(mailbox_->isRead(delivered)) << what;
        ++serial;
    }
}

TEST_P(MailReceptionTest, WithoutBinaryAServerCannotSendDataThatWasSentUnencoded)
{
    if (GetParam() != StoreKind::Imap)
        GTEST_SKIP() << "a Maildir file holds every byte as it was sent";
    const QByteArray data = ciiFile("\x92\x8d\x95\xb6 \x83\x5c\x95\x5c\r\n");
    const QByteArray unencoded = mailMessage(kPartner, {textPart("orders"), "Content-Type: application/octet-stream; name=\"A.CII\"\r\n"
                                                                            "Content-Transfer-Encoding: 8bit\r\n\r\n" + data + "\r\n"});
    // A cover letter sent unencoded does not matter when the data is encoded.
    const QByteArray encoded = mailMessage(kPartner, {"Content-Type: text/plain; charset=Shift_JIS; name=\"cover.txt\"\r\n"
                                                      "Content-Disposition: attachment; filename=\"cover.txt\"\r\n"
                                                      "Content-Transfer-Encoding: 8bit\r\n\r\n\x92\x8d\x95\xb6\r\n",
                                                      base64Part(data)});
    PlayedFolder folder({{5, unencoded}, {6, encoded}});
    const auto [listener, port] = listenOnLoopback();
    const auto closeListener = qScopeGuard([listener = listener] { ::close(listener); });
    // The refused reception, the one that receives, and the session that marks its message read.
    std::thread server([&folder, listener = listener] {
        for (int session = 0; session < 3; ++session)
            serveImap(listener, [&folder](const QByteArray& command) { return folder.answer(command); });
    });
    writeIni(u"imap://127.0.0.1:%1/INBOX"_s.arg(port), u"edi"_s, u"secret"_s, u"TLS=none\n"_s);

    EXPECT_EQ(receive(), u"9999"_s);
    EXPECT_TRUE(progress_.events.value(7).startsWith(u"error: Error 208: 添付ファイル A.CII は変換なし (8bit, binary) で送られており、"_s))
        << progress_.events.join(u'\n').toStdString();
    EXPECT_EQ(folder.flags(5), "($EdiRejected)");  // unread, and passed over from now on
    EXPECT_TRUE(received().isEmpty());

    EXPECT_EQ(receive(u"C"_s, 13), u"0000"_s) << progress_.events.join(u'\n').toStdString();
    EXPECT_EQ(readFile(path(u"received/00000013_RCV_ABC_________.CII"_s)), data);
    EXPECT_EQ(folder.flags(6), "(\\Seen)");
    server.join();
}

TEST_P(MailReceptionTest, AMessageTheServerCouldNotMarkReadIsMarkedByTheNextSession)
{
    if (GetParam() != StoreKind::Imap)
        GTEST_SKIP() << "a Maildir needs no second connection";
    CuttableRelay relay(testImapServer()->port);
    writeIni(u"imap://127.0.0.1:%1/"_s.arg(relay.port()) + ImapStore::folderName(mailbox_->store()));
    const QString mine = mailbox_->deliver(mailMessage(kPartner, {base64Part(ciiFile("ONCE"))}));

    // The line goes down between the reception and marking its message read.
    TransferReceipt receipt = receiveHeld(12);
    ASSERT_EQ(receipt.code, u"0000"_s) << progress_.events.join(u'\n').toStdString();
    relay.cut();
    const QString said = receipt.claim->release();
    EXPECT_TRUE(said.startsWith(u"受信済みのメールを既読にできません。次の受信の前に既読にします: Error 103: "_s)) << said.toStdString();
    EXPECT_TRUE(said.endsWith(u"件名 「orders」 Message-ID なし"_s)) << said.toStdString();
    EXPECT_FALSE(mailbox_->isRead(mine));

    // Back up, the next reception (a transport of its own, as after a restart) marks it read
    // before it searches, and finds nothing to receive.
    relay.restore();
    EXPECT_EQ(receive(u"C"_s, 13), u"0000"_s) << progress_.events.join(u'\n').toStdString();
    EXPECT_EQ(found_, SourceFinding::NoData);
    EXPECT_TRUE(mailbox_->isRead(mine));
    EXPECT_FALSE(QFile::exists(path(u"received/00000013_RCV_ABC_________.CII"_s)));
    EXPECT_TRUE(progress_.details.join(u'\n').contains(u"前回既読にできなかった受信済みのメールを既読にしました: "_s))
        << progress_.details.join(u'\n').toStdString();
    EXPECT_EQ(received(), QStringList{kJobCii});
}

TEST_P(MailReceptionTest, ARememberedMessageOfAFolderMadeAnewIsForgotten)
{
    if (GetParam() != StoreKind::Imap)
        GTEST_SKIP() << "Maildir names keep their meaning";
    CuttableRelay relay(testImapServer()->port);
    writeIni(u"imap://127.0.0.1:%1/"_s.arg(relay.port()) + ImapStore::folderName(mailbox_->store()));
    const QString first = mailbox_->deliver(mailMessage(kPartner, {base64Part(ciiFile("FIRST"))}));
    TransferReceipt receipt = receiveHeld(12);
    ASSERT_EQ(receipt.code, u"0000"_s) << progress_.events.join(u'\n').toStdString();
    relay.cut();
    receipt.claim->release();
    relay.restore();

    // The folder is made anew (its message moved away, its index gone): a new UIDVALIDITY, and the
    // next message gets the UID the remembered one had. It is new data, not the one to mark read.
    QFile::remove(mailbox_->folder() + u"/new/"_s + first);
    for (const QString& index : QDir(mailbox_->folder()).entryList({u"dovecot*"_s}, QDir::Files))
        QFile::remove(mailbox_->folder() + u'/' + index);
    const QString next = mailbox_->deliver(mailMessage(kPartner, {base64Part(ciiFile("NEXT"))}));
    EXPECT_EQ(receive(u"C"_s, 13), u"0000"_s) << progress_.events.join(u'\n').toStdString();
    EXPECT_EQ(readFile(path(u"received/00000013_RCV_ABC_________.CII"_s)), ciiFile("NEXT"));
    EXPECT_TRUE(mailbox_->isRead(next));
    EXPECT_TRUE(progress_.details.join(u'\n').contains(u"メールフォルダの UIDVALIDITY が変わったため"_s))
        << progress_.details.join(u'\n').toStdString();
    EXPECT_FALSE(QFile::exists(path(u"received/.unmarked-messages"_s)));
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
        // Pieces a parser keeps in memory, grown beyond any mail program's: a preamble, a part's
        // header and an epilogue of 2 MiB each.
        mailMessage(kPartner, {base64Part("A")}).replace("This is a MIME message.", QByteArray(2 << 20, 'p')),
        mailMessage(kPartner, {"X-Junk: " + QByteArray(2 << 20, 'h') + "\r\n" + base64Part("A")}),
        mailMessage(kPartner, {base64Part("A")}) + QByteArray(2 << 20, 'e'),
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
        EXPECT_TRUE(progress_.events.value(7).startsWith(u"error: Error 203: "_s)) << progress_.events.join(u'\n').toStdString();
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
    mailbox_->deliver(mailMessage(kPartner, {base64Part(ciiFile("DATA"))}));
    const QList<MailRequest> invalid{
        {{}, 12, u"R"_s, u"C"_s, QString::fromLatin1(kPartner), {}},
        {u"ABCDEFGHIJKLM"_s, 12, u"R"_s, u"C"_s, QString::fromLatin1(kPartner), {}},
        {u"ABC"_s, 12, u"S"_s, u"C"_s, QString::fromLatin1(kPartner), {}},  // this transport only receives
        {u"ABC"_s, 12, u"R"_s, u"L"_s, QString::fromLatin1(kPartner), {}},
        {u"ABC"_s, 12, u"R"_s, u"C"_s, u"  "_s, {}},
    };
    for (const MailRequest& request : invalid) {
        EXPECT_EQ(receive(request), u"9999"_s);
        EXPECT_EQ(progress_.events, (QStringList{u"started"_s, u"finished"_s}));  // no message
    }

    QFile::remove(path(u"EDI.ini"_s));
    EXPECT_EQ(receive(), u"9999"_s);
    EXPECT_EQ(progress_.events,
              (QStringList{u"started"_s, u"パラメータチェック"_s, u"error: INIﾌｧｲﾙ読込エラー"_s, u"finished"_s}));

    writeIni({});
    EXPECT_EQ(receive(), u"9999"_s);
    EXPECT_EQ(progress_.events.value(4), u"error: Error 101: メールストアが設定されていません ([MAPI] Store)"_s);

    // A folder that is not there is told as such, with its name.
    writeIni(GetParam() == StoreKind::Imap ? mailbox_->store() + u"-missing"_s : u"no-such-maildir"_s);
    EXPECT_EQ(receive(), u"9999"_s);
    EXPECT_TRUE(progress_.events.value(4).startsWith(GetParam() == StoreKind::Imap ? u"error: Error 105: "_s
                                                                                     : u"error: Error 102: "_s))
        << progress_.events.join(u'\n').toStdString();
    EXPECT_TRUE(progress_.events.value(4).contains(u"-missing"_s) || GetParam() == StoreKind::Maildir);

    // A received-files folder that is not there: the attachment has nowhere to go.
    writeIni(mailbox_->store());
    QDir(path(u"received"_s)).removeRecursively();
    EXPECT_EQ(receive(), u"9999"_s);
    EXPECT_TRUE(progress_.events.value(6).startsWith(u"error: Error 205: "_s)) << progress_.events.join(u'\n').toStdString();
    EXPECT_TRUE(QDir(path({})).entryList({u"*.CII"_s}, QDir::Files).isEmpty());
}

TEST_P(MailReceptionTest, ImapSignOnFailures)
{
    if (GetParam() != StoreKind::Imap)
        GTEST_SKIP() << "a Maildir has no sign-on to refuse";
    const QString waiting = mailbox_->deliver(mailMessage(kPartner, {base64Part(ciiFile("DATA"))}));

    writeIni(mailbox_->store(), u"edi"_s, u"wrong"_s);
    EXPECT_EQ(receive(), u"9999"_s);
    EXPECT_EQ(progress_.events.mid(0, 4), kSuccess.mid(0, 4));
    EXPECT_TRUE(progress_.events.value(4).startsWith(u"error: Error 104: ログオンできません: "_s))
        << progress_.events.join(u'\n').toStdString();

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
    EXPECT_TRUE(progress_.events.value(4).startsWith(u"error: Error 103: メールサーバに接続できません: "_s))
        << progress_.events.join(u'\n').toStdString();

    // A server that claims more messages than any mailbox holds: refused, not searched for ever.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    const auto closeListener = qScopeGuard([listener] { ::close(listener); });
    address.sin_port = 0;
    length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    std::thread server([listener] { serveBoastfulImap(listener); });
    writeIni(u"imap://127.0.0.1:%1/INBOX"_s.arg(ntohs(address.sin_port)));
    EXPECT_EQ(receive(), u"9999"_s);
    EXPECT_TRUE(progress_.events.value(4).startsWith(u"error: Error 201: "_s)) << progress_.events.join(u'\n').toStdString();
    server.join();

    EXPECT_TRUE(received().isEmpty());
    EXPECT_FALSE(mailbox_->isRead(waiting));
}

constexpr qint64 kMiB = 1024 * 1024;

class MailLimitsTest : public MailReceptionTest {
protected:
    // Runs a reception and returns how far the peak resident memory rose above what was in use.
    qint64 receiveMeasured(const QString& format = u"C"_s)
    {
        const qint64 before = currentMemory();
        resetPeakMemory();
        EXPECT_EQ(receive(format), u"0000"_s) << progress_.events.join(u'\n').toStdString();
        return peakMemory() - before;
    }
};

TEST_P(MailLimitsTest, AHugeAttachmentIsStreamedToItsFile)
{
    // 64 MiB of attachment, written into the mailbox piece by piece; its head is a CII header block.
    QByteArray block(3 * 256 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < block.size(); ++i)
        block[i] = char((i * 7 + i / 251) & 0xff);
    block.replace(0, 251, ciiFile({}));
    const qint64 blocks = 64 * kMiB / block.size() + 1;
    QCryptographicHash expected(QCryptographicHash::Sha256);
    const QString name = path(u"huge.eml"_s);
    {
        QFile file(name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("From: edi@partner.example.jp\r\nTo: " + kPartner + "\r\nSubject: big\r\nMIME-Version: 1.0\r\n"
                   "Content-Type: multipart/mixed; boundary=\"big\"\r\n\r\n--big\r\n" + textPart("see the attachment")
                   + "--big\r\nContent-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n"
                     "Content-Disposition: attachment; filename=\"HUGE.CII\"\r\n\r\n");
        const QByteArray encoded = block.toBase64();
        QByteArray lines;
        for (qsizetype at = 0; at < encoded.size(); at += 76)
            lines += encoded.mid(at, 76) + "\r\n";
        for (qint64 i = 0; i < blocks; ++i) {
            file.write(lines);
            expected.addData(block);
        }
        file.write("--big--\r\n");
    }
    mailbox_->deliverFile(name);

    const qint64 rise = receiveMeasured();
    EXPECT_LT(rise, 16 * kMiB);
    QFile stored(path(u"received/00000012_RCV_ABC_________.CII"_s));
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    EXPECT_EQ(stored.size(), blocks * block.size());
    QCryptographicHash actual(QCryptographicHash::Sha256);
    actual.addData(&stored);
    EXPECT_EQ(actual.result().toHex(), expected.result().toHex());
}

TEST_P(MailLimitsTest, ThousandsOfUnreadMessagesForOthers)
{
    const int count = GetParam() == StoreKind::Imap ? 2500 : 5000;
    for (int i = 0; i < count; ++i)
        mailbox_->deliver(mailMessage("centre" + QByteArray::number(i % 7) + "@example.jp", {base64Part("OTHER")}));
    const QString mine = mailbox_->deliver(mailMessage(kPartner, {base64Part(ciiFile("MINE"))}));

    EXPECT_LT(receiveMeasured(), 16 * kMiB);
    EXPECT_EQ(readFile(path(u"received/00000012_RCV_ABC_________.CII"_s)), ciiFile("MINE"));
    EXPECT_EQ(mailbox_->readMessages(), QStringList{mine});
}

TEST_P(MailLimitsTest, AMillionEmptyPartsAreRefusedWithoutParsingThem)
{
    const QString name = path(u"parts.eml"_s);
    {
        QFile file(name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("To: " + kPartner + "\r\nSubject: parts\r\nMIME-Version: 1.0\r\n"
                   "Content-Type: multipart/mixed; boundary=\"p\"\r\n\r\n");
        const QByteArray empty = QByteArray("--p\r\n\r\n").repeated(100000);
        for (int i = 0; i < 10; ++i)
            file.write(empty);
        file.write(base64Part(ciiFile("DATA")) + "--p--\r\n");
    }
    const QString parts = mailbox_->deliverFile(name);
    const qint64 before = currentMemory();
    resetPeakMemory();
    EXPECT_EQ(receive(), u"9999"_s);
    EXPECT_LT(peakMemory() - before, 64 * kMiB);
    EXPECT_TRUE(progress_.events.value(7).startsWith(u"error: Error 203: "_s)) << progress_.events.join(u'\n').toStdString();
    EXPECT_TRUE(progress_.events.value(7).contains(u"more than 10000 parts"_s));
    EXPECT_FALSE(mailbox_->isRead(parts));
}

TEST_P(MailReceptionTest, ImapOverTlsWithTheSitesOwnCertificateAuthority)
{
    if (GetParam() != StoreKind::Imap)
        GTEST_SKIP() << "a Maildir has no server";
    const ImapServer server = *testImapServer();
    auto ini = [this](const QString& store, const QString& keys) {
        writeFile(path(u"EDI.ini"_s), (u"[MAPI]\nProfileName=edi\nPassword=secret\nStore="_s + store + u'\n' + keys).toUtf8());
    };
    const QString ca = u"CAFILE="_s + server.caFile + u'\n';
    qint32 serial = 70;
    auto receivesWith = [&](const QString& store, const QString& keys) {
        mailbox_->deliver(mailMessage(kPartner, {base64Part(ciiFile("DATA"))}));
        ini(store, keys);
        const QString code = receive(u"C"_s, serial++);
        return code == u"0000"_s ? code : code + u'\n' + progress_.events.join(u'\n');
    };

    // STARTTLS whenever offered, checked against the site's CA; TLS from the start on imaps://.
    EXPECT_EQ(receivesWith(mailbox_->store(), ca), u"0000"_s);
    EXPECT_EQ(receivesWith(mailbox_->store(), ca + u"TLS=required\n"_s), u"0000"_s);
    const QString imaps = u"imaps://127.0.0.1:%1/"_s.arg(server.tlsPort) + ImapStore::folderName(mailbox_->store());
    EXPECT_EQ(receivesWith(imaps, ca), u"0000"_s);
    qputenv("SSL_CERT_FILE", server.caFile.toLocal8Bit());  // as the environment may name it
    EXPECT_EQ(receivesWith(imaps, {}), u"0000"_s);
    qunsetenv("SSL_CERT_FILE");
    EXPECT_EQ(receivesWith(mailbox_->store(), u"TLS=none\n"_s), u"0000"_s);

    // A certificate nobody trusts here, a CA file that is not there, a key that means nothing.
    mailbox_->deliver(mailMessage(kPartner, {base64Part(ciiFile("WAITING"))}));
    ini(mailbox_->store(), {});
    EXPECT_EQ(receive(), u"9999"_s);
    EXPECT_TRUE(progress_.events.value(4).startsWith(u"error: Error 106: サーバの証明書を信頼できません"_s)
                && progress_.events.value(4).contains(u"[MAPI] CAFILE"_s))
        << progress_.events.join(u'\n').toStdString();
    ini(mailbox_->store(), u"CAFILE=no-such.pem\n"_s);
    EXPECT_EQ(receive(), u"9999"_s);
    EXPECT_TRUE(progress_.events.value(4).startsWith(u"error: Error 106: "_s)) << progress_.events.join(u'\n').toStdString();
    ini(mailbox_->store(), ca + u"TLS=sometimes\n"_s);
    EXPECT_EQ(receive(), u"9999"_s);
    EXPECT_TRUE(progress_.events.value(4).startsWith(u"error: Error 107: [MAPI] TLS"_s)) << progress_.events.join(u'\n').toStdString();

    // TLS required of a server that offers none; a server that stalls after log-in.
    {
        const auto [listener, port] = listenOnLoopback();
        const auto closeListener = qScopeGuard([listener = listener] { ::close(listener); });
        std::thread fake([listener = listener] { serveBoastfulImap(listener); });
        ini(u"imap://127.0.0.1:%1/INBOX"_s.arg(port), u"TLS=required\n"_s);
        EXPECT_EQ(receive(), u"9999"_s);
        EXPECT_TRUE(progress_.events.value(4).startsWith(u"error: Error 106: サーバが TLS"_s)) << progress_.events.join(u'\n').toStdString();
        fake.join();
    }
    {
        const auto [listener, port] = listenOnLoopback();
        const auto closeListener = qScopeGuard([listener = listener] { ::close(listener); });
        std::thread fake([listener = listener] { serveStallingImap(listener); });
        ini(u"imap://127.0.0.1:%1/INBOX"_s.arg(port), u"TIMEOUT=1\n"_s);
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(receive(), u"9999"_s);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
        EXPECT_TRUE(progress_.events.value(4).contains(u"1 秒応答しません"_s)) << progress_.events.join(u'\n').toStdString();
        fake.join();
    }
}

TEST_P(MailReceptionTest, FolderNamesAsTheyAreWritten)
{
    if (GetParam() != StoreKind::Imap)
        GTEST_SKIP() << "a Maildir folder is a path";
    const ImapServer server = *testImapServer();
    const QString prefix = u"T%1"_s.arg(::getpid());
    // The folder as the server keeps it (IMAP's modified UTF-7), and as the store URL writes it.
    const QList<std::pair<QString, QString>> folders{
        {prefix + u"EDI&U9dP4Q-"_s, prefix + u"EDI受信"_s},
        {prefix + u" EDI in"_s, prefix + u" EDI in"_s},
        {prefix + u" EDI out"_s, prefix + u"%20EDI%20out"_s},
    };
    qint32 serial = 80;
    for (const auto& [kept, written] : folders) {
        TestMailbox folder = TestMailbox::imapFolder(server, kept, written);
        const QString mine = folder.deliver(mailMessage(kPartner, {base64Part(ciiFile("DATA " + written.toUtf8()))}));
        writeIni(folder.store());
        ASSERT_EQ(receive(u"C"_s, serial), u"0000"_s) << written.toStdString() << "\n" << progress_.events.join(u'\n').toStdString();
        EXPECT_EQ(readFile(path(u"received/%1_RCV_ABC_________.CII"_s.arg(serial, 8, 10, QChar(u'0')))), ciiFile("DATA " + written.toUtf8()));
        EXPECT_TRUE(folder.isRead(mine));
        ++serial;
    }
}

TEST_P(MailReceptionTest, TheLogTellsWhyEachMessageWasPassedOver)
{
    mailbox_->deliver(mailMessage("cii@chubu.example.jp", {base64Part("OTHER")}));
    mailbox_->deliver(mailMessage("first@example.jp, " + kPartner, {base64Part("SECOND")}));
    mailbox_->deliver("To: " + kPartner + "\r\nSubject: \x92\x8d\x95\xb6\r\nX Broken\r\n\r\n");  // 注文, raw CP932
    // Raw Shift-JIS in a subject is read as the Japanese mail programs write it.
    mailbox_->deliver(mailMessage(kPartner, {}, "Subject: \x92\x8d\x95\xb6\r\n"));
    EXPECT_EQ(receive(), u"9999"_s);
    const QString details = progress_.details.join(u'\n');
    EXPECT_TRUE(details.contains(u"相手先 orders@kansai.example.jp 宛ではないため対象外: 日付 Tue, 1 Apr 2003 09:00:00 +0900 "
                                 u"差出人 EDI Centre <edi@partner.example.jp> 件名 「orders」"_s))
        << details.toStdString();
    EXPECT_TRUE(details.contains(u"相手先 orders@kansai.example.jp が最初の宛先ではないため対象外: "_s));
    // The error names the message as a person finds it, in Japanese.
    EXPECT_TRUE(progress_.events.join(u'\n').contains(u"件名 「注文」"_s)) << progress_.events.join(u'\n').toStdString();

    writeIni(mailbox_->store(), QString(70, u'u'));  // a user name longer than [MAPI] keeps
    receive();
    EXPECT_TRUE(progress_.details.contains(u"警告: [MAPI] ProfileName は 63 文字を超えるため切って使います"_s))
        << progress_.details.join(u'\n').toStdString();
}

TEST_P(MailReceptionTest, DeletedMailIsPassedOver)
{
    // Deleted in a mail program (Maildir "T", IMAP \Deleted) but not yet expunged.
    const QString deleted = mailbox_->deliver(mailMessage(kPartner, {}), u"T"_s);
    const QString mine = mailbox_->deliver(mailMessage(kPartner, {base64Part(ciiFile("DATA"))}));
    ASSERT_EQ(receive(), u"0000"_s) << progress_.events.join(u'\n').toStdString();
    EXPECT_EQ(readFile(path(u"received/"_s + kJobCii)), ciiFile("DATA"));
    EXPECT_TRUE(mailbox_->isRead(mine));
    EXPECT_EQ(mailbox_->flags(deleted), u"T"_s);
}

std::string storeName(const ::testing::TestParamInfo<StoreKind>& info)
{
    return info.param == StoreKind::Imap ? "Imap" : "Maildir";
}
INSTANTIATE_TEST_SUITE_P(Stores, MailReceptionTest, ::testing::Values(StoreKind::Maildir, StoreKind::Imap), storeName);
INSTANTIATE_TEST_SUITE_P(Stores, MailLimitsTest, ::testing::Values(StoreKind::Maildir, StoreKind::Imap), storeName);

}  // namespace
}  // namespace edi::test
