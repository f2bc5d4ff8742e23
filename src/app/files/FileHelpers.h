#pragma once

#include <QString>

namespace edi {

// Status of the file and process helpers: done, nothing to do, error.
enum class FileStatus : qint16 { Done = 0, NothingToDo = 1, Error = 9 };

// Done when deleted, NothingToDo when the file does not exist.
FileStatus deleteFile(const QString& path);

// Moves source to target, replacing a target of that name: a rename, or across file systems a
// copy after which the source is removed. The target appears whole or not at all, and the
// source is removed only after the target is complete. NothingToDo when the source does not
// exist; a source that already is the target stays as it is. A source that vanished during the
// copy is an Error, and the copy is removed.
FileStatus moveFile(const QString& source, const QString& target);

// Copies source to target the same way, leaving the source in place.
FileStatus copyFile(const QString& source, const QString& target);

// Renames source to target on one file system in one step, but never over an existing target:
// NothingToDo when a target is there (both stay as they are), Error when the rename fails.
FileStatus renameWithoutReplacing(const QString& source, const QString& target);

// Whether two files hold the same bytes; false when either cannot be read.
bool sameContent(const QString& first, const QString& second);

// A name beside `path` that no file has yet: path + suffix, or path + suffix + "-2", "-3" ...
QString unusedNameBeside(const QString& path, const QString& suffix);

}  // namespace edi
