#pragma once

#include <QString>
#include <QStringList>

namespace edi {

// Status of the file and process helpers: done, nothing to do, error.
enum class FileStatus : qint16 { Done = 0, NothingToDo = 1, Error = 9 };

// Done when deleted, NothingToDo when the file does not exist.
FileStatus deleteFile(const QString& path);

// Moves source to target, replacing a target of that name: a rename, or across file systems a
// copy after which the source is removed. The target appears whole or not at all, and the
// source is removed only after the target is complete and on the disk. NothingToDo when the
// source does not exist; a source that already is the target stays as it is. A source that
// vanished during the copy is an Error, and the copy is removed.
FileStatus moveFile(const QString& source, const QString& target);

// Copies source to target the same way, leaving the source in place; the copy is on the disk
// (see syncToDisk) when this returns Done.
FileStatus copyFile(const QString& source, const QString& target);

// Renames source to target on one file system in one step, but never over an existing target:
// NothingToDo when a target is there (both stay as they are), Error when the rename fails.
FileStatus renameWithoutReplacing(const QString& source, const QString& target);

// Whether two files hold the same bytes; false when either cannot be read.
bool sameContent(const QString& first, const QString& second);

// A name beside `path` that no file has yet: path + suffix, or path + suffix + "-2", "-3" ...
QString unusedNameBeside(const QString& path, const QString& suffix);

// Forces a file (or a folder) and the folder that names it to the disk (fsync), so that what a
// step records as done survives a power cut. False when the system could not.
bool syncToDisk(const QString& path);
// The same for several files; false when one of them could not be.
bool syncToDisk(const QStringList& paths);

// Whether a file name is one that uploads and copies in progress use: "*.tmp", "*.part", "*~",
// or a leading dot. Such a file is still being written; a folder's listing passes it over.
bool isPartialUploadName(const QString& fileName);

}  // namespace edi
