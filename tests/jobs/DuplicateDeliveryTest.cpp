#include "JobFixture.h"
#include "convert/ciixml/CiiXmlConverter.h"
#include "jobs/JobSequence.h"
#include "jobs/WaitingFiles.h"
#include "support/TestFiles.h"

#include <QFile>

using namespace Qt::Literals::StringLiterals;

namespace edi::test {
namespace {

// Data a partner sends again (a resend by mistake, a mail taken twice, a package that delivers
// again) is registered once: the second delivery is kept aside, alerts, and registers only when
// an operator runs it again with --force. The check runs as it does by default (DUPDAYS 30).
class DuplicateDeliveryTest : public JobFixture {
protected:
    DuplicateDeliveryTest() { useRegistration(); }

    // The registration program with the ledger, optionally failing a category; more lines for
    // [動作環境] (DUPDAYS); an alert command that lists each alert's centre, serial and code.
    void useRegistration(const QString& options = {}, const QString& environment = {})
    {
        environmentKeys_ = environment;
        writeIni(path(u"bin/edi-register"_s) + u" --in "_s + path(u"received/"_s) + u" --ledger "_s + path(u"ledger.txt"_s)
                 + options);
        QFile ini(path(u"EDI.ini"_s));
        ASSERT_TRUE(ini.open(QIODevice::Append));
        ini.write((u"[ALERT]\nCOMMAND=echo \"$EDI_CENTRE $EDI_SERIAL $EDI_CODE\" >> %1\n"_s.arg(path(u"alerts.log"_s))).toUtf8());
    }
    int registered() const
    {
        return QFile::exists(path(u"ledger.txt"_s)) ? int(readFile(path(u"ledger.txt"_s)).count('\n')) : 0;
    }
    QByteArray alerts() const { return QFile::exists(path(u"alerts.log"_s)) ? readFile(path(u"alerts.log"_s)) : QByteArray(); }
    RowState handOver(const QByteArray& data)
    {
        writeFile(path(u"handover/WC01.CII"_s), data);
        return run(u"WC01"_s);
    }
    // The job row of a serial: end code and note.
    QString jobRow(qint32 serial) const
    {
        const ResultSet row = db_->query(
            {u"SELECT 終了コード, 備考 FROM FL1102処理履歴ファイル WHERE 通番 = ? AND 枝番 = 0"_s, {serial}});
        return row.atEnd() ? QString() : row.value(0).toString() + u'|' + row.value(1).toString();
    }
    RerunOutcome rerun(qint32 serial, bool force = false)
    {
        observer_ = {};
        return rerunJob(*job_, serial, force, observer_);
    }
    QStringList waiting() const { return filesWaitingForOperator(*db_, kMachine, path(u"received/"_s)); }
};

TEST_P(DuplicateDeliveryTest, TheSameDeliveryAgainIsKeptAsideUntilAnOperatorForcesIt)
{
    ASSERT_EQ(handOver(demoCii(2)), RowState::Finished) << observer_.notes.join(u'\n').toStdString();
    ASSERT_EQ(registered(), 2);

    ASSERT_EQ(handOver(demoCii(2)), RowState::Failed);
    EXPECT_EQ(observer_.texts, (QStringList{u"6:受信中"_s, u"6:OK"_s, u"6:重複"_s}));
    EXPECT_EQ(registered(), 2);
    // Taken from its source, not converted, its job row says why and how to register it.
    EXPECT_EQ(history().mid(4), (QStringList{u"2|0|R|1|01|WC01|done| | | |0|0| |8004|0000| "_s,
                                             u"2|1|R|1|10|WC01|done| | | |0|0| |0000|0000| "_s}));
    const QString kept = path(u"received/00000002_RCV_WC01________.CII.DUPLICATE"_s);
    EXPECT_TRUE(jobRow(2).contains(u"通番 00000001 で登録済みのデータと同じ内容 (SHA-256 "_s)) << jobRow(2).toStdString();
    EXPECT_TRUE(jobRow(2).contains(kept + u" (登録するには edi-auto --rerun 2 --force)"_s)) << jobRow(2).toStdString();
    EXPECT_TRUE(observer_.reported.first().startsWith(u"通番 00000002 WC01 異常終了 8004 受信済みのデータと同じため登録せず"_s));
    EXPECT_FALSE(QFile::exists(path(u"handover/WC01.CII"_s)));
    EXPECT_EQ(readFile(kept), demoCii(2));
    EXPECT_FALSE(QFile::exists(path(u"received/00000002_RCV_WC01________.CII"_s)));
    EXPECT_EQ(alerts(), "WC01 00000002 8004\n");
    EXPECT_EQ(waiting(), QStringList{kept});

    // A re-run is refused with the reason, unless forced; forced, it registers and the file
    // no longer waits.
    const RerunOutcome refused = rerun(2);
    EXPECT_EQ(refused.state, RowState::Failed);
    EXPECT_EQ(refused.refusal, u"通番 00000002 のデータは受信済みのデータと同じため登録していません (--force で再実行できます)"_s);
    const RerunOutcome forced = rerun(2, true);
    ASSERT_EQ(forced.state, RowState::Finished) << forced.refusal.toStdString() << observer_.notes.join(u'\n').toStdString();
    EXPECT_EQ(registered(), 4);
    EXPECT_TRUE(jobRow(3).startsWith(u"0000|端末 TESTPC / 再実行 通番 00000002 / 受信済みのデータと同じですが、再実行 (--force) のため登録します: 通番 00000001"_s))
        << jobRow(3).toStdString();
    EXPECT_TRUE(waiting().isEmpty()) << waiting().join(u'\n').toStdString();
    EXPECT_EQ(readFile(path(u"received/00000002_RCV_WC01________.CII"_s)), demoCii(2));
    EXPECT_EQ(readFile(path(u"received/00000003_RCV_WC01________.CII"_s)), demoCii(2));
}

TEST_P(DuplicateDeliveryTest, AResentMessageGroupIsKnownByItsHeader)
{
    db_->execute({u"DROP TABLE EDI受信データ照合"_s, {}});  // a database made before the table: it is made
    GroupFields monday;
    monday.reference = u"REF0001"_s;
    monday.created = u"261207080000"_s;
    ASSERT_EQ(handOver(demoCii(2, monday)), RowState::Finished);

    // Other bytes (the orders were appended to), the same group: sender, receiver, class,
    // reference and creation time.
    ASSERT_EQ(handOver(demoCii(3, monday)), RowState::Failed);
    EXPECT_TRUE(jobRow(2).startsWith(u"8004|"_s));
    EXPECT_TRUE(jobRow(2).contains(
        u"同じメッセージグループ (発信者 S1 受信者 R1 情報区分 0101 交換参照番号 REF0001 作成日時 261207080000)"_s))
        << jobRow(2).toStdString();

    // A group made later, or for another receiver, is new.
    GroupFields tuesday = monday;
    tuesday.created = u"261208080000"_s;
    EXPECT_EQ(handOver(demoCii(3, tuesday)), RowState::Finished);
    GroupFields otherPlant = monday;
    otherPlant.receiver = u"R2"_s;
    EXPECT_EQ(handOver(demoCii(3, otherPlant)), RowState::Finished);
    // Without a creation time a header tells nothing: only the content counts.
    GroupFields undated = monday;
    undated.created.clear();
    EXPECT_EQ(handOver(demoCii(4, undated)), RowState::Finished);
    EXPECT_EQ(handOver(demoCii(5, undated)), RowState::Finished);
    EXPECT_EQ(registered(), 2 + 3 + 3 + 4 + 5);
}

TEST_P(DuplicateDeliveryTest, OnlyWhatWasRegisteredWithinDupDaysCounts)
{
    // A delivery whose registration failed comes again and is registered.
    useRegistration(u" --fail 0101"_s);
    ASSERT_EQ(handOver(demoCii(2)), RowState::Failed);
    useRegistration();
    ASSERT_EQ(handOver(demoCii(2)), RowState::Finished) << observer_.notes.join(u'\n').toStdString();
    EXPECT_EQ(registered(), 2);

    // Thirty days on it is still known; a day later it is not.
    clock_.set(clock_.now().addDays(30));
    EXPECT_EQ(handOver(demoCii(2)), RowState::Failed);
    clock_.set(clock_.now().addDays(1));
    EXPECT_EQ(handOver(demoCii(2)), RowState::Finished);
    EXPECT_EQ(registered(), 4);

    // DUPDAYS sets the days; 0 turns the check off.
    useRegistration({}, u"DUPDAYS=2\n"_s);
    clock_.set(clock_.now().addDays(2));
    EXPECT_EQ(handOver(demoCii(2)), RowState::Failed);
    useRegistration({}, u"DUPDAYS=0\n"_s);
    EXPECT_EQ(handOver(demoCii(2)), RowState::Finished);
    EXPECT_EQ(registered(), 6);
}

// A check that cannot be made fails the job before anything is registered; its data waits in the
// received-files folder for a re-run.
TEST_P(DuplicateDeliveryTest, ACheckThatCannotBeMadeFailsTheJob)
{
    db_->execute({u"DROP TABLE EDI受信データ照合"_s, {}});
    db_->execute({u"CREATE TABLE EDI受信データ照合 (センターコード VARCHAR(12))"_s, {}});
    ASSERT_EQ(handOver(demoCii(2)), RowState::Failed);
    EXPECT_EQ(observer_.texts, (QStringList{u"6:受信中"_s, u"6:OK"_s, u"6:受信ｴﾗｰ"_s}));
    EXPECT_TRUE(jobRow(1).startsWith(u"9999|端末 TESTPC / 受信データを照合できません: "_s)) << jobRow(1).toStdString();
    EXPECT_EQ(registered(), 0);

    db_->execute({u"DROP TABLE EDI受信データ照合"_s, {}});
    EXPECT_EQ(rerun(1).state, RowState::Finished) << observer_.notes.join(u'\n').toStdString();
    EXPECT_EQ(registered(), 2);
}

TEST_P(DuplicateDeliveryTest, AMailTakenTwiceAndAPackageDeliveredAgain)
{
    TestMailbox mailbox = TestMailbox::maildir(path(u"mail/Maildir"_s));
    QFile ini(path(u"EDI.ini"_s));
    ASSERT_TRUE(ini.open(QIODevice::Append));
    ini.write("[MAPI]\nProfileName=edi\nPassword=\nStore=mail/Maildir\n");
    ini.close();
    const QByteArray message = mailMessage("cii@chubu.example.jp", {base64Part(demoCii(3), "filename=\"MC01.CII\"")});
    mailbox.deliver(message);
    ASSERT_EQ(run(u"MC01"_s), RowState::Finished) << mailProgress_.events.join(u'\n').toStdString();
    // The same mail once more: it is read like any received mail, and its data kept aside.
    const QString again = mailbox.deliver(message);
    ASSERT_EQ(run(u"MC01"_s), RowState::Failed);
    EXPECT_TRUE(jobRow(2).startsWith(u"8004|"_s)) << jobRow(2).toStdString();
    EXPECT_TRUE(mailbox.isRead(again));
    EXPECT_TRUE(QFile::exists(path(u"received/00000002_RCV_MC01________.CII.DUPLICATE"_s)));

    // The package delivers the partner's file again; a centre is compared with its own
    // deliveries only (MC01 received the same orders).
    writeFile(path(u"partner/ZC01.CII"_s), demoCii(3));
    ASSERT_EQ(run(u"ZC01"_s), RowState::Finished) << observer_.notes.join(u'\n').toStdString();
    ASSERT_EQ(run(u"ZC01"_s), RowState::Failed);
    EXPECT_TRUE(jobRow(4).startsWith(u"8004|"_s)) << jobRow(4).toStdString();
    EXPECT_TRUE(QFile::exists(path(u"received/00000004_RCV_ZC01________.CII.DUPLICATE"_s)));
    EXPECT_EQ(registered(), 6);
    EXPECT_EQ(alerts(), "MC01 00000002 8004\nZC01 00000004 8004\n");
}

TEST_P(DuplicateDeliveryTest, AnXmlDocumentSentTwiceIsKeptAsideAndForcedFromThere)
{
    writeFile(path(u"partner/WX01.CII"_s), demoCii(3));
    ConversionContext context;
    ConversionLog log(path(u"ERR.LOG"_s));
    ASSERT_TRUE(convertCiiXml(job_->masters(), context, log, 0, path(u"partner/WX01.CII"_s), path(u"partner/WX01.XML"_s))
                    .succeeded());
    const QByteArray document = readFile(path(u"partner/WX01.XML"_s));
    for (int delivery = 0; delivery < 2; ++delivery) {
        writeFile(path(u"handover/WX01.XML"_s), document);
        run(u"WX01"_s);
    }
    EXPECT_TRUE(jobRow(2).startsWith(u"8004|"_s)) << jobRow(2).toStdString();
    EXPECT_EQ(files(u"received"_s).filter(u"00000002"_s), QStringList{u"00000002_RCV_WX01________.XML.DUPLICATE"_s});
    EXPECT_EQ(registered(), 3);

    ASSERT_EQ(rerun(2, true).state, RowState::Finished) << observer_.notes.join(u'\n').toStdString();
    EXPECT_EQ(registered(), 6);
    EXPECT_EQ(readFile(path(u"received/00000003_RCV_WX01________.XML"_s)), document);
}

INSTANTIATE_TEST_SUITE_P(Backends, DuplicateDeliveryTest, ::testing::Values(Backend::Sqlite, Backend::PostgreSql),
                         [](const auto& info) { return backendName(info.param); });

}  // namespace
}  // namespace edi::test
