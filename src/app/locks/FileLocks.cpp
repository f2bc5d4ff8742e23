#include "app/locks/FileLocks.h"

#include <QDir>
#include <QFile>
#include <QUrl>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

class FileLock final : public HeldLock {
public:
    explicit FileLock(int descriptor) : descriptor_(descriptor) {}
    ~FileLock() override { ::close(descriptor_); }

private:
    int descriptor_;
};

QString systemError() { return QString::fromLocal8Bit(std::strerror(errno)); }

}  // namespace

QString FileLocks::lockFile(LockScope scope, const QString& key) const
{
    const QString prefix = scope == LockScope::Centre ? u"centre-"_s : u"scheduler-"_s;
    return QDir(folder_).filePath(prefix + QString::fromLatin1(QUrl::toPercentEncoding(key)) + u".lock"_s);
}

std::unique_ptr<HeldLock> FileLocks::tryLock(LockScope scope, const QString& key)
{
    if (!QDir().mkpath(folder_))
        throw LockError(u"ロックフォルダを作れません: "_s + folder_);
    const QString path = lockFile(scope, key);
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (descriptor < 0)
        throw LockError(u"ロックファイルを開けません: "_s + path + u" ("_s + systemError() + u')');
    if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(descriptor);
        if (error == EWOULDBLOCK)
            return nullptr;
        errno = error;
        throw LockError(u"ロックファイルをロックできません: "_s + path + u" ("_s + systemError() + u')');
    }
    return std::make_unique<FileLock>(descriptor);
}

}  // namespace edi
