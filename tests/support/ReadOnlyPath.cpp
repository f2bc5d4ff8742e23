#include "ReadOnlyPath.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <sys/mount.h>
#include <unistd.h>

namespace edi::test {

ReadOnlyPath::ReadOnlyPath(QString path)
    : path_(std::move(path))
    , permissions_(QFile::permissions(path_))
{
    const QByteArray native = QFile::encodeName(path_);
    if (::geteuid() != 0) {
        constexpr auto writeBits = QFileDevice::WriteOwner | QFileDevice::WriteUser | QFileDevice::WriteGroup
                                 | QFileDevice::WriteOther;
        if (QFile::setPermissions(path_, permissions_ & ~writeBits))
            how_ = How::Permissions;
        else
            why_ = QStringLiteral("the write permissions of %1 cannot be taken away").arg(path_);
        return;
    }
    // A bind mount is made read-write; only a remount makes it read-only.
    if (::mount(native.constData(), native.constData(), nullptr, MS_BIND, nullptr) != 0) {
        why_ = QStringLiteral("%1 cannot be bind-mounted: %2").arg(path_, QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    how_ = How::Mounted;
    if (::mount(nullptr, native.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
        why_ = QStringLiteral("%1 cannot be made read-only: %2").arg(path_, QString::fromLocal8Bit(std::strerror(errno)));
        ::umount2(native.constData(), MNT_DETACH);
        how_ = How::None;
    }
}

ReadOnlyPath::~ReadOnlyPath()
{
    if (how_ == How::Mounted)
        ::umount2(QFile::encodeName(path_).constData(), MNT_DETACH);
    else if (how_ == How::Permissions)
        QFile::setPermissions(path_, permissions_);
}

}  // namespace edi::test
