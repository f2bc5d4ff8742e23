#include "JobFixture.h"
#include "app/config/IniFile.h"
#include "jobs/Recovery.h"
#include "jobs/Registration.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>

using namespace Qt::Literals::StringLiterals;

namespace edi::test {
namespace {

// A job's files are its own: a registration status file an earlier job of the same serial left
// is never recorded as this job's, and a serial whose files are still in the folders (the
// database was restored from an older copy) is not taken again.
class EarlierJobFilesTest : public JobFixture {
protected:
    QString statusFile(qint32 serial) const
    {
        return path(u"registration/status/%1_K_IN_STATUS.TXT"_s.arg(serial, 8, 10, QChar(u'0')));
    }
    // A status file that registered two records of 0101, written a day ago.
    void writeOldStatusFile(const QString& file) const
    {
        writeFile(file, "00101            000002000002  00\r\n1                              \r\n");
        QFile old(file);
        ASSERT_TRUE(old.open(QIODevice::ReadWrite));
        ASSERT_TRUE(old.setFileTime(QDateTime::currentDateTime().addDays(-1), QFileDevice::FileModificationTime));
    }
    // The job row of a ZC01 job whose data was received and converted, as the sequence leaves
    // it before the registration.
    qint32 jobBeforeRegistration()
    {
        HistoryStart start{0, 0, u"R"_s, u"1"_s, u"01"_s, u"ZC01"_s, History::machineNote(kMachine)};
        EXPECT_EQ(job_->history().openJob(start), u"0000"_s);
        for (const char* kind : {"10", "31"}) {
            HistoryStart step{start.serial, 0, u"R"_s, u"1"_s, QString::fromLatin1(kind), u"ZC01"_s, {}};
            EXPECT_EQ(job_->history().addStep(step), u"0000"_s);
            HistoryCompletion done;
            done.serial = start.serial;
            done.branch = step.branch;
            EXPECT_EQ(job_->history().closeRow(done), u"0000"_s);
        }
        return start.serial;
    }
    QString jobRowNote(qint32 serial) const
    {
        const QString prefix = QString::number(serial) + u"|0|"_s;
        for (const QString& note : notes())
            if (note.startsWith(prefix))
                return note.mid(prefix.size());
        return {};
    }
    void emptyFolders()
    {
        for (const char* folder : {"received", "backup", "registration/status", "registration/command"}) {
            const QString dir = path(QString::fromLatin1(folder));
            for (const QString& name : files(QString::fromLatin1(folder)))
                QFile::remove(dir + u'/' + name);
        }
    }
};

TEST_P(EarlierJobFilesTest, AStatusFileOlderThanTheJobsCommandFileIsNotRecorded)
{
    // A registration program that leaves an earlier run's status file in place (restored with
    // its time, as "cp -p" does) and writes none of its own.
    const QString status = statusFile(1);
    writeOldStatusFile(path(u"earlier-status.txt"_s));
    writeFile(path(u"bin/register.sh"_s), u"#!/bin/sh\ncp -p %1 %2\n"_s.arg(path(u"earlier-status.txt"_s), status).toUtf8());
    QFile::setPermissions(path(u"bin/register.sh"_s), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    writeIni(path(u"bin/register.sh"_s));
    const qint32 serial = jobBeforeRegistration();

    EXPECT_EQ(runRegistration(*job_, u"ZC01"_s, serial), u"4100"_s);
    EXPECT_EQ(history().first(), u"1|0|R|1|01|ZC01|done| | | |0|0| |4100|0002| "_s);
    EXPECT_TRUE(jobRowNote(serial).contains(u"登録の指示ファイルより古いステータスファイル %1 を %1.STALE に移しました"_s.arg(status)))
        << jobRowNote(serial).toStdString();
    EXPECT_EQ(files(u"registration/status"_s), QStringList{u"00000001_K_IN_STATUS.TXT.STALE"_s});

    // One that lies there before the program runs is moved aside first: a program that
    // writes nothing leaves no status file of this job.
    writeIni(u"/bin/true"_s);
    const qint32 next = jobBeforeRegistration();
    writeOldStatusFile(statusFile(next));
    EXPECT_EQ(runRegistration(*job_, u"ZC01"_s, next), u"4100"_s);
    EXPECT_TRUE(jobRowNote(next).contains(u"前のジョブのステータスファイル %1 を %1.STALE に移しました"_s.arg(statusFile(next))))
        << jobRowNote(next).toStdString();
}

TEST_P(EarlierJobFilesTest, RecoveryLeavesAStatusFileOlderThanTheCommandFile)
{
    const qint32 serial = jobBeforeRegistration();
    const RegistrationSettings registration = readRegistrationSettings(IniFile::read(path(u"EDI.ini"_s)));
    writeFile(registrationCommandFile(registration, serial), "/[EDI]OPERATOR=OP01\r\n");
    writeOldStatusFile(statusFile(serial));

    QStringList log;
    recoverCentre(*job_, u"ZC01"_s, [&log](const QString& line) { log << line; });
    EXPECT_TRUE(history().first().startsWith(u"1|0|R|1|01|ZC01|done| | | |0|0| |8002|"_s)) << history().join(u'\n').toStdString();
    EXPECT_EQ(history().size(), 3);  // no registration row
    const QString movedAside = u"登録の指示ファイルより古いステータスファイル %1 を %1.STALE に移しました"_s.arg(statusFile(serial));
    EXPECT_TRUE(jobRowNote(serial).contains(movedAside)) << jobRowNote(serial).toStdString();
    ASSERT_EQ(log.size(), 1);
    EXPECT_TRUE(log[0].contains(movedAside)) << log[0].toStdString();
}

TEST_P(EarlierJobFilesTest, ASerialWhoseFilesAreStillThereIsNotTakenAgain)
{
    writeIni(path(u"bin/edi-register"_s) + u" --in "_s + path(u"received/"_s));
    writeFile(path(u"handover/WC01.CII"_s), demoCii(2));
    ASSERT_EQ(run(u"WC01"_s), RowState::Finished);
    const QByteArray firstStatus = readFile(statusFile(1));

    // The database comes back from a copy made before that job: its files name serial 1.
    db_->execute({u"DELETE FROM FL1102処理履歴ファイル"_s, {}});
    writeFile(path(u"handover/WC01.CII"_s), demoCii(3));
    ASSERT_EQ(run(u"WC01"_s), RowState::Finished) << observer_.notes.join(u'\n').toStdString();
    EXPECT_TRUE(history().first().startsWith(u"2|0|R|1|01|WC01|done|K0005| |0101|3|3|"_s)) << history().first().toStdString();
    // Which of its files is named does not matter.
    const QString why = u"通番 00000001 は前のジョブのファイルがあるため使いません"
                        u" (データベースが古い写しから戻された可能性があります): %1"_s.arg(
                            path(u"received/00000001_RCV_WC01________"_s));
    const QStringList told = observer_.notes.filter(why);
    ASSERT_EQ(told.size(), 1) << observer_.notes.join(u'\n').toStdString();
    EXPECT_TRUE(told[0].endsWith(u" があります"_s)) << told[0].toStdString();
    EXPECT_EQ(jobRowNote(2), u"端末 TESTPC / "_s + told[0]);
    EXPECT_EQ(readFile(statusFile(1)), firstStatus);
    EXPECT_EQ(readFile(path(u"received/00000001_RCV_WC01________.CII"_s)), demoCii(2));

    // Any one of the job's files keeps its serial: in the received-files or the backup folder,
    // or the registration's command or status file.
    for (const char* leftOver : {"received/00000001_RCV_WC01________.LOC", "backup/00000001_RCV_WC01________.CII",
                                 "registration/command/EDI00000001.INI", "registration/status/00000001_K_IN_STATUS.TXT"}) {
        db_->execute({u"DELETE FROM FL1102処理履歴ファイル"_s, {}});
        emptyFolders();
        writeFile(path(QString::fromLatin1(leftOver)), "earlier");
        writeFile(path(u"handover/WC01.CII"_s), demoCii(1));
        ASSERT_EQ(run(u"WC01"_s), RowState::Finished) << leftOver;
        EXPECT_TRUE(history().first().startsWith(u"2|0|"_s)) << leftOver;
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, EarlierJobFilesTest, ::testing::Values(Backend::Sqlite, Backend::PostgreSql),
                         [](const auto& info) { return backendName(info.param); });

}  // namespace
}  // namespace edi::test
