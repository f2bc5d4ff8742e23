#include "JobFixture.h"
#include "app/locks/ExclusiveLocks.h"
#include "convert/ciixml/CiiXmlConverter.h"
#include "jobs/History.h"
#include "jobs/HistoryListing.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <chrono>
#include <thread>

using namespace Qt::Literals::StringLiterals;

namespace edi::test {
namespace {

class JobSequenceTest : public JobFixture {};

TEST_P(JobSequenceTest, PackageReceptionRunsEveryStep)
{
    ASSERT_EQ(run(u"ZC01"_s), RowState::Finished) << observer_.notes.join(u'\n').toStdString();
    EXPECT_EQ(observer_.texts, (QStringList{u"6:受信中"_s, u"6:OK"_s, u"7:変換中"_s, u"7:OK"_s, u"8:登録中"_s, u"8:OK"_s}));
    EXPECT_EQ(observer_.states, (QList<int>{1, 2}));
    EXPECT_EQ(history(), (QStringList{
                             u"1|0|R|1|01|ZC01|done|K0001| |0101|2|2| |0000|0000|received/00000001_RCV_ZC01________0101.LOC"_s,
                             u"1|1|R|1|10|ZC01|done| | | |0|0| |0000|0000| "_s,
                             u"1|2|R|1|31|ZC01|done| | | |2|2| |0000|0000|received/00000001_RCV_ZC01________.CII"_s,
                             u"1|3|R|1|41|ZC01|done|K0001| |0101|2|2| |0000|0000|received/00000001_RCV_ZC01________0101.LOC"_s,
                         }));
    // The package got its key-in file and left its file where the driver copied it from.
    EXPECT_EQ(readFile(path(u"cvx/Zkeyin.dat"_s)), QByteArray("00000001\r\n1\r\n05\r\n12\r\nD\r\nN\r\n1\r\n0\r\n0\r\n0\r\n1\r\n"));
    EXPECT_EQ(readFile(path(u"received/00000001_RCV_ZC01________.CII"_s)), demoCii());
    EXPECT_EQ(readFile(path(u"received/00000001_RCV_ZC01________0101.LOC"_s)).count("\r\n"), 2);
    EXPECT_EQ(files(u"backup"_s), files(u"received"_s));
    EXPECT_EQ(readFile(path(u"registration/command/EDI00000001.INI"_s)),
              (u"/[EDI]0101TXT=%EDI_IN%00000001_RCV_ZC01________0101.LOC\r\n/[EDI]OPERATOR=OP01\r\n/[EDI]STATUS_FILE="_s
               + path(u"registration/status/00000001_K_IN_STATUS.TXT"_s) + u"\r\n"_s)
                  .toUtf8());

    ASSERT_EQ(run(u"ZC01"_s), RowState::Finished);  // the next job takes the next serial
    EXPECT_TRUE(history().last().startsWith(u"2|3|R|1|41"_s));
}

TEST_P(JobSequenceTest, PackageFailures)
{
    setPackage(u"STATUS=0042"_s);
    ASSERT_EQ(run(u"ZC01"_s), RowState::Failed);
    EXPECT_EQ(observer_.texts, (QStringList{u"6:受信中"_s, u"6:受信ｴﾗｰ"_s}));
    // The job row is completed too, with the code of the step that failed: an open job row is
    // one that still runs or whose process ended.
    EXPECT_EQ(history(), (QStringList{u"1|0|R|1|01|ZC01|done| | | |0|0| |5001|0000| "_s,
                                      u"1|1|R|1|10|ZC01|done| | | |0|0| |5001|0042| "_s}));
    EXPECT_EQ(notes().first(), u"1|0|端末 TESTPC / 受信ｴﾗｰ"_s);
    EXPECT_TRUE(files(u"received"_s).isEmpty());

    setPackage(u"STATUS=NONE"_s);  // no status file: the driver failed, no status code
    EXPECT_EQ(run(u"ZC01"_s), RowState::Failed);
    EXPECT_EQ(history().last(), u"2|1|R|1|10|ZC01|done| | | |0|0| |5001|0000| "_s);

    setPackage(u"LOG=NO"_s);  // the serial is not in the transfer log
    EXPECT_EQ(run(u"ZC01"_s), RowState::Failed);
    EXPECT_EQ(history().last(), u"3|1|R|1|10|ZC01|done| | | |0|0| |5001|0000| "_s);

    setPackage(u"SLEEP=30"_s);  // a package that hangs is stopped at its time limit
    settings_.linkDriver.timeLimitSeconds = 1;
    rebuildJobContext();
    EXPECT_EQ(run(u"ZC01"_s), RowState::Failed);
    EXPECT_EQ(history().last(), u"4|1|R|1|10|ZC01|done| | | |0|0| |5001|0000| "_s);
}

TEST_P(JobSequenceTest, HandOverTakesTheFileThatWasPut)
{
    writeFile(path(u"handover/WC01.CII"_s), demoCii(1));
    ASSERT_EQ(run(u"WC01"_s), RowState::Finished) << observer_.notes.join(u'\n').toStdString();
    EXPECT_FALSE(QFile::exists(path(u"handover/WC01.CII"_s)));
    EXPECT_EQ(readFile(path(u"received/00000001_RCV_WC01________.CII"_s)), demoCii(1));

    // Nothing put: no data, which is no failure; nothing is converted, nothing created.
    ASSERT_EQ(run(u"WC01"_s), RowState::Finished);
    EXPECT_EQ(observer_.texts, (QStringList{u"6:受信中"_s, u"6:ﾃﾞｰﾀなし"_s}));
    EXPECT_EQ(history().mid(history().size() - 2), (QStringList{u"2|0|R|1|01|WC01|done| | | |0|0| |0000|0100| "_s,
                                                               u"2|1|R|1|10|WC01|done| | | |0|0| |0000|0100| "_s}));
    EXPECT_FALSE(files(u"received"_s).join(u' ').contains(u"00000002"_s));

    // A full-width format letter.
    db_->execute({u"UPDATE FL1903EDI制御マスタ SET 送受信データ形式 = ? WHERE センターコード = ?"_s, {u"Ｃ"_s, u"WC01"_s}});
    writeFile(path(u"handover/WC01.CII"_s), demoCii(1));
    EXPECT_EQ(run(u"WC01"_s), RowState::Finished);
}

// A reception that finds nothing new, or a file still being written, ends well without data: its
// job and transfer rows end "0000" with the detail that says which, nothing is converted or
// registered, the line is finished, and the history lists no failure.
TEST_P(JobSequenceTest, AReceptionThatBringsNothingEndsWellWithoutConverting)
{
    setPackage(u"TAKE=YES"_s);  // each of the partner's files is delivered once
    ASSERT_EQ(run(u"ZC01"_s), RowState::Finished);
    ASSERT_EQ(run(u"ZC01"_s), RowState::Finished);
    EXPECT_EQ(observer_.texts, (QStringList{u"6:受信中"_s, u"6:ﾃﾞｰﾀなし"_s}));
    EXPECT_EQ(observer_.states, (QList<int>{1, 2}));
    EXPECT_EQ(history().mid(4), (QStringList{u"2|0|R|1|01|ZC01|done| | | |0|0| |0000|0100| "_s,
                                            u"2|1|R|1|10|ZC01|done| | | |0|0| |0000|0100| "_s}));

    // A hand-over file its writer still holds open stays where it is for the next reception.
    settings_.reception.settleSeconds = 1;
    rebuildJobContext();
    const QString handOver = path(u"handover/WC01.CII"_s);
    writeFile(path(u"partner/WC01.CII"_s), demoCii(1));
    QProcess writer;
    writer.start(u"/bin/sh"_s, {u"-c"_s, u"exec 3>'%1'; cat '%2' >&3; sleep 3"_s.arg(handOver, path(u"partner/WC01.CII"_s))});
    for (int tries = 0; tries < 500 && !(QFile::exists(handOver) && readFile(handOver) == demoCii(1)); ++tries)
        QThread::msleep(10);
    ASSERT_EQ(run(u"WC01"_s), RowState::Finished);
    EXPECT_EQ(observer_.texts, (QStringList{u"6:受信中"_s, u"6:書込中"_s}));
    EXPECT_EQ(history().mid(6), (QStringList{u"3|0|R|1|01|WC01|done| | | |0|0| |0000|0101| "_s,
                                            u"3|1|R|1|10|WC01|done| | | |0|0| |0000|0101| "_s}));
    EXPECT_TRUE(notes().last().startsWith(u"3|1|書込み中のため受信せず: 持込ファイル %1 はプロセス "_s.arg(handOver)))
        << notes().last().toStdString();
    EXPECT_EQ(observer_.reported.first(), u"通番 00000003 WC01 正常終了 (0000/0101 書込み中のため受信せず) / 端末 TESTPC"_s);
    EXPECT_EQ(readFile(handOver), demoCii(1));
    EXPECT_FALSE(files(u"received"_s).join(u' ').contains(u"00000003"_s));

    ASSERT_TRUE(writer.waitForFinished(10000));
    ASSERT_EQ(run(u"WC01"_s), RowState::Finished);
    EXPECT_EQ(observer_.texts.last(), u"8:OK"_s);
    EXPECT_EQ(readFile(path(u"received/00000004_RCV_WC01________.CII"_s)), demoCii(1));

    EXPECT_TRUE(job_->history().jobs({QDate(2003, 4, 1), QDate(2003, 4, 1), {}, true}).empty());
}

TEST_P(JobSequenceTest, AJobWhoseCentreAnotherProcessReceivesTouchesNothing)
{
    writeFile(path(u"handover/WC01.CII"_s), demoCii(1));
    // Another process's view of the locks: a connection of its own.
    const std::unique_ptr<Database> other = database_.open();
    const std::unique_ptr<ExclusiveLocks> locks = ExclusiveLocks::forDatabase(*other);
    std::unique_ptr<HeldLock> held = locks->tryLock(LockScope::Centre, u"WC01"_s);
    ASSERT_TRUE(held);

    ASSERT_EQ(run(u"WC01"_s), RowState::Failed);
    EXPECT_EQ(observer_.texts, QStringList{u"6:他で受信中"_s});
    EXPECT_EQ(observer_.states, (QList<int>{1, 9}));
    EXPECT_EQ(history(), (QStringList{u"1|0|R|1|01|WC01|done| | | |0|0| |8001|0000| "_s,
                                      u"1|1|R|1|10|WC01|done| | | |0|0| |8001|0000| "_s}));
    EXPECT_TRUE(notes().first().contains(u"他のプロセスがセンター WC01 を受信中"_s));
    EXPECT_EQ(readFile(path(u"handover/WC01.CII"_s)), demoCii(1));
    EXPECT_TRUE(files(u"received"_s).isEmpty());
    EXPECT_TRUE(files(u"backup"_s).isEmpty());

    // Other centres go on meanwhile, and the centre itself once the lock is free.
    EXPECT_EQ(run(u"ZC01"_s), RowState::Finished);
    held.reset();
    EXPECT_EQ(run(u"WC01"_s), RowState::Finished);
    EXPECT_FALSE(QFile::exists(path(u"handover/WC01.CII"_s)));
}

TEST_P(JobSequenceTest, AnotherMachinesUnfinishedPackageReceptionKeepsThePackageCentreBusy)
{
    // Another workstation's jobs ended with their transfers under way.
    auto interrupted = [this](const QString& centre) {
        HistoryStart start{0, 0, u"R"_s, u"1"_s, u"01"_s, centre, History::machineNote(u"WS-B"_s)};
        EXPECT_EQ(job_->history().openJob(start), u"0000"_s);
        HistoryStart transfer{start.serial, 0, u"R"_s, u"1"_s, u"10"_s, centre, {}};
        EXPECT_EQ(job_->history().addStep(transfer), u"0000"_s);
        return start.serial;
    };
    const qint32 package = interrupted(u"ZC01"_s);
    interrupted(u"WC01"_s);

    // The package's file may be what that machine's package delivered: left alone. A hand-over
    // taken by that job is in a private name of its own, so the next one is received.
    ASSERT_EQ(run(u"ZC01"_s), RowState::Failed);
    EXPECT_EQ(observer_.texts, QStringList{u"6:他で受信中"_s});
    EXPECT_TRUE(notes().contains(u"3|1|センター ZC01 の前の受信が終わっていないため受信しませんでした: 端末 WS-B の通番 00000001 の通信パッケージによる受信が完了していません (その端末のプログラムが次に起動したときに完了します)"_s))
        << notes().join(u'\n').toStdString();
    EXPECT_FALSE(QFile::exists(path(u"cvx/recv/ZC01.DAT"_s)));
    writeFile(path(u"handover/WC01.CII"_s), demoCii(1));
    EXPECT_EQ(run(u"WC01"_s), RowState::Finished);

    // Once that machine has completed its job, the centre is received again.
    for (qint16 branch : {1, 0}) {
        HistoryCompletion completion;
        completion.serial = package;
        completion.branch = branch;
        completion.endCode = u"8002"_s;
        ASSERT_EQ(job_->history().closeRow(completion), u"0000"_s);
    }
    EXPECT_EQ(run(u"ZC01"_s), RowState::Finished);
}

TEST_P(JobSequenceTest, XmlFilesAreConvertedBeforeTheLocalRecords)
{
    // A partner's XML document, made from CII by the converter itself.
    writeFile(path(u"partner/WX01.CII"_s), demoCii(3));
    ConversionContext context;
    ConversionLog log(path(u"ERR.LOG"_s));
    ASSERT_TRUE(convertCiiXml(job_->masters(), context, log, 0, path(u"partner/WX01.CII"_s), path(u"handover/WX01.XML"_s))
                    .succeeded());
    ASSERT_EQ(run(u"WX01"_s), RowState::Finished) << observer_.notes.join(u'\n').toStdString();
    EXPECT_EQ(history().mid(2), (QStringList{
                                    u"1|2|R|1|34|WX01|done| |DEMO0101|0101|0|0|M|0000|0000|received/00000001_RCV_WX01________.XML"_s,
                                    u"1|3|R|1|31|WX01|done| |DEMO0101|0101|3|3|M|0000|0000|received/00000001_RCV_WX01________.CII"_s,
                                    u"1|4|R|1|41|WX01|done|K0004| |0101|3|3| |0000|0000|received/00000001_RCV_WX01________0101.LOC"_s,
                                }));

    // A full-width format letter: the hand-over stores an XML file, which is then converted too.
    db_->execute({u"UPDATE FL1903EDI制御マスタ SET 送受信データ形式 = ? WHERE センターコード = ?"_s, {u"ｘ"_s, u"WX01"_s}});
    ASSERT_TRUE(convertCiiXml(job_->masters(), context, log, 0, path(u"partner/WX01.CII"_s), path(u"handover/WX01.XML"_s))
                    .succeeded());
    EXPECT_EQ(run(u"WX01"_s), RowState::Finished) << observer_.notes.join(u'\n').toStdString();
}

TEST_P(JobSequenceTest, MailWithoutAStoreFailsTheReception)
{
    ASSERT_EQ(run(u"MX01"_s), RowState::Failed);
    EXPECT_EQ(observer_.texts, (QStringList{u"6:受信中"_s, u"6:受信ｴﾗｰ"_s}));
    EXPECT_EQ(history().last(), u"1|1|R|1|10|MX01|done| | | |0|0| |5100|9999| "_s);
}

TEST_P(JobSequenceTest, RegistrationStatusFiles)
{
    // Three categories where the second fails: its row and the ones after it end "9999".
    writeIni(path(u"bin/edi-register"_s) + u" --in "_s + path(u"received/"_s) + u" --fail 0102"_s, u"0101\n0102\n0103"_s);
    ASSERT_EQ(run(u"ZC01"_s), RowState::Failed);
    EXPECT_EQ(observer_.texts.last(), u"8:登録ｴﾗｰ"_s);
    const QStringList rows = history();
    ASSERT_EQ(rows.size(), 6);
    EXPECT_EQ(rows[0], u"1|0|R|1|01|ZC01|done|K0001| |0101|2|2| |9999|0000|received/00000001_RCV_ZC01________0101.LOC"_s);
    EXPECT_EQ(rows[3], u"1|3|R|1|41|ZC01|done|K0001| |0101|2|2| |0000|0000|received/00000001_RCV_ZC01________0101.LOC"_s);
    EXPECT_EQ(rows[4], u"1|4|R|1|41|ZC01|done|K0001| |0101|2|2| |9999|0000|received/00000001_RCV_ZC01________0101.LOC"_s);
    EXPECT_EQ(rows[5], u"1|5|R|1|41|ZC01|done|K0001| |0101|2|2| |9999|0000|received/00000001_RCV_ZC01________0101.LOC"_s);

    // A status file that ends at once records no category and completes the job row.
    writeFile(path(u"bin/first-line-ends.sh"_s),
              "#!/bin/sh\nstatus=$(grep STATUS_FILE \"${1#@}\" | cut -d= -f2 | tr -d '\\r')\nprintf '1\\r\\n' > \"$status\"\n");
    QFile::setPermissions(path(u"bin/first-line-ends.sh"_s), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    writeIni(path(u"bin/first-line-ends.sh"_s));
    ASSERT_EQ(run(u"ZC01"_s), RowState::Finished);
    EXPECT_EQ(history().last(), u"2|2|R|1|31|ZC01|done| | | |2|2| |0000|0000|received/00000002_RCV_ZC01________.CII"_s);
    EXPECT_TRUE(history()[6].startsWith(u"2|0|R|1|01|ZC01|done| | | |0|0| |0000|0000"_s));

    // No partner company: nothing is run, the job row says why.
    db_->execute({u"DELETE FROM FL1915センタ利用企業マスタ WHERE センターコード = ?"_s, {u"ZC01"_s}});
    ASSERT_EQ(run(u"ZC01"_s), RowState::Failed);
    EXPECT_EQ(observer_.texts.last(), u"8:登録ｴﾗｰ"_s);
    EXPECT_FALSE(QFile::exists(path(u"registration/command/EDI00000003.INI"_s)));
    EXPECT_TRUE(history().at(history().size() - 3).startsWith(u"3|0|R|1|01|ZC01|done| | | |0|0| |7300|0001"_s));
}

// What the operator reads in a line's tip after its job: the serial, the outcome and why in words.
TEST_P(JobSequenceTest, TheJobsReportTellsWhatHappenedInWords)
{
    auto reportLine = [&](const QString& start) {
        for (const QString& line : observer_.reported) {
            if (line.startsWith(start))
                return line;
        }
        return u"(no line %1 in: %2)"_s.arg(start, observer_.reported.join(u" | "_s));
    };
    ASSERT_EQ(run(u"ZC01"_s), RowState::Finished);
    EXPECT_EQ(observer_.reported.first(), u"通番 00000001 ZC01 正常終了 / 端末 TESTPC"_s);
    EXPECT_EQ(reportLine(u"受信:"_s), u"受信: 通信パッケージのファイル %1 を %2 として受信しました"_s.arg(
                                         path(u"cvx/recv/ZC01.DAT"_s), path(u"received/00000001_RCV_ZC01________.CII"_s)));
    EXPECT_EQ(reportLine(u"ローカル変換:"_s), u"ローカル変換: "_s + path(u"received/00000001_RCV_ZC01________.CII"_s));
    EXPECT_EQ(reportLine(u"登録:"_s),
              u"登録: 区分 0101 入力 2 件 出力 2 件 "_s + path(u"received/00000001_RCV_ZC01________0101.LOC"_s));

    // Nothing handed over: the path that held no file.
    ASSERT_EQ(run(u"WC01"_s), RowState::Finished);
    EXPECT_EQ(observer_.reported.first(), u"通番 00000002 WC01 正常終了 (0000/0100 受信データなし) / 端末 TESTPC"_s);
    EXPECT_EQ(reportLine(u"受信:"_s), u"受信: 受信データなし: 持込ファイル %1 がありません"_s.arg(path(u"handover/WC01.CII"_s)));

    // A text file handed over: the converter's reason.
    writeFile(path(u"handover/WC01.CII"_s), "not a message group\r\n");
    ASSERT_EQ(run(u"WC01"_s), RowState::Failed);
    EXPECT_TRUE(reportLine(u"ローカル変換:"_s).endsWith(u"メッセージグループヘッダがありません"_s))
        << reportLine(u"ローカル変換:"_s).toStdString();

    // A registration program that ends well without leaving its status file.
    writeFile(path(u"bin/no-status.sh"_s), "#!/bin/sh\nexit 0\n");
    QFile::setPermissions(path(u"bin/no-status.sh"_s), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    writeIni(path(u"bin/no-status.sh"_s));
    ASSERT_EQ(run(u"ZC01"_s), RowState::Failed);
    EXPECT_TRUE(history().at(history().size() - 3).startsWith(u"4|0|R|1|01|ZC01|done| | | |0|0| |4100|0002"_s))
        << history().join(u'\n').toStdString();
    EXPECT_EQ(observer_.reported.first(),
              u"通番 00000004 ZC01 異常終了 4100/0002 登録プログラムがステータスファイルを残しませんでした / 端末 TESTPC / "
              u"ステータスファイル %1 がありません"_s.arg(path(u"registration/status/00000004_K_IN_STATUS.TXT"_s)));

    // A status line that failed is quoted on its row.
    writeIni(path(u"bin/edi-register"_s) + u" --in "_s + path(u"received/"_s) + u" --fail 0101"_s);
    ASSERT_EQ(run(u"ZC01"_s), RowState::Failed);
    EXPECT_EQ(reportLine(u"登録:"_s), u"登録: 9999 処理エラー 異常なステータス行: 00101            00000200000201"_s);
}

// The local conversion's row keeps what the converter counted, the messages it read and the
// records it wrote, and the history listing shows them with the converter's code in words.
TEST_P(JobSequenceTest, TheLocalConversionsRowCountsWhatItConverted)
{
    writeFile(path(u"partner/ZC01.CII"_s), demoCii(5));
    ASSERT_EQ(run(u"ZC01"_s), RowState::Finished) << observer_.notes.join(u'\n').toStdString();
    std::vector<HistoryRow> rows = job_->history().jobRows(1);
    ASSERT_EQ(rows.size(), 4u);
    const QStringList converted = historyCells(1, rows[2]);
    EXPECT_EQ(converted[2], u"ローカル変換"_s);
    EXPECT_EQ(converted.mid(10, 2), (QStringList{u"5"_s, u"5"_s}));

    // A file cut short inside its third message: three read, the two before it written.
    writeFile(path(u"partner/ZC01.CII"_s), demoCii(3).chopped(251 + 230));  // the trailer and most of the block
    ASSERT_EQ(run(u"ZC01"_s), RowState::Failed);
    rows = job_->history().jobRows(2);
    ASSERT_EQ(rows.size(), 3u);
    const QStringList cut = historyCells(2, rows[2]);
    EXPECT_EQ(cut.mid(6, 3), (QStringList{u"0007"_s, u"0007"_s, u"CIIファイルがブロックの途中で終わっています"_s}));
    EXPECT_EQ(cut.mid(10, 2), (QStringList{u"3"_s, u"2"_s}));
    EXPECT_EQ(readFile(path(u"received/00000002_RCV_ZC01________0101.LOC"_s)).count("\r\n"), 2);
    // The job's report tells the code once, in the same words.
    EXPECT_TRUE(observer_.reported.contains(u"ローカル変換: 0007 CIIファイルがブロックの途中で終わっています "_s
                                            + path(u"received/00000002_RCV_ZC01________.CII"_s)))
        << observer_.reported.join(u'\n').toStdString();
}

TEST_P(JobSequenceTest, MastersThatDoNotFit)
{
    ASSERT_EQ(run(u"NONE"_s), RowState::Failed);  // no control row
    EXPECT_EQ(history().last(), u"1|1|R|1|10|NONE|done| | | |0|0| |7002|0000| "_s);

    db_->execute({u"UPDATE FL1903EDI制御マスタ SET CVX受信ファイルパス = NULL WHERE センターコード = ?"_s, {u"ZC01"_s}});
    ASSERT_EQ(run(u"ZC01"_s), RowState::Failed);
    EXPECT_EQ(history().last(), u"2|1|R|1|10|ZC01|done| | | |0|0| |6101|0000| "_s);

    // An unknown method transfers nothing and goes on; here the conversion finds no file.
    db_->execute({u"UPDATE FL1903EDI制御マスタ SET 送受信方式 = ? WHERE センターコード = ?"_s, {u"Q"_s, u"WC01"_s}});
    ASSERT_EQ(run(u"WC01"_s), RowState::Failed);
    EXPECT_EQ(observer_.texts, (QStringList{u"6:受信中"_s, u"6:OK"_s, u"7:変換中"_s, u"7:変換ｴﾗｰ"_s}));
    EXPECT_EQ(history().at(history().size() - 2), u"3|1|R|1|10|WC01|done| | | |0|0| |0000|0000| "_s);
    EXPECT_EQ(history().last(), u"3|2|R|1|31|WC01|done| | | |0|0| |9999|9999|received/00000003_RCV_WC01________.CII"_s);
}

TEST_P(JobSequenceTest, MissingFoldersFailTheirStepAndKeepWhatWasReceived)
{
    settings_.paths.backupFolder = path(u"no-backup/"_s);
    rebuildJobContext();
    ASSERT_EQ(run(u"ZC01"_s), RowState::Failed);  // every step worked; the backup did not
    EXPECT_EQ(observer_.texts.last(), u"8:OK"_s);
    EXPECT_TRUE(observer_.notes.last().startsWith(u"バックアップエラー"_s));
    EXPECT_EQ(files(u"received"_s).size(), 2);
    // The history says so too: the job row of a registered job keeps its end code and gets the
    // backup's detail code and a note.
    EXPECT_EQ(history().first(), u"1|0|R|1|01|ZC01|done|K0001| |0101|2|2| |0000|8003|received/00000001_RCV_ZC01________0101.LOC"_s);
    EXPECT_EQ(notes().first(), u"1|0|端末 TESTPC / バックアップエラー 00000001"_s);

    settings_.paths.backupFolder = path(u"backup/"_s);
    rebuildJobContext();
    writeFile(path(u"EDI.ini"_s), readFile(path(u"EDI.ini"_s)).replace("registration/command", "no-such-folder"));
    ASSERT_EQ(run(u"ZC01"_s), RowState::Failed);
    EXPECT_EQ(observer_.texts.last(), u"8:登録ｴﾗｰ"_s);
    EXPECT_TRUE(history().at(4).contains(u"|9999|0000|"_s));  // the job row of serial 2

    settings_.paths.receivedFolder = path(u"no-received/"_s);
    rebuildJobContext();
    ASSERT_EQ(run(u"ZC01"_s), RowState::Failed);
    EXPECT_EQ(history().last(), u"3|1|R|1|10|ZC01|done| | | |0|0| |5001|0000| "_s);
    EXPECT_TRUE(QFile::exists(path(u"cvx/recv/ZC01.DAT"_s)));  // what the package received stays
}

TEST_P(JobSequenceTest, ABackupCopyThatFailsStillCopiesTheRest)
{
    // A folder where the received CII file's copy belongs: that copy fails, the local file's not.
    ASSERT_TRUE(QDir(path(u"backup"_s)).mkpath(u"00000001_RCV_ZC01________.CII"_s));
    ASSERT_EQ(run(u"ZC01"_s), RowState::Failed);
    EXPECT_EQ(observer_.texts.last(), u"8:OK"_s);
    EXPECT_EQ(readFile(path(u"backup/00000001_RCV_ZC01________0101.LOC"_s)),
              readFile(path(u"received/00000001_RCV_ZC01________0101.LOC"_s)));
    EXPECT_TRUE(history().first().contains(u"|0000|8003|"_s)) << history().first().toStdString();
}

// Random bytes as the status file; its first byte is no line kind ("1" would be the end line,
// after which an empty file is read as registered).
TEST_P(JobSequenceTest, GarbageInTheStatusFile)
{
    writeFile(path(u"bin/garbage.sh"_s),
              "#!/bin/sh\nstatus=$(grep STATUS_FILE \"${1#@}\" | cut -d= -f2 | tr -d '\\r')\n"
              "{ printf '\\200'; head -c 299 /dev/urandom; } > \"$status\"\n");
    QFile::setPermissions(path(u"bin/garbage.sh"_s), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    writeIni(path(u"bin/garbage.sh"_s));
    EXPECT_EQ(run(u"ZC01"_s), RowState::Failed);
    EXPECT_EQ(observer_.texts.last(), u"8:登録ｴﾗｰ"_s);

    // A good line that runs on past any status line, its rest beginning like the end line "1":
    // a failed line, not a good one followed by the end.
    writeFile(path(u"bin/garbage.sh"_s),
              "#!/bin/sh\nstatus=$(grep STATUS_FILE \"${1#@}\" | cut -d= -f2 | tr -d '\\r')\n"
              "{ printf '00101            000002000002 00'; head -c 65503 /dev/zero | tr '\\0' ' ';"
              " printf '1\\r\\n'; } > \"$status\"\n");
    EXPECT_EQ(run(u"ZC01"_s), RowState::Failed);
    EXPECT_EQ(observer_.texts.last(), u"8:登録ｴﾗｰ"_s);
}

TEST_P(JobSequenceTest, ADatabaseThatGoesAwayInTheMiddleOfAJob)
{
    if (GetParam() != Backend::PostgreSql)
        GTEST_SKIP() << "a server connection is what can go away";
    setPackage(u"SLEEP=2"_s);
    // While the package runs, the server drops the job's connection.
    std::thread cut([settings = db_->settings()] {
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        auto admin = Database::open(settings);
        admin->query({u"SELECT pg_terminate_backend(pid) FROM pg_stat_activity"
                      u" WHERE datname = current_database() AND pid <> pg_backend_pid()"_s,
                      {}});
    });
    const RowState state = run(u"ZC01"_s);
    cut.join();
    EXPECT_EQ(state, RowState::Failed);
    EXPECT_EQ(observer_.texts.last(), u"6:受信ｴﾗｰ"_s);
    // The operator is told why and what comes next, in words of the system's own.
    EXPECT_EQ(observer_.notes.last(), u"データベースへの接続が切れたため、通番 00000001 のジョブを中断しました。センター ZC01 の次の受信か"
                                      u"プログラムの次の起動のときに接続し直し、このジョブを完了します"_s)
        << observer_.notes.join(u'\n').toStdString();
    EXPECT_TRUE(QFile::exists(path(u"received/00000001_RCV_ZC01________.CII"_s)));  // what came in stays
    EXPECT_TRUE(QFile::exists(path(u"backup/00000001_RCV_ZC01________.CII"_s)));

    setPackage({});
    EXPECT_EQ(run(u"ZC01"_s), RowState::Finished);  // the next job connects again
    EXPECT_TRUE(history().last().startsWith(u"2|3|R|1|41"_s));
}

TEST_P(JobSequenceTest, AStepRowThatGoesMissingFailsItsStep)
{
    // Rows of one processing kind vanish as soon as they are written, as if another workstation
    // had deleted them.
    auto loseRowsOf = [this](const char* kind) {
        const QString condition = u"NEW.処理種別 = '%1'"_s.arg(QLatin1StringView(kind));
        const QString removal = u"DELETE FROM FL1102処理履歴ファイル WHERE 通番 = NEW.通番 AND 枝番 = NEW.枝番;"_s;
        db_->execute({u"DROP TRIGGER IF EXISTS lose_rows"_s + (GetParam() == Backend::PostgreSql ? u" ON FL1102処理履歴ファイル"_s : QString()), {}});
        if (GetParam() == Backend::PostgreSql) {
            db_->execute({u"CREATE OR REPLACE FUNCTION lose_rows() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "_s + removal
                              + u" RETURN NULL; END $$"_s,
                          {}});
            db_->execute({u"CREATE TRIGGER lose_rows AFTER INSERT ON FL1102処理履歴ファイル FOR EACH ROW WHEN ("_s + condition
                              + u") EXECUTE FUNCTION lose_rows()"_s,
                          {}});
        } else {
            db_->execute({u"CREATE TRIGGER lose_rows AFTER INSERT ON FL1102処理履歴ファイル WHEN "_s + condition + u" BEGIN "_s
                              + removal + u" END"_s,
                          {}});
        }
    };

    loseRowsOf("10");
    EXPECT_EQ(run(u"ZC01"_s), RowState::Failed);
    EXPECT_EQ(observer_.texts, (QStringList{u"6:受信中"_s, u"6:受信ｴﾗｰ"_s}));

    observer_.texts.clear();
    loseRowsOf("41");
    EXPECT_EQ(run(u"ZC01"_s), RowState::Failed);
    EXPECT_EQ(observer_.texts.last(), u"8:登録ｴﾗｰ"_s);
    EXPECT_EQ(history().at(1), u"2|0|R|1|01|ZC01|done|K0001| |0101|2|2| |9999|0000|received/00000002_RCV_ZC01________0101.LOC"_s);
}

INSTANTIATE_TEST_SUITE_P(Backends, JobSequenceTest, ::testing::Values(Backend::Sqlite, Backend::PostgreSql),
                         [](const auto& info) { return backendName(info.param); });

}  // namespace
}  // namespace edi::test
