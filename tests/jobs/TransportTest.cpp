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

    // Runs the driver; true when it read the package's status, whose code is then in the request.
    // A reception is released at once, as the job does once its transfer row is recorded.
    bool transfer(LinkRequest& request)
    {
        TransferReceipt receipt = runLinkTransfer(request, path(u"partner.DAT"_s), where_);
        note_ = receipt.note;
        if (receipt.claim)
            receipt.claim->release();
        EXPECT_EQ(receipt.code, request.resultCode);
        return !receipt.code.isEmpty();
    }
    QString path(const QString& name) const { return dir_.filePath(name); }

    QTemporaryDir dir_;
    PackageLocations where_;
    LinkRequest request_{u"ABC"_s, 123, u"1"_s, 5, 12, 0, {}};
    QString note_;  // the last transfer's note
};

TEST_F(PackageDriverTest, KeyInFileStatusAndLog)
{
    package("0000,rest of the line\r\n");
    writeFile(path(u"data/LOGFL.dat"_s), logRecord(7, 99) + logRecord(8, 123));
    writeFile(path(u"data/STS/Sts00.TXT"_s), "0042");  // left by an earlier run: removed first
    ASSERT_TRUE(transfer(request_));
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
        ASSERT_TRUE(transfer(request_)) << line;
        EXPECT_EQ(request_.resultCode, QString::fromLatin1(code)) << line;
        // Only a success brings the package's file in.
        EXPECT_EQ(QFile::exists(path(u"received/00000123_RCV_ABC_________.CII"_s)), QByteArray(code) == "0000") << line;
    }
}

TEST_F(PackageDriverTest, ASuccessThatDeliveredNothingDoesNotBringTheOldFileInAgain)
{
    writeFile(path(u"data/LOGFL.dat"_s), logRecord(1, 123));
    package("0000", false);  // the partner's file from an earlier run stays where it was
    EXPECT_FALSE(transfer(request_));
    EXPECT_FALSE(QFile::exists(path(u"received/00000123_RCV_ABC_________.CII"_s)));
    EXPECT_TRUE(QFile::exists(path(u"partner.DAT"_s)));

    package("0000");
    EXPECT_TRUE(transfer(request_));
    EXPECT_EQ(readFile(path(u"received/00000123_RCV_ABC_________.CII"_s)), "data");
}

TEST_F(PackageDriverTest, TheLogIsSearchedFromItsEnd)
{
    package("0000");
    // Found in the third record from the end, in LOGFL2.dat when LOGFL.dat is missing.
    writeFile(path(u"data/LOGFL2.dat"_s), logRecord(1, 122) + logRecord(2, 123) + logRecord(3, 124) + logRecord(4, 125));
    ASSERT_TRUE(transfer(request_));
    EXPECT_EQ(request_.lastSequence, 2);

    LinkRequest unknown = request_;
    unknown.serial = 200;
    unknown.resultCode.clear();
    EXPECT_FALSE(transfer(unknown));
    EXPECT_TRUE(unknown.resultCode.isEmpty());
}

TEST_F(PackageDriverTest, DriverFailures)
{
    // A FIFO where the transfer log should be: the driver fails instead of waiting for a writer.
    package("0000");
    ASSERT_EQ(mkfifo(QFile::encodeName(path(u"data/LOGFL.dat"_s)).constData(), 0600), 0);
    EXPECT_FALSE(transfer(request_));
    QFile::remove(path(u"data/LOGFL.dat"_s));

    writeFile(path(u"data/LOGFL.dat"_s), logRecord(1, 123));
    writeFile(path(u"install/package.sh"_s), "#!/bin/sh\nexit 0\n");  // leaves no status file
    QFile::setPermissions(path(u"install/package.sh"_s), QFile::ReadOwner | QFile::ExeOwner);
    EXPECT_FALSE(transfer(request_));
    where_.driver.program = u"missing"_s;
    EXPECT_FALSE(transfer(request_));
    where_.driver.program = u"package.sh"_s;
    package("0000");
    where_.receivedFolder = path(u"nowhere/"_s);  // the copy fails
    EXPECT_FALSE(transfer(request_));
    EXPECT_TRUE(QFile::exists(path(u"partner.DAT"_s)));
}

