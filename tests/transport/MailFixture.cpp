#include "MailFixture.h"

#include "support/TestFiles.h"
#include "transport/MailTransport.h"

#include <QDir>
#include <atomic>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace edi::test {

const QByteArray MailFixture::kPartner = "orders@kansai.example.jp";
const QStringList MailFixture::kSuccess{u"started"_s,   u"パラメータチェック"_s, u"INIファイル読込み"_s,
                                        u"受信処理開始"_s, u"ログオン"_s,          u"受信トレイ検索"_s,
                                        u"添付ファイル格納"_s, u"ログオフ"_s,       u"finished"_s};

void MailFixture::SetUp()
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

void MailFixture::writeIni(const QString& store, const QString& user, const QString& password)
{
    writeFile(path(u"EDI.ini"_s), (u"[MAPI]\nProfileName="_s + user + u"\nPassword="_s + password + u"\nStore="_s + store
                                   + u"\n[MAIL]\nMAIL-TEXT=受信\\n以上\n"_s)
                                      .toUtf8());
}

QString MailFixture::receive(const QString& format, qint32 serial)
{
    return receive(MailRequest{u"ABC"_s, serial, u"R"_s, format, QString::fromLatin1(kPartner), {}});
}

QString MailFixture::receive(MailRequest request)
{
    progress_.clear();
    MailTransport transport(path(u"EDI.ini"_s), path(u"received/"_s), progress_);
    const QString code = transport.receive(request);
    EXPECT_EQ(request.resultCode, code);
    return code;
}

QStringList MailFixture::received() const
{
    return QDir(path(u"received"_s)).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

std::string storeName(const ::testing::TestParamInfo<StoreKind>& info)
{
    return info.param == StoreKind::Imap ? "Imap" : "Maildir";
}

}  // namespace edi::test
