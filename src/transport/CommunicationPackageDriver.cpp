#include "transport/CommunicationPackageDriver.h"

#include "app/ResultCode.h"
#include "app/config/ConfigNumber.h"
#include "app/files/JobFiles.h"
#include "app/process/RunAndWait.h"
#include "app/text/TextHelpers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <filesystem>
#include <optional>
#include <stdexcept>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

constexpr qint64 kLogRecord = 88;

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

// What tells one version of the package's file from another: a file the package wrote in this
// run differs from the one it left before.
struct FileVersion {
    bool exists = false;
    std::uintmax_t size = 0;
    std::filesystem::file_time_type written;
    bool operator==(const FileVersion&) const = default;
};

FileVersion versionOf(const QString& path)
{
    std::error_code error;
    const std::filesystem::path file(path.toStdU16String());
    FileVersion version;
    version.size = std::filesystem::file_size(file, error);
    if (error)
        return {};
    version.written = std::filesystem::last_write_time(file, error);
    version.exists = !error;
    return version;
}

}  // namespace

FileStatus runLinkTransfer(LinkRequest& request, const QString& packageFilePath, const PackageLocations& where)
{
    for (const QString& old : statusFiles(where.dataFolder)) {
        if (!QFile::remove(old))
            return FileStatus::Error;
    }
    const LinkDriverSettings& driver = where.driver;
    if (!writeKeyInFile(JobFiles::joinPath(driver.installFolder, u"Zkeyin.dat"_s), request, driver))
        return FileStatus::Error;
    const FileVersion before = versionOf(packageFilePath);
    if (runAndWait(JobFiles::joinPath(driver.installFolder, driver.program), {}, driver.installFolder,
                   driver.timeLimitSeconds)
        != FileStatus::Done)
        return FileStatus::Error;

    const QStringList status = statusFiles(where.dataFolder);
    if (status.isEmpty())
        return FileStatus::Error;
    const std::optional<QString> code = readStatusCode(status.first());
    const std::optional<qint32> sequence = findLastSequence(where.dataFolder, request.serial);
    if (!code || !sequence)
        return FileStatus::Error;
    if (*code == ResultCode::ok) {
        // A success that left the previous run's file would bring its data in a second time.
        if (before.exists && versionOf(packageFilePath) == before)
            return FileStatus::Error;
        try {
            const JobFiles files(where.receivedFolder, request.serial, request.centreCode);
            if (copyFile(packageFilePath, files.receivedCii()) != FileStatus::Done)
                return FileStatus::Error;
        } catch (const std::invalid_argument&) {
            return FileStatus::Error;
        }
    }
    request.lastSequence = *sequence;
    request.resultCode = *code;
    return FileStatus::Done;
}

}  // namespace edi
