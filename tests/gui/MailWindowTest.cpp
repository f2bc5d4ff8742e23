#include "gui/MailWindow.h"
#include "support/TestFiles.h"
#include "support/TestMail.h"
#include "transport/MailTransport.h"
#include "transport/TransferRequests.h"

#include <QAbstractButton>
#include <QApplication>
#include <QListWidget>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <future>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace edi::test {
namespace {

QStringList lines(const QListWidget& list)
{
    QStringList texts;
    for (int row = 0; row < list.count(); ++row)
        texts << list.item(row)->text();
    return texts;
}

QMessageBox* errorBox()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == u"MAIL_ERROR"_s && widget->isVisible())
            return qobject_cast<QMessageBox*>(widget);
    }
    return nullptr;
}

// The real mail transport on a job's thread, reporting to the window.
class MailWindowTest : public ::testing::Test {
protected:
    MailWindowTest() : mailbox_(TestMailbox::maildir(dir_.filePath(u"Maildir"_s)))
    {
        QDir().mkpath(dir_.filePath(u"received"_s));
    }
    void writeIni(const QString& store)
    {
        writeFile(dir_.filePath(u"EDI.ini"_s),
                  (u"[MAPI]\nProfileName=edi\nPassword=secret\nStore="_s + store + u'\n').toUtf8());
    }
    // Runs a reception for the partner on another thread; the window's thread keeps turning.
    std::future<QString> receiveOnJobThread()
    {
        return std::async(std::launch::async, [this] {
            MailTransport transport(dir_.filePath(u"EDI.ini"_s), dir_.filePath(u"received/"_s), window_);
            MailRequest request{u"MX01"_s, 7, u"R"_s, u"C"_s, u"orders@kansai.example.jp"_s, {}};
            TransferReceipt receipt = transport.receive(request);
            if (receipt.claim)
                receipt.claim->release();
            return receipt.code;
        });
    }
    static QString waitFor(std::future<QString>& result)
    {
        while (result.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready)
            QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        return result.get();
    }

    QTemporaryDir dir_;
    TestMailbox mailbox_;
    MailWindow window_;
};

TEST_F(MailWindowTest, ShowsTheStepsOfAReceptionAndClosesAtItsEnd)
{
    writeIni(mailbox_.store());
    mailbox_.deliver(mailMessage("orders@kansai.example.jp", {textPart("orders"), base64Part(ciiFile("CII DATA"))}));
    window_.progressList()->addItem(u"a line of the last job"_s);
    bool shownDuringTheJob = false;
    QObject::connect(window_.progressList()->model(), &QAbstractItemModel::rowsInserted, &window_,
                     [&] { shownDuringTheJob = shownDuringTheJob || window_.isVisible(); });

    std::future<QString> result = receiveOnJobThread();
    EXPECT_EQ(waitFor(result), u"0000"_s);
    EXPECT_TRUE(shownDuringTheJob);
    EXPECT_FALSE(window_.isVisible());
    EXPECT_EQ(window_.windowTitle(), u"メール送受信"_s);
    EXPECT_EQ(lines(*window_.progressList()),
              (QStringList{u"パラメータチェック"_s, u"INIファイル読込み"_s, u"受信処理開始"_s, u"ログオン"_s,
                           u"受信トレイ検索"_s, u"添付ファイル格納"_s, u"ログオフ"_s}));
    EXPECT_EQ(readFile(dir_.filePath(u"received/00000007_RCV_MX01________.CII"_s)), ciiFile("CII DATA"));
}

TEST_F(MailWindowTest, AnErrorWaitsInAMessageBoxWithoutHoldingTheJob)
{
    writeIni(dir_.filePath(u"no-such-store"_s));
    std::future<QString> result = receiveOnJobThread();
    EXPECT_EQ(waitFor(result), u"9999"_s);  // ended while the box is still open
    EXPECT_FALSE(window_.isVisible());
    QMessageBox* box = errorBox();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->text().startsWith(u"Error "_s)) << qPrintable(box->text());
    box->button(QMessageBox::Ok)->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(errorBox(), nullptr);
}

}  // namespace
}  // namespace edi::test
