#include "app/process/ProcessTable.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <cerrno>
#include <csignal>
#include <functional>

#include <fcntl.h>
#include <sys/stat.h>

namespace edi {
namespace {

constexpr std::chrono::milliseconds kPollInterval{20};
constexpr std::chrono::milliseconds kKilledGroupLimit{60'000};

// Calls `visit` with the folder of every process in /proc until it returns true.
bool anyProcess(const std::function<bool(const QString&)>& visit)
{
    const QDir proc(QStringLiteral("/proc"));
    for (const QString& name : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool numeric = false;
        name.toLongLong(&numeric);
        if (numeric && visit(proc.filePath(name)))
            return true;
    }
    return false;
}

// The state and the process group from /proc/PID/stat: "pid (name) state ppid pgrp ...". The
// name may hold blanks and parentheses, so the fields are counted from the last ")".
bool liveMemberOf(const QString& processFolder, qint64 groupId)
{
    QFile stat(processFolder + QStringLiteral("/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return false;  // ended meanwhile
    const QByteArray line = stat.read(4096);
    const qsizetype nameEnd = line.lastIndexOf(')');
    if (nameEnd < 0)
        return false;
    const QList<QByteArray> fields = line.mid(nameEnd + 2).split(' ');
    if (fields.size() < 3)
        return false;
    const bool zombie = fields[0] == "Z" || fields[0] == "X";
    return !zombie && fields[2].toLongLong() == groupId;
}

// Whether the descriptor's flags ("flags:\t0100002" in octal) allow writing.
bool openForWriting(const QString& fdinfoPath)
{
    QFile fdinfo(fdinfoPath);
    if (!fdinfo.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : fdinfo.read(4096).split('\n')) {
        if (line.startsWith("flags:")) {
            bool octal = false;
            const int flags = line.mid(6).trimmed().toInt(&octal, 8);
            return octal && (flags & O_ACCMODE) != O_RDONLY;
        }
    }
    return false;
}

// Whether one of the process's descriptors is the file (same device and inode) open for writing.
bool writesFile(const QString& processFolder, const struct stat& file)
{
    const QDir descriptors(processFolder + QStringLiteral("/fd"));
    // Files only: the links of sockets and pipes are no files, and an unreadable folder lists nothing.
    for (const QString& name : descriptors.entryList(QDir::Files)) {
        struct stat target {};
        if (::stat(QFile::encodeName(descriptors.filePath(name)).constData(), &target) != 0)
            continue;  // closed meanwhile
        if (target.st_dev == file.st_dev && target.st_ino == file.st_ino
            && openForWriting(processFolder + QStringLiteral("/fdinfo/") + name))
            return true;
    }
    return false;
}

}  // namespace

bool processGroupHasLiveMembers(qint64 groupId)
{
    if (groupId <= 0)
        return false;
    if (::kill(pid_t(-groupId), 0) != 0 && errno == ESRCH)
        return false;
    // The group exists; its members may all be zombies that another parent has yet to reap.
    return anyProcess([groupId](const QString& folder) { return liveMemberOf(folder, groupId); });
}

bool waitForProcessGroup(qint64 groupId, const QDeadlineTimer& deadline)
{
    while (processGroupHasLiveMembers(groupId)) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(kPollInterval.count());
    }
    return true;
}

bool terminateProcessGroup(qint64 groupId, std::chrono::milliseconds grace)
{
    if (groupId <= 0)
        return true;
    ::kill(pid_t(-groupId), SIGTERM);
    if (waitForProcessGroup(groupId, QDeadlineTimer(grace)))
        return true;
    ::kill(pid_t(-groupId), SIGKILL);
    return waitForProcessGroup(groupId, QDeadlineTimer(kKilledGroupLimit));
}

bool processWithArgumentRuns(const QString& argument)
{
    const QByteArray wanted = QFile::encodeName(argument);
    return anyProcess([&wanted](const QString& folder) {
        QFile commandLine(folder + QStringLiteral("/cmdline"));
        if (!commandLine.open(QIODevice::ReadOnly))
            return false;
        // Arguments are separated by NUL; a zombie's command line is empty.
        const QList<QByteArray> arguments = commandLine.read(1 << 20).split('\0');
        return arguments.contains(wanted);
    });
}

std::optional<ProcessHoldingFile> processWritingFile(const QString& path)
{
    struct stat file {};
    if (::stat(QFile::encodeName(path).constData(), &file) != 0)
        return std::nullopt;
    std::optional<ProcessHoldingFile> found;
    anyProcess([&](const QString& folder) {
        if (!writesFile(folder, file))
            return false;
        QFile name(folder + QStringLiteral("/comm"));
        found = ProcessHoldingFile{QFileInfo(folder).fileName().toLongLong(),
                                   name.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(name.readAll().trimmed()) : QString()};
        return true;
    });
    return found;
}

}  // namespace edi
