#include "app/process/ProcessTable.h"
#include "app/text/TextHelpers.h"
#include "support/TestFiles.h"
#include "transport/CommunicationPackageDriver.h"
#include "transport/HandOver.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QProcess>
#include <QThread>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace edi::test {
namespace {

// A log record of 88 bytes with a sequence number and a serial where the driver looks for them.
QByteArray logRecord(int sequence, int serial)
{
    return QByteArray(71, 'x') + QByteArray::number(sequence).rightJustified(7, '0') + ' '
         + QByteArray::number(serial).rightJustified(8, '0') + '\n';
}

// A partner's tool writing a file in a process of its own: a shell script, ended when it goes.
class Writer {
public:
    explicit Writer(const QString& script)
    {
        process_.start(u"/bin/sh"_s, {u"-c"_s, script});
        EXPECT_TRUE(process_.waitForStarted());
    }
    ~Writer()
    {
        process_.kill();
        process_.waitForFinished();
    }
    bool finished() { return process_.waitForFinished(20000) && process_.exitCode() == 0; }

private:
    QProcess process_;
};

// Waits until the condition holds; false after ten seconds.
bool eventually(const std::function<bool()>& condition)
{
    for (int tries = 0; tries < 1000; ++tries) {
        if (condition())
            return true;
        QThread::msleep(10);
    }
    return false;
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
        found_ = receipt.found;
        if (receipt.claim)
            receipt.claim->release();
        EXPECT_EQ(receipt.code, request.resultCode);
        return !receipt.code.isEmpty();
    }
    QString received() const { return path(u"received/00000123_RCV_ABC_________.CII"_s); }
    QString path(const QString& name) const { return dir_.filePath(name); }

    QTemporaryDir dir_;
    PackageLocations where_;
    LinkRequest request_{u"ABC"_s, 123, u"1"_s, 5, 12, 0, {}};
    QString note_;  // the last transfer's note
    SourceFinding found_ = SourceFinding::Data;  // what the last transfer found
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

// Nothing new is no failure: the package ended well, and there was no data.
TEST_F(PackageDriverTest, ASuccessThatDeliveredNothingDoesNotBringTheOldFileInAgain)
{
    writeFile(path(u"data/LOGFL.dat"_s), logRecord(1, 123));
    package("0000", false);  // the partner's file from an earlier run stays where it was
    ASSERT_TRUE(transfer(request_));
    EXPECT_EQ(request_.resultCode, u"0000"_s);
    EXPECT_EQ(found_, SourceFinding::NoData);
    EXPECT_TRUE(note_.startsWith(u"受信データなし"_s)) << note_.toStdString();
    EXPECT_FALSE(QFile::exists(received()));
    EXPECT_TRUE(QFile::exists(path(u"partner.DAT"_s)));

    package("0000");
    EXPECT_TRUE(transfer(request_));
    EXPECT_EQ(found_, SourceFinding::Data);
    EXPECT_EQ(readFile(received()), "data");
}

// A partner's files copied with their times kept (cp -p): each delivery has the size and the
// modification time of the one before, and each is received. The same bytes delivered again are
// a delivery too (the duplicate check of the job decides about them).
TEST_F(PackageDriverTest, DeliveriesAreToldApartByTheirFileAndBytesNotBySizeAndTime)
{
    writeFile(path(u"data/LOGFL.dat"_s), logRecord(1, 123));
    const QString delivered = path(u"partner.DAT"_s);
    writeFile(path(u"install/package.sh"_s), "#!/bin/sh\ncp -p \"$(cat " + path(u"next"_s).toUtf8() + ")\" " + delivered.toUtf8()
                                                 + "\nprintf 0000 > " + path(u"data/STS/Sts01.TXT"_s).toUtf8() + "\n");
    QFile::setPermissions(path(u"install/package.sh"_s), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QDateTime sent(QDate(2003, 3, 31), QTime(23, 0));
    for (const char* name : {"first", "second"}) {
        writeFile(path(QString::fromLatin1(name)), QByteArray(name).leftJustified(8, '.'));
        QFile file(path(QString::fromLatin1(name)));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite) && file.setFileTime(sent, QFileDevice::FileModificationTime));
    }
    for (const char* name : {"first", "second", "second"}) {
        QThread::msleep(20);  // the kernel stamps inode changes with a coarse clock
        writeFile(path(u"next"_s), path(QString::fromLatin1(name)).toUtf8());
        ASSERT_TRUE(transfer(request_)) << name;
        EXPECT_EQ(found_, SourceFinding::Data) << name;
        EXPECT_EQ(readFile(received()), QByteArray(name).leftJustified(8, '.'));
        EXPECT_EQ(QFileInfo(delivered).lastModified(), sent);
    }
}

