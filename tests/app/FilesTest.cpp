#include "app/files/FileHelpers.h"
#include "app/files/JobFiles.h"
#include "app/process/ProcessTable.h"
#include "app/process/RunAndWait.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <chrono>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

using test::readFile;
using test::writeFile;

class FilesTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return dir_.filePath(name); }
    QTemporaryDir dir_;
};

TEST_F(FilesTest, DeleteReportsWhatHappened)
{
    writeFile(path(u"a.CII"_s), "data");
    EXPECT_EQ(deleteFile(path(u"a.CII"_s)), FileStatus::Done);
    EXPECT_FALSE(QFile::exists(path(u"a.CII"_s)));
    EXPECT_EQ(deleteFile(path(u"a.CII"_s)), FileStatus::NothingToDo);
    QDir().mkpath(path(u"sub/x"_s));
    EXPECT_EQ(deleteFile(path(u"sub"_s)), FileStatus::Error);  // a non-empty folder is not a file
}

TEST_F(FilesTest, MoveReplacesTheTargetAndRemovesTheSource)
{
    writeFile(path(u"in.DAT"_s), "new data");
    writeFile(path(u"out.CII"_s), "old data that is longer");
    EXPECT_EQ(moveFile(path(u"in.DAT"_s), path(u"out.CII"_s)), FileStatus::Done);
    EXPECT_EQ(readFile(path(u"out.CII"_s)), QByteArray("new data"));
    EXPECT_FALSE(QFile::exists(path(u"in.DAT"_s)));
    EXPECT_EQ(moveFile(path(u"in.DAT"_s), path(u"out.CII"_s)), FileStatus::NothingToDo);
}

TEST_F(FilesTest, MoveOntoItselfKeepsTheFile)
{
    writeFile(path(u"in.CII"_s), "data");
    EXPECT_EQ(moveFile(path(u"in.CII"_s), path(u"./in.CII"_s)), FileStatus::Done);
    EXPECT_EQ(readFile(path(u"in.CII"_s)), QByteArray("data"));
}

TEST_F(FilesTest, MoveCopiesAcrossFileSystems)
{
    QTemporaryDir shared(u"/dev/shm/edi-files-XXXXXX"_s);
    struct stat here {};
    struct stat there {};
    if (!shared.isValid() || ::stat(QFile::encodeName(dir_.path()).constData(), &here) != 0
        || ::stat(QFile::encodeName(shared.path()).constData(), &there) != 0 || here.st_dev == there.st_dev)
        GTEST_SKIP() << "no second file system beside the test folder";
    const QString source = shared.filePath(u"in.CII"_s);
    writeFile(source, "data");
    EXPECT_EQ(moveFile(source, path(u"out.CII"_s)), FileStatus::Done);
    EXPECT_EQ(readFile(path(u"out.CII"_s)), QByteArray("data"));
    EXPECT_FALSE(QFile::exists(source));
}

TEST_F(FilesTest, FailedMoveKeepsTheSource)
{
    writeFile(path(u"in.DAT"_s), "data");
    EXPECT_EQ(moveFile(path(u"in.DAT"_s), path(u"missing/out.CII"_s)), FileStatus::Error);
    EXPECT_EQ(readFile(path(u"in.DAT"_s)), QByteArray("data"));
    EXPECT_TRUE(QDir(path(u"missing"_s)).isEmpty() || !QDir(path(u"missing"_s)).exists());
}

TEST_F(FilesTest, CopyLeavesTheSource)
{
    writeFile(path(u"a"_s), "data");
    EXPECT_EQ(copyFile(path(u"a"_s), path(u"b"_s)), FileStatus::Done);
    EXPECT_EQ(readFile(path(u"a"_s)), readFile(path(u"b"_s)));
    EXPECT_EQ(copyFile(path(u"none"_s), path(u"b"_s)), FileStatus::NothingToDo);
    EXPECT_EQ(copyFile(dir_.path(), path(u"c"_s)), FileStatus::Error);
}

