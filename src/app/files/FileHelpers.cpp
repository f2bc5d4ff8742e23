#include "app/files/FileHelpers.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace edi {
namespace {

fs::path toPath(const QString& path)
{
    return fs::path(path.toStdU16String());
}

QString fromPath(const fs::path& path)
{
    return QString::fromStdU16String(path.u16string());
}

// fsync through a descriptor of its own; never blocks on a FIFO. A file system that cannot sync
// such a file (EINVAL, EROFS) has nothing to lose by it.
bool syncOne(const QByteArray& path)
{
    const int descriptor = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0)
        return false;
    const bool synced = ::fsync(descriptor) == 0 || errno == EINVAL || errno == EROFS;
    ::close(descriptor);
    return synced;
}

bool syncFolderOf(const QString& path)
{
    return syncOne(QFile::encodeName(QFileInfo(path).absolutePath()));
}

// Copies through a temporary name beside the target, so an interrupted copy never leaves a
// partial file under the target's name; the copy is on the disk before it gets that name, and
// the name after.
bool copyReplacing(const fs::path& source, const fs::path& target)
{
    std::error_code ec;
    fs::path temporary = target;
    temporary += ".part";
    fs::copy_file(source, temporary, fs::copy_options::overwrite_existing, ec);
    if (!ec && !syncOne(QFile::encodeName(fromPath(temporary))))
        ec = std::make_error_code(std::errc::io_error);
    if (!ec)
        fs::rename(temporary, target, ec);
    if (!ec && !syncFolderOf(fromPath(target)))
        ec = std::make_error_code(std::errc::io_error);
    if (ec) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return false;
    }
    return true;
}

// NothingToDo for a missing source, Error for one that is not a regular file.
std::optional<FileStatus> unusableSource(const fs::path& source)
{
    std::error_code ec;
    const fs::file_status status = fs::status(source, ec);
    if (status.type() == fs::file_type::not_found)
        return FileStatus::NothingToDo;
    if (ec || !fs::is_regular_file(status))
        return FileStatus::Error;
    return std::nullopt;
}

}  // namespace

FileStatus deleteFile(const QString& path)
{
    std::error_code ec;
    const fs::path p = toPath(path);
    const fs::file_status status = fs::symlink_status(p, ec);
    if (status.type() == fs::file_type::not_found)
        return FileStatus::NothingToDo;
    if (ec || fs::is_directory(status))
        return FileStatus::Error;
    return fs::remove(p, ec) && !ec ? FileStatus::Done : FileStatus::Error;
}

FileStatus copyFile(const QString& source, const QString& target)
{
    const fs::path from = toPath(source);
    if (const std::optional<FileStatus> unusable = unusableSource(from))
        return *unusable;
    return copyReplacing(from, toPath(target)) ? FileStatus::Done : FileStatus::Error;
}

FileStatus moveFile(const QString& source, const QString& target)
{
    const fs::path from = toPath(source);
    const fs::path to = toPath(target);
    if (const std::optional<FileStatus> unusable = unusableSource(from))
        return *unusable;
    std::error_code ec;
    if (fs::equivalent(from, to, ec))
        return FileStatus::Done;  // already in place: removing the "source" would lose it
    // A rename replaces the target in one step; across file systems it cannot work, so copy.
    fs::rename(from, to, ec);
    if (!ec) {
        // The file is in its new place whether or not the names reach the disk now: Done.
        syncToDisk(target);
        syncFolderOf(source);
        return FileStatus::Done;
    }
    if (!copyReplacing(from, to))
        return FileStatus::Error;
    // A source that is gone by now was taken by someone else meanwhile: the copy is not ours.
    if (!fs::remove(from, ec) || ec) {
        std::error_code ignored;
        fs::remove(to, ignored);
        return FileStatus::Error;
    }
    // The source's folder on the disk too: after a power cut the file is in one place only.
    return syncFolderOf(source) ? FileStatus::Done : FileStatus::Error;
}

FileStatus renameWithoutReplacing(const QString& source, const QString& target)
{
    const QByteArray from = QFile::encodeName(source);
    const QByteArray to = QFile::encodeName(target);
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return FileStatus::Done;
    if (errno == EEXIST)
        return FileStatus::NothingToDo;
    if (errno != EINVAL && errno != ENOSYS)
        return FileStatus::Error;
    // A file system without the flag: a second link fails just as surely on an existing name.
    if (::link(from.constData(), to.constData()) != 0)
        return errno == EEXIST ? FileStatus::NothingToDo : FileStatus::Error;
    ::unlink(from.constData());
    return FileStatus::Done;
}

bool sameContent(const QString& first, const QString& second)
{
    QFile a(first);
    QFile b(second);
    if (!a.open(QIODevice::ReadOnly) || !b.open(QIODevice::ReadOnly) || a.size() != b.size())
        return false;
    constexpr qint64 kChunk = 1 << 16;
    while (!a.atEnd()) {
        const QByteArray chunk = a.read(kChunk);
        if (chunk.isEmpty() || chunk != b.read(kChunk))
            return false;
    }
    return true;
}

bool syncToDisk(const QString& path)
{
    return syncOne(QFile::encodeName(path)) && syncFolderOf(path);
}

bool syncToDisk(const QStringList& paths)
{
    bool synced = true;
    for (const QString& path : paths)
        synced = syncToDisk(path) && synced;
    return synced;
}

bool isPartialUploadName(const QString& fileName)
{
    return fileName.startsWith(u'.') || fileName.endsWith(u'~') || fileName.endsWith(u".tmp", Qt::CaseInsensitive)
        || fileName.endsWith(u".part", Qt::CaseInsensitive);
}

QString unusedNameBeside(const QString& path, const QString& suffix)
{
    QString name = path + suffix;
    for (int number = 2; QFileInfo::exists(name) || QFileInfo(name).isSymLink(); ++number)
        name = path + suffix + u'-' + QString::number(number);
    return name;
}

}  // namespace edi