// A package that ends while a writer it started outside its process group still writes its file:
// the file stays where it is, and the next run takes it whole although its own package delivers
// nothing new.
TEST_F(PackageDriverTest, ADeliveryStillBeingWrittenIsTakenWholeByTheNextRun)
{
    writeFile(path(u"data/LOGFL.dat"_s), logRecord(1, 123));
    const QString delivered = path(u"partner.DAT"_s);
    writeFile(path(u"install/package.sh"_s),
              u"#!/bin/sh\nsetsid sh -c \"exec 3>'%1'; printf first >&3; sleep 2; printf ' rest' >&3\" >/dev/null 2>&1 &\n"
              u"while [ \"$(cat '%1')\" != first ]; do sleep 0.05; done\nprintf 0000 > '%2'\n"_s.arg(delivered, path(u"data/STS/Sts01.TXT"_s))
                  .toUtf8());
    QFile::setPermissions(path(u"install/package.sh"_s), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    request_.settleSeconds = 1;
    ASSERT_TRUE(transfer(request_));
    EXPECT_EQ(found_, SourceFinding::NotSettled);
    EXPECT_TRUE(note_.startsWith(u"書込み中のため受信せず: 通信パッケージのファイル %1 はプロセス "_s.arg(delivered))) << note_.toStdString();
    EXPECT_FALSE(QFile::exists(received()));

    ASSERT_TRUE(eventually([&] { return readFile(delivered) == "first rest" && !processWritingFile(delivered); }));
    package("0000", false);
    ASSERT_TRUE(transfer(request_));
    EXPECT_EQ(found_, SourceFinding::Data) << note_.toStdString();
    EXPECT_EQ(readFile(received()), "first rest");
    ASSERT_TRUE(transfer(request_));
    EXPECT_EQ(found_, SourceFinding::NoData);
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
    EXPECT_TRUE(transfer(request_));
    EXPECT_EQ(found_, SourceFinding::NoData);
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

    receipt = handOver(request_);  // nothing put: no data, no failure
    EXPECT_EQ(receipt.code, u"0000"_s);
    EXPECT_EQ(request_.resultCode, u"0000"_s);
    EXPECT_EQ(receipt.found, SourceFinding::NoData);
    EXPECT_FALSE(receipt.claim);
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
    EXPECT_EQ(handOver(second).found, SourceFinding::NoData);

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

// Files still being written, and what stands at the hand-over path instead of a file.
class SettlingHandOverTest : public HandOverTest {
protected:
    SettlingHandOverTest() { request_.settleSeconds = 2; }
    QString received() const { return path(u"received/00000003_RCV_ABC_________.XML"_s); }
};

// A tool that keeps the file open and pauses after its first part: the first look waits the
// settle time, finds the file still open for writing and leaves it; once the tool has written the
// rest and closed it, the next reception takes the whole file.
TEST_F(SettlingHandOverTest, AFileAWriterKeepsOpenIsLeftUntilItIsWhole)
{
    request_.settleSeconds = 1;
    Writer writer(u"exec 3>'%1'; printf first >&3; sleep 2; printf ' rest' >&3"_s.arg(put_));
    ASSERT_TRUE(eventually([&] { return QFile::exists(put_) && readFile(put_) == "first"; }));
    TransferReceipt receipt = handOver(request_);
    EXPECT_EQ(receipt.code, u"0000"_s);
    EXPECT_EQ(receipt.found, SourceFinding::NotSettled);
    EXPECT_FALSE(receipt.claim);
    EXPECT_TRUE(receipt.note.startsWith(u"書込み中のため受信せず: 持込ファイル %1 はプロセス "_s.arg(put_))) << receipt.note.toStdString();
    EXPECT_TRUE(receipt.note.contains(u"書込み用に開いています"_s)) << receipt.note.toStdString();
    EXPECT_FALSE(QFile::exists(received()));

    ASSERT_TRUE(writer.finished());
    receipt = handOver(request_);
    ASSERT_EQ(receipt.found, SourceFinding::Data) << receipt.note.toStdString();
    receipt.claim->release();
    EXPECT_EQ(readFile(received()), "first rest");
    EXPECT_FALSE(QFile::exists(put_));
}

// A tool that opens the file again for each chunk holds nothing open between them: its file is
// younger than the settle time and changes while the reception waits.
TEST_F(SettlingHandOverTest, AFileAppendedInChunksIsTakenWholeOnce)
{
    Writer writer(u"for i in 1 2 3 4 5 6 7 8 9 10; do printf chunk$i >> '%1'; sleep 0.3; done"_s.arg(put_));
    ASSERT_TRUE(eventually([&] { return QFile::exists(put_); }));
    TransferReceipt receipt = handOver(request_);
    EXPECT_EQ(receipt.found, SourceFinding::NotSettled);
    EXPECT_TRUE(receipt.note.contains(u"2 秒以内に大きさか更新時刻が変わっています"_s)) << receipt.note.toStdString();
    EXPECT_FALSE(QFile::exists(received()));

    ASSERT_TRUE(writer.finished());
    receipt = handOver(request_);
    ASSERT_EQ(receipt.found, SourceFinding::Data) << receipt.note.toStdString();
    receipt.claim->release();
    EXPECT_EQ(readFile(received()), "chunk1chunk2chunk3chunk4chunk5chunk6chunk7chunk8chunk9chunk10");
    EXPECT_EQ(handOver(request_).found, SourceFinding::NoData);
}

// Without a settle time nothing is looked at before the claim, but the copy is still compared
// with the file taken: one a writer kept writing into is given back, whole, for the next reception.
TEST_F(SettlingHandOverTest, AClaimThatChangedWhileItWasCopiedIsGivenBack)
{
    request_.settleSeconds = 0;
    writeFile(put_, QByteArray(32 << 20, 'x'));
    auto writer = std::make_unique<Writer>(u"exec 3>>'%1'; while :; do printf '%4096s' >&3; sleep 0.001; done"_s.arg(put_));
    ASSERT_TRUE(eventually([&] { return QFileInfo(put_).size() > (32 << 20); }));
    TransferReceipt receipt = handOver(request_);
    EXPECT_EQ(receipt.code, u"0000"_s);
    EXPECT_EQ(receipt.found, SourceFinding::NotSettled);
    EXPECT_TRUE(receipt.note.contains(u"を取り込む間に変わったため戻しました"_s)) << receipt.note.toStdString();
    EXPECT_TRUE(receipt.note.contains(u"持込ファイルを元に戻しました: "_s + put_)) << receipt.note.toStdString();
    EXPECT_FALSE(QFile::exists(received()));

    writer.reset();
    const QByteArray whole = readFile(put_);
    receipt = handOver(request_);
    ASSERT_EQ(receipt.found, SourceFinding::Data) << receipt.note.toStdString();
    receipt.claim->release();
    EXPECT_TRUE(readFile(received()) == whole);
}

TEST_F(SettlingHandOverTest, AFifoASocketOrAFolderAtThePathIsNamedAndNeverWaitedFor)
{
    auto refused = [&](const QString& what) {
        TransferReceipt receipt = handOver(request_);
        EXPECT_EQ(receipt.code, u"9999"_s) << what.toStdString();
        EXPECT_EQ(receipt.note, u"持込ファイルの場所 %1 はファイルではなく%2です"_s.arg(put_, what)) << receipt.note.toStdString();
    };
    ASSERT_EQ(::mkfifo(QFile::encodeName(put_).constData(), 0600), 0);
    refused(u"名前付きパイプ (FIFO)"_s);
    ASSERT_TRUE(QFile::remove(put_));

    ASSERT_TRUE(QDir().mkpath(put_));
    refused(u"フォルダ"_s);
    ASSERT_TRUE(QDir().rmdir(put_));

    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(put_);
    ASSERT_LT(size_t(name.size()), sizeof address.sun_path);
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    refused(u"ソケット"_s);
    ::close(listener);
}

// Files given back beside a newer one wait for the receptions after the file at the path, the
// oldest first; an upload in progress among them is passed over.
TEST_F(HandOverTest, ReturnedFilesAreReceivedAfterTheFileAtThePathOldestFirst)
{
    const QDateTime now = QDateTime::currentDateTime();
    auto put = [&](const QString& name, const QByteArray& bytes, int minutesAgo) {
        writeFile(name, bytes);
        QFile file(name);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite) && file.setFileTime(now.addSecs(-60 * minutesAgo), QFileDevice::FileModificationTime));
    };
    put(put_, "newest", 0);
    put(put_ + u".returned-00000002"_s, "older", 60);
    put(put_ + u".returned-00000001"_s, "oldest", 120);
    put(put_ + u".returned-00000009.part"_s, "partial", 180);
    EXPECT_EQ(handOverCandidates(put_), (QStringList{put_, put_ + u".returned-00000001"_s, put_ + u".returned-00000002"_s}));

    for (const char* expected : {"newest", "oldest", "older"}) {
        const QString received = path(u"received/%1_RCV_ABC_________.XML"_s.arg(serialText(request_.serial)));
        TransferReceipt receipt = handOver(request_);
        ASSERT_EQ(receipt.found, SourceFinding::Data) << expected;
        EXPECT_EQ(readFile(received), expected);
        if (QByteArray(expected) == "oldest") {
            // Given back, a returned file goes back under its own name.
            EXPECT_EQ(receipt.claim->giveBack(), u"持込ファイルを元に戻しました: "_s + put_ + u".returned-00000001"_s);
            receipt = handOver(request_);
            EXPECT_EQ(readFile(received), expected);
        }
        EXPECT_TRUE(receipt.claim->release().isEmpty());
        ++request_.serial;
    }
    EXPECT_EQ(handOver(request_).found, SourceFinding::NoData);
    EXPECT_EQ(readFile(put_ + u".returned-00000009.part"_s), "partial");
}

}  // namespace
}  // namespace edi::test
