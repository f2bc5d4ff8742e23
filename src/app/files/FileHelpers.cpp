#include "app/files/FileHelpers.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace edi {
namespace {

fs::path toPath(const QString& path)
{
    return fs::path(path.toStdU16String());
}

// Copies through a temporary name beside the target, so an interrupted copy never leaves a
// partial file under the target's name.
bool copyReplacing(const fs::path& source, const fs::path& target)
{
    std::error_code ec;
    fs::path temporary = target;
    temporary += ".part";
    fs::copy_file(source, temporary, fs::copy_options::overwrite_existing, ec);
    if (!ec)
        fs::rename(temporary, target, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return false;
    }
    return true;
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
    std::error_code ec;
    const fs::path from = toPath(source);
    const fs::file_status status = fs::status(from, ec);
    if (status.type() == fs::file_type::not_found)
        return FileStatus::NothingToDo;
    if (ec || !fs::is_regular_file(status))
        return FileStatus::Error;
    return copyReplacing(from, toPath(target)) ? FileStatus::Done : FileStatus::Error;
}

FileStatus moveFile(const QString& source, const QString& target)
{
    const FileStatus copied = copyFile(source, target);
    if (copied != FileStatus::Done)
        return copied;
    std::error_code ec;
    fs::remove(toPath(source), ec);
    return ec ? FileStatus::Error : FileStatus::Done;
}

}  // namespace edi
