#include "JobFixture.h"
#include "convert/ciixml/CiiXmlConverter.h"
#include "jobs/JobSequence.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;

namespace edi::test {
namespace {

// Jobs run again from what an earlier job received: a registration that failed, a conversion
// that failed, and what may never run twice.
class RerunTest : public JobFixture {
protected:
    RerunTest()
    {
        writeIni(path(u"bin/edi-register"_s) + u" --in "_s + path(u"received/"_s) + u" --ledger "_s + ledger());
    }
    QString ledger() const { return path(u"ledger.txt"_s); }
    // Records registered so far, one ledger line each.
    int registered() const { return QFile::exists(ledger()) ? int(readFile(ledger()).count('\n')) : 0; }
    RerunOutcome rerun(qint32 serial, bool force = false)
    {
        observer_ = {};
        return rerunJob(*job_, serial, force, observer_);
    }
};

TEST_P(RerunTest, AFailedRegistrationRunsAgainOnceFromTheReceivedFile)
{
    writeIni(path(u"bin/edi-register"_s) + u" --in "_s + path(u"received/"_s) + u" --fail 0101"_s);
    ASSERT_EQ(run(u"ZC01"_s), RowState::Failed);
    ASSERT_EQ(registered(), 0);

    // The registration works again; the partner's file stays with the failed job alone.
    writeIni(path(u"bin/edi-register"_s) + u" --in "_s + path(u"received/"_s) + u" --ledger "_s + ledger());
    const RerunOutcome outcome = rerun(1);
    ASSERT_TRUE(outcome.refusal.isEmpty()) << outcome.refusal.toStdString();
    ASSERT_EQ(outcome.state, RowState::Finished) << observer_.notes.join(u'\n').toStdString();
    EXPECT_EQ(observer_.texts, (QStringList{u"6:受信中"_s, u"6:OK"_s, u"7:変換中"_s, u"7:OK"_s, u"8:登録中"_s, u"8:OK"_s}));
    EXPECT_EQ(registered(), 2);
    const QStringList rows = history();
    EXPECT_TRUE(rows.contains(u"2|1|R|1|10|ZC01|done| | | |0|0| |0000|0000| "_s)) << rows.join(u'\n').toStdString();
    EXPECT_TRUE(rows.last().startsWith(u"2|3|R|1|41|ZC01|done|K0001| |0101|2|2| |0000|0000|"_s));
    EXPECT_TRUE(notes().contains(u"2|0|端末 TESTPC / 再実行 通番 00000001"_s)) << notes().join(u'\n').toStdString();
    EXPECT_EQ(readFile(path(u"received/00000002_RCV_ZC01________.CII"_s)), demoCii());
    EXPECT_TRUE(QFile::exists(path(u"backup/00000002_RCV_ZC01________.CII"_s)));

    // Its data is registered now: running it again, or the re-run, is refused, unless forced.
    for (qint32 serial : {1, 2}) {
        const RerunOutcome again = rerun(serial);
        EXPECT_EQ(again.state, RowState::Failed);
        EXPECT_TRUE(again.refusal.contains(u"登録済み"_s)) << again.refusal.toStdString();
    }
    EXPECT_TRUE(rerun(1).refusal.contains(u"通番 00000002 として再実行"_s));
    EXPECT_EQ(registered(), 2);
    EXPECT_EQ(rerun(1, true).state, RowState::Finished);
    EXPECT_EQ(registered(), 4);
}

TEST_P(RerunTest, AnXmlCentresDocumentsComeBackFromTheBackup)
{
    writeFile(path(u"partner/WX01.CII"_s), demoCii(3));
    ConversionContext context;
    ConversionLog log(path(u"ERR.LOG"_s));
    ASSERT_TRUE(convertCiiXml(job_->masters(), context, log, 0, path(u"partner/WX01.CII"_s), path(u"handover/WX01.XML"_s))
                    .succeeded());
    db_->execute({u"DELETE FROM FL1915センタ利用企業マスタ WHERE センターコード = ?"_s, {u"WX01"_s}});
    ASSERT_EQ(run(u"WX01"_s), RowState::Failed);  // registered nothing: no partner company
    db_->execute({u"INSERT INTO FL1915センタ利用企業マスタ VALUES (?, ?)"_s, {u"WX01"_s, u"K0004"_s}});

    // The received files are gone from the received-files folder; the backup has them.
    for (const QString& name : files(u"received"_s))
        QFile::remove(path(u"received/"_s + name));
    const RerunOutcome outcome = rerun(1);
    ASSERT_EQ(outcome.state, RowState::Finished) << outcome.refusal.toStdString() << observer_.notes.join(u'\n').toStdString();
    EXPECT_EQ(registered(), 3);
    // The XML document was converted anew, not the CII file the first job made of it.
    EXPECT_TRUE(history().contains(
        u"2|2|R|1|34|WX01|done| |DEMO0101|0101|0|0|M|0000|0000|received/00000002_RCV_WX01________.XML"_s))
        << history().join(u'\n').toStdString();
}

TEST_P(RerunTest, JobsThatCannotRunAgain)
{
    EXPECT_TRUE(rerun(7).refusal.contains(u"履歴にありません"_s));

    // A FIFO where the file is handed over: the transfer failed.
    ASSERT_EQ(::mkfifo(QFile::encodeName(path(u"handover/WC01.CII"_s)).constData(), 0600), 0);
    ASSERT_EQ(run(u"WC01"_s), RowState::Failed);
    EXPECT_TRUE(rerun(1).refusal.contains(u"受信できていません"_s));
    ASSERT_TRUE(QFile::remove(path(u"handover/WC01.CII"_s)));

    // A job whose rows are open still runs, or its process ended and it waits for recovery.
    writeFile(path(u"handover/WC01.CII"_s), demoCii(1));
    writeIni(path(u"bin/edi-register"_s) + u" --fail 0101"_s);
    ASSERT_EQ(run(u"WC01"_s), RowState::Failed);
    db_->execute({u"UPDATE FL1102処理履歴ファイル SET 処理終了日付 = NULL WHERE 通番 = 2 AND 枝番 = 2"_s, {}});
    EXPECT_TRUE(rerun(2).refusal.contains(u"まだ完了していません"_s));

    // Received, but its file is nowhere any more.
    db_->execute({u"UPDATE FL1102処理履歴ファイル SET 処理終了日付 = 処理開始日付 WHERE 通番 = 2"_s, {}});
    for (const char* folder : {"received", "backup"})
        QDir(path(QString::fromLatin1(folder))).removeRecursively();
    QDir().mkpath(path(u"received"_s));
    EXPECT_TRUE(rerun(2).refusal.contains(u"受信ファイルがありません"_s));
    EXPECT_EQ(registered(), 0);

    // A reception that brought no data has nothing to run again.
    ASSERT_EQ(run(u"WC01"_s), RowState::Finished);
    EXPECT_TRUE(rerun(3).refusal.contains(u"受信ファイルがありません"_s)) << rerun(3).refusal.toStdString();
}

// The registration rows alone refuse a job whose data was registered, wholly or in part: its
// status file may be gone.
TEST_P(RerunTest, ARegisteredJobIsRefusedByItsRowsWithoutItsStatusFile)
{
    auto statusFile = [this](const char* serial) { return path(u"registration/status/%1_K_IN_STATUS.TXT"_s.arg(QLatin1StringView(serial))); };
    ASSERT_EQ(run(u"ZC01"_s), RowState::Finished);
    ASSERT_TRUE(QFile::remove(statusFile("00000001")));
    EXPECT_EQ(rerun(1).refusal, u"通番 00000001 のデータは登録済みです (--force で再実行できます)"_s);

    writeIni(path(u"bin/edi-register"_s) + u" --in "_s + path(u"received/"_s) + u" --ledger "_s + ledger() + u" --fail 0102"_s,
             u"0101\n0102"_s);
    ASSERT_EQ(run(u"ZC01"_s), RowState::Failed);
    ASSERT_TRUE(history().contains(u"2|3|R|1|41|ZC01|done|K0001| |0101|2|2| |0000|0000|received/00000002_RCV_ZC01________0101.LOC"_s))
        << history().join(u'\n').toStdString();
    ASSERT_TRUE(QFile::remove(statusFile("00000002")));
    EXPECT_EQ(rerun(2).refusal, u"通番 00000002 のデータは登録済みです (--force で再実行できます)"_s);
    EXPECT_EQ(registered(), 4);
}

// A job another workstation ran is run again from its files where this one finds them (a shared
// folder); its refusals and the re-run's rows name that workstation.
TEST_P(RerunTest, AnotherMachinesJobIsNamedWhenItRunsAgain)
{
    writeIni(path(u"bin/edi-register"_s) + u" --in "_s + path(u"received/"_s) + u" --fail 0101"_s);
    ASSERT_EQ(run(u"ZC01"_s), RowState::Failed);
    db_->execute({u"UPDATE FL1102処理履歴ファイル SET 備考 = ? WHERE 通番 = 1 AND 枝番 = 0"_s, {History::machineNote(u"WS-B"_s)}});
    writeIni(path(u"bin/edi-register"_s) + u" --in "_s + path(u"received/"_s) + u" --ledger "_s + ledger());

    ASSERT_EQ(rerun(1).state, RowState::Finished) << observer_.notes.join(u'\n').toStdString();
    const QString copied = u"2|1|再実行: 端末 WS-B の通番 00000001 の受信ファイル %1 から"_s.arg(path(u"received/00000001_RCV_ZC01________.CII"_s));
    EXPECT_TRUE(notes().contains(copied)) << notes().join(u'\n').toStdString();
    EXPECT_EQ(rerun(1).refusal,
              u"通番 00000001 のデータは通番 00000002 として再実行され、登録済みです (--force で再実行できます) (端末 WS-B のジョブ)"_s);
    db_->execute({u"UPDATE FL1102処理履歴ファイル SET 処理終了日付 = NULL WHERE 通番 = 1 AND 枝番 = 0"_s, {}});
    EXPECT_EQ(rerun(1).refusal,
              u"通番 00000001 のジョブはまだ完了していません (実行中、または中断後の完了待ち) (端末 WS-B のジョブ)"_s);
    EXPECT_EQ(registered(), 2);
}

INSTANTIATE_TEST_SUITE_P(Backends, RerunTest, ::testing::Values(Backend::Sqlite, Backend::PostgreSql),
                         [](const auto& info) { return backendName(info.param); });

}  // namespace
}  // namespace edi::test
