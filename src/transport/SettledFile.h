#pragma once

#include <QString>
#include <sys/types.h>

namespace edi {

// What tells one state of a file from another: which file it is (device and inode), its size, and
// when its content and its inode last changed (nanoseconds). A file that is not there, or is no
// regular file, has no state (exists false).
struct FileState {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    qint64 size = 0;
    qint64 modified = 0;
    qint64 changed = 0;
    bool operator==(const FileState&) const = default;
};

FileState fileStateOf(const QString& path);

// What lies at a path that is no file a reception can take, in words ("フォルダ", "名前付きパイプ
// (FIFO)", "ソケット", "デバイスファイル"); empty for a regular file or for nothing. It opens
// nothing, so a FIFO never makes it wait.
QString specialFileKind(const QString& path);

// Why a file is not settled for a reception, empty when it is: settled means its size and
// modification time have not changed for `settleSeconds` and no process of this machine has it
// open for writing. A file last modified longer ago is judged at once; a younger one (or one whose
// time lies ahead of the clock) is looked at again when it has stood still long enough, so this
// waits at most `settleSeconds`. 0 seconds: every file is settled, nothing is looked at.
QString unsettledReason(const QString& path, int settleSeconds);

// Why a copy may not be the file that was taken, empty when it is: the file changed since it was
// taken (`taken`: its state then), a process of this machine has it open for writing (when
// `lookForWriters`), or the copy holds other bytes.
QString copyDiffers(const QString& source, const FileState& taken, const QString& copy, bool lookForWriters);

}  // namespace edi
