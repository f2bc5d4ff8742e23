#include "MailFixture.h"

#include "support/TestFiles.h"

#include <QCryptographicHash>
#include <QFile>

using namespace Qt::Literals::StringLiterals;

namespace edi::test {
namespace {

constexpr qint64 kMiB = 1024 * 1024;

class MailLimitsTest : public MailFixture {
protected:
    // Runs a reception and returns how far the peak resident memory rose above what was in use.
    qint64 receiveMeasured(const QString& format = u"C"_s)
    {
        const qint64 before = currentMemory();
        resetPeakMemory();
        EXPECT_EQ(receive(format), u"0000"_s) << progress_.events().join(u'\n').toStdString();
        return peakMemory() - before;
    }
};

TEST_P(MailLimitsTest, AHugeAttachmentIsStreamedToItsFile)
{
    // 64 MiB of attachment, written into the mailbox piece by piece.
    QByteArray block(3 * 256 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < block.size(); ++i)
        block[i] = char((i * 7 + i / 251) & 0xff);
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
    const QString mine = mailbox_->deliver(mailMessage(kPartner, {base64Part("MINE")}));

    EXPECT_LT(receiveMeasured(), 16 * kMiB);
    EXPECT_EQ(readFile(path(u"received/00000012_RCV_ABC_________.CII"_s)), QByteArray("MINE"));
    EXPECT_EQ(mailbox_->readMessages(), QStringList{mine});
}

INSTANTIATE_TEST_SUITE_P(Stores, MailLimitsTest, ::testing::Values(StoreKind::Maildir, StoreKind::Imap), storeName);

}  // namespace
}  // namespace edi::test
