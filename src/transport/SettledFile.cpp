#include "transport/SettledFile.h"

#include "app/files/FileHelpers.h"
#include "app/process/ProcessTable.h"

#include <QFile>
#include <algorithm>
#include <chrono>
#include <ctime>
#include <thread>

#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

constexpr qint64 kNanoseconds = 1'000'000'000;

qint64 nanoseconds(const timespec& time)
{
    return qint64(time.tv_sec) * kNanoseconds + time.tv_nsec;
}

// The kernel's real-time clock, which stamps the files' times; the program's clock, which tests
// may set, has nothing to say about them.
qint64 fileSystemNow()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return nanoseconds(now);
}

QString writerReason(const QString& path)
{
    const std::optional<ProcessHoldingFile> writer = processWritingFile(path);
    if (!writer)
        return {};
    return u"%1 はプロセス %2 (%3) が書込み用に開いています"_s.arg(path).arg(writer->pid).arg(writer->name);
}

}  // namespace

FileState fileStateOf(const QString& path)
{
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return {};
    return {true, status.st_dev, status.st_ino, qint64(status.st_size), nanoseconds(status.st_mtim),
            nanoseconds(status.st_ctim)};
}

QString specialFileKind(const QString& path)
{
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0 || S_ISREG(status.st_mode))
        return {};
    if (S_ISDIR(status.st_mode))
        return u"フォルダ"_s;
    if (S_ISFIFO(status.st_mode))
        return u"名前付きパイプ (FIFO)"_s;
    if (S_ISSOCK(status.st_mode))
        return u"ソケット"_s;
    return u"デバイスファイル"_s;
}

QString unsettledReason(const QString& path, int settleSeconds)
{
    if (settleSeconds <= 0)
        return {};
    const qint64 settle = qint64(settleSeconds) * kNanoseconds;
    const FileState first = fileStateOf(path);
    const qint64 age = fileSystemNow() - first.modified;
    if (age < settle) {
        std::this_thread::sleep_for(std::chrono::nanoseconds(settle - std::max<qint64>(age, 0)));
        if (fileStateOf(path) != first)
            return u"%1 は %2 秒以内に大きさか更新時刻が変わっています"_s.arg(path).arg(settleSeconds);
    }
    return writerReason(path);
}

QString copyDiffers(const QString& source, const FileState& taken, const QString& copy, bool lookForWriters)
{
    if (fileStateOf(source) != taken)
        return u"%1 は取り込む間に変わりました"_s.arg(source);
    if (const QString writer = lookForWriters ? writerReason(source) : QString(); !writer.isEmpty())
        return writer;
    if (!sameContent(source, copy))
        return u"%1 の写しが元のファイルと一致しません"_s.arg(source);
    return {};
}

}  // namespace edi