TEST_F(FilesTest, RunAndWaitRunsInTheWorkingFolderAndWaits)
{
    QDir().mkpath(path(u"package"_s));
    const QString command = u"/bin/sh -c \"sleep 0.2; pwd > where.txt; exit 3\""_s;
    EXPECT_EQ(runAndWait(command, path(u"package"_s)), FileStatus::Done);  // exit code is the program's own business
    EXPECT_EQ(readFile(path(u"package/where.txt"_s)).trimmed(), QDir(path(u"package"_s)).canonicalPath().toUtf8());

    // A process group of its own, which Ctrl-C on the scheduler's terminal does not reach.
    EXPECT_EQ(runAndWait(u"/bin/sh -c \"read -r _ _ _ _ group _ < /proc/$$/stat; echo $group > group.txt\""_s,
                         path(u"package"_s)),
              FileStatus::Done);
    EXPECT_NE(readFile(path(u"package/group.txt"_s)).trimmed().toLongLong(), qint64(::getpgrp()));
    // A limit beyond what milliseconds in an int hold is no limit to speak of, not a short one.
    EXPECT_EQ(runAndWait(u"/bin/sh -c \"sleep 1\""_s, path(u"package"_s), 4294968), FileStatus::Done);

    // A program that reads its input gets its end at once instead of waiting for an operator.
    EXPECT_EQ(runAndWait(u"/bin/sh -c \"cat > input.txt\""_s, path(u"package"_s), 10), FileStatus::Done);
    EXPECT_EQ(readFile(path(u"package/input.txt"_s)), QByteArray());
}

TEST_F(FilesTest, RunAndWaitWaitsForTheWholeProcessGroup)
{
    // A wrapper that leaves its real work to a child: the step lasts until the child is done.
    EXPECT_EQ(runAndWait(u"/bin/sh -c \"(sleep 0.5; echo done > late.txt) & exit 0\""_s, dir_.path()), FileStatus::Done);
    EXPECT_EQ(readFile(path(u"late.txt"_s)), "done\n");
    QFile::remove(path(u"late.txt"_s));

    // At the time limit the whole group is stopped, a child that ignores SIGTERM included, and
    // nothing of it is left to finish the work after the step failed.
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(runAndWait(u"/bin/sh -c \"echo $$ > group.txt; (trap '' TERM; sleep 8; echo late > late.txt) & wait\""_s,
                         dir_.path(), 1),
              FileStatus::Error);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1) + kStopGrace + std::chrono::seconds(2));
    const qint64 group = readFile(path(u"group.txt"_s)).trimmed().toLongLong();
    ASSERT_GT(group, 0);
    EXPECT_FALSE(processGroupHasLiveMembers(group));
    QThread::sleep(1);
    EXPECT_FALSE(QFile::exists(path(u"late.txt"_s)));
}

TEST_F(FilesTest, RunAndWaitFailsWhenNothingCanRun)
{
    EXPECT_EQ(runAndWait(path(u"no-such-program"_s), dir_.path()), FileStatus::Error);
    EXPECT_EQ(runAndWait(u"/bin/true"_s, path(u"no-such-folder"_s)), FileStatus::Error);
    EXPECT_EQ(runAndWait(QString(), dir_.path()), FileStatus::Error);
    EXPECT_EQ(runAndWait(u"/bin/sh -c \"kill -9 $$\""_s, dir_.path()), FileStatus::Error);
}

