#include "transport/CommunicationPackageDriver.h"

#include "app/ResultCode.h"
#include "app/config/ConfigNumber.h"
#include "app/files/JobFiles.h"
#include "app/process/RunAndWait.h"
#include "app/text/TextHelpers.h"
#include "transport/SettledFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <optional>
#include <stdexcept>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

constexpr qint64 kLogRecord = 88;
// After the job's CII name: a delivery that is kept but was never confirmed or recorded.
const QString kUnconfirmed = u".UNCONFIRMED"_s;

QStringList statusFiles(const QString& dataFolder)
{
    const QDir folder(JobFiles::joinPath(dataFolder, u"STS"_s));
    QStringList files;
    for (const QString& name : folder.entryList({u"Sts*.TXT"_s}, QDir::Files, QDir::Name))
        files << folder.filePath(name);
    return files;
}

bool writeKeyInFile(const QString& path, const LinkRequest& request, const LinkDriverSettings& driver)
{
    if (QFile::exists(path) && !QFile::remove(path))
        return false;
    const QStringList lines = {serialText(request.serial),
                               request.transferKind,
                               u"%1"_s.arg(request.partnerNumber, 2, 10, QChar(u'0')),
                               u"%1"_s.arg(request.fileNumber, 2, 10, QChar(u'0')),
                               u"D"_s,
                               u"N"_s,
                               QString::number(driver.minimize),
                               u"0"_s,
                               u"0"_s,
                               QString::number(driver.demoMode),
                               u"1"_s};
    QFile file(path);
    const QByteArray text = (lines.join(u"\r\n"_s) + u"\r\n"_s).toLatin1();
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size() && file.flush();
}

// The first field of the status file's first line, to the first comma; four characters of it
// are the status code, and a code whose number is zero is success.
std::optional<QString> readStatusCode(const QString& path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray line = file.readLine(4096);
    QByteArray field = line.left(line.indexOf(','));
    while (field.endsWith('\n') || field.endsWith('\r'))
        field.chop(1);
    const QString code = QString::fromLatin1(field.left(4));
    return leadingConfigNumber(code) == 0 ? ResultCode::ok : code;
}

// The transfer log is read backwards a record at a time: in each 88-byte record the eight
// characters ending one byte before its end are a serial, the seven before them a sequence number.
std::optional<qint32> findLastSequence(const QString& dataFolder, qint32 serial)
{
    QString path = JobFiles::joinPath(dataFolder, u"LOGFL.dat"_s);
    if (!QFileInfo::exists(path))
        path = JobFiles::joinPath(dataFolder, u"LOGFL2.dat"_s);
    QFile log(path);
    if (!QFileInfo(path).isFile() || !log.open(QIODevice::ReadOnly))
        return std::nullopt;
    const qint64 length = log.size();
    for (qint64 serialAt = length - 9; serialAt - 8 >= 0; serialAt -= kLogRecord) {
        if (!log.seek(serialAt - 8))
            return std::nullopt;
        const QByteArray bytes = log.read(16);
        if (bytes.size() != 16)
            return std::nullopt;
        if (leadingConfigNumber(QString::fromLatin1(bytes.mid(8, 8))) == serial)
            return leadingConfigNumber(QString::fromLatin1(bytes.left(7)));
    }
    return std::nullopt;
}

// What tells one delivery in the package's file from another: the file itself (a new inode, or
// an inode changed since) and its bytes. Size and modification time are not enough: a partner's
// file copied with its times kept (cp -p) may have the size and time of the one before.
struct DeliveredVersion {
    FileState state;
    QByteArray sha256;
    bool operator==(const DeliveredVersion&) const = default;
};

