#include "support/TestFiles.h"
#include "transport/CommunicationPackageDriver.h"
#include "transport/HandOver.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;

namespace edi::test {
namespace {

// A log record of 88 bytes with a sequence number and a serial where the driver looks for them.
QByteArray logRecord(int sequence, int serial)
{
    return QByteArray(71, 'x') + QByteArray::number(sequence).rightJustified(7, '0') + ' '
         + QByteArray::number(serial).rightJustified(8, '0') + '\n';
}

class PackageDriverTest : public ::testing::Test {
protected:
    PackageDriverTest()
    {
        QDir().mkpath(path(u"install"_s));
        QDir().mkpath(path(u"data/STS"_s));
        QDir().mkpath(path(u"received"_s));
        where_.driver.installFolder = path(u"install/"_s);
        where_.driver.program = u"package.sh"_s;
        where_.driver.minimize = 3;
        where_.driver.demoMode = 1;
        where_.dataFolder = path(u"data/"_s);
        where_.receivedFolder = path(u"received/"_s);
        writeFile(path(u"partner.DAT"_s), "data");
    }

    // A package that writes the given status line, as the real one does after a transfer, and
    // the partner's data at the package file path unless told to leave it.
    void package(const QByteArray& statusLine, bool delivers = true)
    {
        const QByteArray delivery = delivers ? "printf data > " + path(u"partner.DAT"_s).toUtf8() + "\n" : QByteArray();
        writeFile(path(u"install/package.sh"_s), "#!/bin/sh\n" + delivery + "printf '%s' '" + statusLine + "' > "
                                                     + path(u"data/STS/Sts01.TXT"_s).toUtf8() + "\n");
        QFile::setPermissions(path(u"install/package.sh"_s), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    FileStatus transfer(LinkRequest& request) { return runLinkTransfer(request, path(u"partner.DAT"_s), where_); }
    QString path(const QString& name) const { return dir_.filePath(name); }

    QTemporaryDir dir_;
    PackageLocations where_;
    LinkRequest request_{u"ABC"_s, 123, u"1"_s, 5, 12, 0, {}};
};

TEST_F(PackageDriverTest, KeyInFileStatusAndLog)
{
    package("0000,rest of the line\r\n");
    writeFile(path(u"data/LOGFL.dat"_s), logRecord(7, 99) + logRecord(8, 123));
    writeFile(path(u"data/STS/Sts00.TXT"_s), "0042");  // left by an earlier run: removed first
    ASSERT_EQ(transfer(request_), FileStatus::Done);
    EXPECT_EQ(request_.resultCode, u"0000"_s);
    EXPECT_EQ(request_.lastSequence, 8);
    EXPECT_EQ(readFile(path(u"install/Zkeyin.dat"_s)), "00000123\r\n1\r\n05\r\n12\r\nD\r\nN\r\n3\r\n0\r\n0\r\n1\r\n1\r\n");
    EXPECT_EQ(readFile(path(u"received/00000123_RCV_ABC_________.CII"_s)), "data");
}

TEST_F(PackageDriverTest, StatusCodes)
{
    writeFile(path(u"data/LOGFL.dat"_s), logRecord(1, 123));
    for (const auto& [line, code] : {std::pair{"    ,x", "0000"}, std::pair{"0042,x", "0042"}, std::pair{"ab\r\n", "0000"}}) {
        package(line);
        QFile::remove(path(u"received/00000123_RCV_ABC_________.CII"_s));
        ASSERT_EQ(transfer(request_), FileStatus::Done) << line;
        EXPECT_EQ(request_.resultCode, QString::fromLatin1(code)) << line;
        // Only a success brings the package's file in.
        EXPECT_EQ(QFile::exists(path(u"received/00000123_RCV_ABC_________.CII"_s)), QByteArray(code) == "0000") << line;
    }
}

TEST_F(PackageDriverTest, ASuccessThatDeliveredNothingDoesNotBringTheOldFileInAgain)
{
    writeFile(path(u"data/LOGFL.dat"_s), logRecord(1, 123));
    package("0000", false);  // the partner's file from an earlier run stays where it was
    EXPECT_EQ(transfer(request_), FileStatus::Error);
    EXPECT_FALSE(QFile::exists(path(u"received/00000123_RCV_ABC_________.CII"_s)));
    EXPECT_TRUE(QFile::exists(path(u"partner.DAT"_s)));

    package("0000");
    EXPECT_EQ(transfer(request_), FileStatus::Done);
    EXPECT_EQ(readFile(path(u"received/00000123_RCV_ABC_________.CII"_s)), "data");
}

TEST_F(PackageDriverTest, TheLogIsSearchedFromItsEnd)
{
    package("0000");
    // Found in the third record from the end, in LOGFL2.dat when LOGFL.dat is missing.
    writeFile(path(u"data/LOGFL2.dat"_s), logRecord(1, 122) + logRecord(2, 123) + logRecord(3, 124) + logRecord(4, 125));
    ASSERT_EQ(transfer(request_), FileStatus::Done);
    EXPECT_EQ(request_.lastSequence, 2);

    LinkRequest unknown = request_;
    unknown.serial = 200;
    unknown.resultCode.clear();
    EXPECT_EQ(transfer(unknown), FileStatus::Error);
    EXPECT_TRUE(unknown.resultCode.isEmpty());
}

TEST_F(PackageDriverTest, DriverFailures)
{
    // A FIFO where the transfer log should be: the driver fails instead of waiting for a writer.
    package("0000");
    ASSERT_EQ(mkfifo(QFile::encodeName(path(u"data/LOGFL.dat"_s)).constData(), 0600), 0);
    EXPECT_EQ(transfer(request_), FileStatus::Error);
    QFile::remove(path(u"data/LOGFL.dat"_s));

    writeFile(path(u"data/LOGFL.dat"_s), logRecord(1, 123));
    writeFile(path(u"install/package.sh"_s), "#!/bin/sh\nexit 0\n");  // leaves no status file
    QFile::setPermissions(path(u"install/package.sh"_s), QFile::ReadOwner | QFile::ExeOwner);
    EXPECT_EQ(transfer(request_), FileStatus::Error);
    where_.driver.program = u"missing"_s;
    EXPECT_EQ(transfer(request_), FileStatus::Error);
    where_.driver.program = u"package.sh"_s;
    package("0000");
    where_.receivedFolder = path(u"nowhere/"_s);  // the copy fails
    EXPECT_EQ(transfer(request_), FileStatus::Error);
    EXPECT_TRUE(QFile::exists(path(u"partner.DAT"_s)));
}

TEST(HandOver, MovesTheFileUnderTheJobsName)
{
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath(u"received"_s));
    const QString put = dir.filePath(u"ABC.DAT"_s);
    const QString received = dir.filePath(u"received/"_s);

    writeFile(put, "xml");
    HandOverRequest request{u"ABC"_s, 3, u"R"_s, u"x"_s, put, u"EDIAUTO"_s, {}};
    EXPECT_EQ(runHandOver(request, received), u"0000"_s);
    EXPECT_EQ(readFile(dir.filePath(u"received/00000003_RCV_ABC_________.XML"_s)), "xml");
    EXPECT_FALSE(QFile::exists(put));

    writeFile(put, "cii");
    request.dataFormat = u"Ｃ"_s;
    request.direction = u"ｒ"_s;
    EXPECT_EQ(runHandOver(request, received), u"0000"_s);
    EXPECT_EQ(readFile(dir.filePath(u"received/00000003_RCV_ABC_________.CII"_s)), "cii");

    EXPECT_EQ(runHandOver(request, received), u"9999"_s);  // nothing put
    writeFile(put, "data");
    request.dataFormat = u"Q"_s;
    EXPECT_EQ(runHandOver(request, received), u"9999"_s);
    request.dataFormat = u"C"_s;
    request.direction = u"S"_s;
    EXPECT_EQ(runHandOver(request, received), u"9999"_s);
    request.direction = u"R"_s;
    EXPECT_EQ(runHandOver(request, dir.filePath(u"nowhere/"_s)), u"9999"_s);
    EXPECT_EQ(readFile(put), "data");  // a failed hand-over leaves the file where it was
}

}  // namespace
}  // namespace edi::test