TEST_F(PackageDriverTest, WhatTheDriverCannotConfirmIsKeptAsideAndNeverOverwritten)
{
    // The package delivers but leaves no record of the transfer in its log: twice.
    package("0000");
    writeFile(path(u"data/LOGFL.dat"_s), logRecord(1, 99));
    for (const char* kept : {"00000123_RCV_ABC_________.CII.UNCONFIRMED", "00000123_RCV_ABC_________.CII.UNCONFIRMED-2"}) {
        EXPECT_FALSE(transfer(request_));
        EXPECT_EQ(readFile(path(u"received/"_s + QString::fromLatin1(kept))), "data");
        EXPECT_FALSE(QFile::exists(path(u"partner.DAT"_s)));  // the next run cannot overwrite it
        EXPECT_TRUE(note_.contains(QString::fromLatin1(kept))) << note_.toStdString();
    }
    EXPECT_FALSE(QFile::exists(path(u"received/00000123_RCV_ABC_________.CII"_s)));

    // A confirmed delivery whose reception could not be recorded stays under the job's name.
    writeFile(path(u"data/LOGFL.dat"_s), logRecord(1, 123));
    TransferReceipt receipt = runLinkTransfer(request_, path(u"partner.DAT"_s), where_);
    ASSERT_EQ(receipt.code, u"0000"_s);
    EXPECT_TRUE(receipt.claim->giveBack().contains(u"00000123_RCV_ABC_________.CII"_s));
    EXPECT_EQ(readFile(path(u"received/00000123_RCV_ABC_________.CII"_s)), "data");

    // A success that brought nothing new says so.
    package("0000", false);
    EXPECT_FALSE(transfer(request_));
    EXPECT_TRUE(note_.startsWith(u"受信データなし"_s)) << note_.toStdString();
}

class HandOverTest : public ::testing::Test {
protected:
    HandOverTest() { QDir().mkpath(path(u"received"_s)); }
    QString path(const QString& name) const { return dir_.filePath(name); }
    TransferReceipt handOver(HandOverRequest& request) { return runHandOver(request, path(u"received/"_s)); }

    QTemporaryDir dir_;
    const QString put_ = path(u"ABC.DAT"_s);
    HandOverRequest request_{u"ABC"_s, 3, u"R"_s, u"x"_s, put_, u"EDIAUTO"_s, {}};
};

TEST_F(HandOverTest, MovesTheFileUnderTheJobsName)
{
    writeFile(put_, "xml");
    TransferReceipt receipt = handOver(request_);
    EXPECT_EQ(receipt.code, u"0000"_s);
    EXPECT_EQ(request_.resultCode, u"0000"_s);
    EXPECT_EQ(readFile(path(u"received/00000003_RCV_ABC_________.XML"_s)), "xml");
    EXPECT_FALSE(QFile::exists(put_));
    EXPECT_TRUE(receipt.claim->release().isEmpty());
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden), QStringList());  // nothing left beside it

    writeFile(put_, "cii");
    request_.dataFormat = u"Ｃ"_s;
    request_.direction = u"ｒ"_s;
    receipt = handOver(request_);
    EXPECT_EQ(receipt.code, u"0000"_s);
    receipt.claim->release();
    EXPECT_EQ(readFile(path(u"received/00000003_RCV_ABC_________.CII"_s)), "cii");

    receipt = handOver(request_);  // nothing put
    EXPECT_EQ(receipt.code, u"9999"_s);
    EXPECT_TRUE(receipt.note.startsWith(u"受信データなし"_s));
    writeFile(put_, "data");
    request_.dataFormat = u"Q"_s;
    EXPECT_EQ(handOver(request_).code, u"9999"_s);
    request_.dataFormat = u"C"_s;
    request_.direction = u"S"_s;
    EXPECT_EQ(handOver(request_).code, u"9999"_s);
    request_.direction = u"R"_s;
    EXPECT_EQ(runHandOver(request_, path(u"nowhere/"_s)).code, u"9999"_s);
    EXPECT_EQ(readFile(put_), "data");  // a failed hand-over leaves the file where it was
}

TEST_F(HandOverTest, ATakenFileIsGoneForOthersUntilItIsGivenUpOrBack)
{
    writeFile(put_, "first");
    TransferReceipt receipt = handOver(request_);
    ASSERT_EQ(receipt.code, u"0000"_s);
    // A second job at the same path meanwhile finds nothing.
    HandOverRequest second = request_;
    second.serial = 4;
    EXPECT_EQ(handOver(second).code, u"9999"_s);

    // Given back, the file is where it was put, and the job's received file is gone.
    EXPECT_TRUE(receipt.claim->giveBack().contains(put_));
    EXPECT_EQ(readFile(put_), "first");
    EXPECT_FALSE(QFile::exists(path(u"received/00000003_RCV_ABC_________.XML"_s)));

    // When a new file was put meanwhile, neither is overwritten: the one given back waits beside it.
    receipt = handOver(request_);
    ASSERT_EQ(receipt.code, u"0000"_s);
    writeFile(put_, "second");
    EXPECT_TRUE(receipt.claim->giveBack().contains(u".returned-00000003"_s));
    EXPECT_EQ(readFile(put_), "second");
    EXPECT_EQ(readFile(put_ + u".returned-00000003"_s), "first");

    // A claim that is never settled is given back when it goes.
    receipt = handOver(second);
    ASSERT_EQ(receipt.code, u"0000"_s);
    receipt = {};
    EXPECT_EQ(readFile(put_), "second");
}

}  // namespace
}  // namespace edi::test