// Only a regular file is read: a FIFO at the path would make the read wait for a writer.
DeliveredVersion versionOf(const QString& path)
{
    DeliveredVersion version{fileStateOf(path), {}};
    QFile file(path);
    if (!version.state.exists || !file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    version.sha256 = hash.result();
    return version;
}

// The job's CII copy of a confirmed delivery. Nothing of the package's own file is given up: it
// stays where the package put it. When the reception cannot be recorded the copy stays too,
// under the job's name, since the partner's data cannot go back to the partner: the job is
// completed as interrupted later and its data can be run again from there.
class PackageClaim final : public SourceClaim {
public:
    explicit PackageClaim(QString receivedCii) : receivedCii_(std::move(receivedCii)) {}

    QString release() override { return {}; }
    QString giveBack() override
    {
        return u"受信を記録できませんでしたが、受信ファイル %1 は残っています"_s.arg(receivedCii_);
    }

private:
    QString receivedCii_;
};

// One run of the package for a job: what lay at the package's file path before it, and what
// becomes of what the package left there.
//
// A delivery still being written when its run ended stays at the package's file path, and the
// next run must take it even when its package delivers nothing new: a mark in the received-files
// folder says so until a run has dealt with the file.
class PackageRun {
public:
    PackageRun(LinkRequest& request, QString packageFile, const JobFiles& files)
        : request_(request)
        , packageFile_(std::move(packageFile))
        , files_(files)
        , pendingMark_(files.inReceivedFolder(u'.' + files.baseName().mid(9) + u".PENDING"_s))
        // A pending delivery counts as new whatever the package does now.
        , before_(QFileInfo::exists(pendingMark_) ? DeliveredVersion{} : versionOf(packageFile_))
    {
    }

    // What the package delivered in a run that is not confirmed is the partner's data all the
    // same: it is kept aside, where the next run cannot overwrite it.
    TransferReceipt unconfirmed(const QString& why)
    {
        TransferReceipt receipt{{}, why, {}};
        if (versionOf(packageFile_) != before_) {
            if (const QString kept = keepUnconfirmedDelivery(packageFile_, files_); !kept.isEmpty())
                receipt.note += u"; "_s + kept;
        }
        if (!QFileInfo::exists(packageFile_))
            deleteFile(pendingMark_);
        return receipt;
    }

    // After the package reported success: its new file, settled and copied, as the job's CII
    // file; nothing when the file is the one that lay there before.
    TransferReceipt takeDelivery(const QString& statusCode)
    {
        if (const QString kind = specialFileKind(packageFile_); !kind.isEmpty())
            return {{}, u"通信パッケージのファイルの場所 %1 はファイルではなく%2です"_s.arg(packageFile_, kind), {}};
        // A success that left the previous run's file would bring its data in a second time.
        const DeliveredVersion after = versionOf(packageFile_);
        if (!after.state.exists || after == before_) {
            deleteFile(pendingMark_);
            request_.resultCode = statusCode;
            return nothingTaken(SourceFinding::NoData,
                                u"受信データなし: 通信パッケージは正常終了しましたが、%1 に新しいファイルがありません"_s.arg(packageFile_));
        }
        if (const QString why = unsettledReason(packageFile_, request_.settleSeconds); !why.isEmpty())
            return notSettled(why, statusCode);
        const FileState taken = fileStateOf(packageFile_);
        const QString target = files_.receivedCii();
        if (copyFile(packageFile_, target) != FileStatus::Done)
            return unconfirmed(u"受信フォルダに書き込めません: "_s + target);
        if (const QString changed = copyDiffers(packageFile_, taken, target, request_.settleSeconds > 0); !changed.isEmpty()) {
            deleteFile(target);
            return notSettled(changed, statusCode);
        }
        deleteFile(pendingMark_);
        request_.resultCode = statusCode;
        return {statusCode, u"通信パッケージのファイル %1 を %2 として受信しました"_s.arg(packageFile_, target),
                std::make_unique<PackageClaim>(target)};
    }

private:
    TransferReceipt notSettled(const QString& why, const QString& statusCode)
    {
        QFile mark(pendingMark_);
        const QByteArray text = QFile::encodeName(packageFile_) + '\n';
        if (!mark.open(QIODevice::WriteOnly | QIODevice::Truncate) || mark.write(text) != text.size() || !mark.flush()
            || !syncToDisk(pendingMark_))
            return unconfirmed(u"受信フォルダに書き込めません: "_s + pendingMark_);
        request_.resultCode = statusCode;
        return nothingTaken(SourceFinding::NotSettled,
                            u"書込み中のため受信せず: 通信パッケージのファイル %1。次の受信で受け取ります"_s.arg(why));
    }

    LinkRequest& request_;
    QString packageFile_;
    const JobFiles& files_;
    QString pendingMark_;
    DeliveredVersion before_;
};

}  // namespace

QString keepUnconfirmedDelivery(const QString& packageFilePath, const JobFiles& files)
{
    if (!QFileInfo(packageFilePath).isFile())
        return {};
    const QString aside = unusedNameBeside(files.receivedCii(), kUnconfirmed);
    if (moveFile(packageFilePath, aside) != FileStatus::Done)
        return u"通信パッケージが受信した未確認のファイルを退避できません: "_s + packageFilePath;
    return u"通信パッケージが受信した未確認のファイルを %1 として残しました"_s.arg(aside);
}

TransferReceipt runLinkTransfer(LinkRequest& request, const QString& packageFilePath, const PackageLocations& where)
{
    TransferReceipt receipt;
    request.resultCode.clear();  // set only once the package's status is read
    std::optional<JobFiles> files;
    try {
        files.emplace(where.receivedFolder, request.serial, request.centreCode);
    } catch (const std::invalid_argument&) {
        return receipt;
    }
    for (const QString& old : statusFiles(where.dataFolder)) {
        if (!QFile::remove(old)) {
            receipt.note = u"前回のステータスファイルを削除できません: "_s + old;
            return receipt;
        }
    }
    const LinkDriverSettings& driver = where.driver;
    const QString keyIn = JobFiles::joinPath(driver.installFolder, u"Zkeyin.dat"_s);
    if (!writeKeyInFile(keyIn, request, driver)) {
        receipt.note = u"キー入力ファイルを書けません: "_s + keyIn;
        return receipt;
    }
    PackageRun run(request, packageFilePath, *files);
    if (runAndWait(JobFiles::joinPath(driver.installFolder, driver.program), {}, driver.installFolder,
                   driver.timeLimitSeconds)
        != FileStatus::Done)
        return run.unconfirmed(u"通信パッケージが正常に終了しませんでした (起動失敗、異常終了、時間超過)"_s);

    const QStringList status = statusFiles(where.dataFolder);
    if (status.isEmpty())
        return run.unconfirmed(u"通信パッケージのステータスファイルがありません"_s);
    const std::optional<QString> code = readStatusCode(status.first());
    if (!code)
        return run.unconfirmed(u"通信パッケージのステータスファイルを読めません: "_s + status.first());
    const std::optional<qint32> sequence = findLastSequence(where.dataFolder, request.serial);
    if (!sequence)
        return run.unconfirmed(u"通信パッケージの転送ログに通番 %1 の記録がありません"_s.arg(serialText(request.serial)));
    request.lastSequence = *sequence;
    if (*code != ResultCode::ok) {
        request.resultCode = *code;
        TransferReceipt failed = run.unconfirmed(u"通信パッケージの状態コード "_s + *code);
        failed.code = *code;
        return failed;
    }
    return run.takeDelivery(*code);
}

}  // namespace edi
