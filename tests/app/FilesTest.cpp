#include "app/files/FileHelpers.h"
#include "app/process/ProcessTable.h"
#include "app/process/RunAndWait.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
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

}  // namespace
}  // namespace edi