// Uploads and copies in progress carry names of their own; a folder's listing passes them over.
TEST_F(FilesTest, PartialUploadsArePassedOverWhereAFolderIsScanned)
{
    for (const char* partial : {"ABC.DAT.tmp", "ABC.DAT.TMP", "ABC.DAT.part", "ABC.DAT~", ".ABC.DAT", ".ABC.DAT.claim-00000001"})
        EXPECT_TRUE(isPartialUploadName(QString::fromLatin1(partial))) << partial;
    for (const char* whole : {"ABC.DAT", "ABC.DAT.returned-00000001", "part", "tmp.CII"})
        EXPECT_FALSE(isPartialUploadName(QString::fromLatin1(whole))) << whole;

    const JobFiles files(dir_.path(), 7, u"ABC"_s);
    for (const char* name : {"00000007_RCV_ABC_________.XML", "00000007_RCV_ABC_________2.XML.part",
                             "00000007_RCV_ABC_________3.XML~", "00000007_RCV_ABC_________4.XML.tmp",
                             ".00000007_RCV_ABC_________5.XML"})
        writeFile(path(QString::fromLatin1(name)), "<x/>");
    EXPECT_EQ(files.xmlFilesIn(dir_.path()), QStringList{path(u"00000007_RCV_ABC_________.XML"_s)});
    // The job's own files are all of them, whatever their state.
    EXPECT_EQ(JobFiles::serialFilesIn(dir_.path(), 7).size(), 4);
}

// Making a file durable opens it without waiting, whatever it is.
TEST_F(FilesTest, SyncToDiskNeverWaitsOnAFifo)
{
    writeFile(path(u"a.CII"_s), "data");
    EXPECT_TRUE(syncToDisk(path(u"a.CII"_s)));
    EXPECT_TRUE(syncToDisk(dir_.path()));
    EXPECT_FALSE(syncToDisk(QStringList{path(u"a.CII"_s), path(u"missing"_s)}));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path(u"fifo"_s)).constData(), 0600), 0);
    EXPECT_TRUE(syncToDisk(path(u"fifo"_s)));
}

// A process of this machine that holds a file open for writing is found by the file itself, under
// whatever name; one that only reads it is not.
TEST_F(FilesTest, TheWriterOfAFileIsFoundThroughItsDescriptors)
{
    writeFile(path(u"held.CII"_s), "data");
    EXPECT_FALSE(processWritingFile(path(u"held.CII"_s)));
    EXPECT_FALSE(processWritingFile(path(u"missing"_s)));

    QProcess reader;
    reader.start(u"/bin/sh"_s, {u"-c"_s, u"exec 3<'%1'; echo ready; exec sleep 30"_s.arg(path(u"held.CII"_s))});
    ASSERT_TRUE(reader.waitForReadyRead(10000));
    EXPECT_FALSE(processWritingFile(path(u"held.CII"_s)));
    reader.kill();
    reader.waitForFinished();

    QProcess writer;
    writer.start(u"/bin/sh"_s, {u"-c"_s, u"exec 3>>'%1'; echo ready; exec sleep 30"_s.arg(path(u"held.CII"_s))});
    ASSERT_TRUE(writer.waitForReadyRead(10000));
    ASSERT_TRUE(QFile::rename(path(u"held.CII"_s), path(u".held.CII.claim-00000001"_s)));
    std::optional<ProcessHoldingFile> found = processWritingFile(path(u".held.CII.claim-00000001"_s));
    for (int tries = 0; tries < 1000 && found && found->name != u"sleep"_s; ++tries) {  // the shell turns into sleep
        QThread::msleep(10);
        found = processWritingFile(path(u".held.CII.claim-00000001"_s));
    }
    ASSERT_TRUE(found);
    EXPECT_EQ(found->pid, writer.processId());
    EXPECT_EQ(found->name, u"sleep"_s);
    writer.kill();
    writer.waitForFinished();
    EXPECT_FALSE(processWritingFile(path(u".held.CII.claim-00000001"_s)));

    QFile own(path(u".held.CII.claim-00000001"_s));  // this very process counts too
    ASSERT_TRUE(own.open(QIODevice::ReadWrite));
    EXPECT_EQ(processWritingFile(own.fileName())->pid, qint64(::getpid()));
}

}  // namespace
}  // namespace edi
