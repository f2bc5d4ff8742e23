#include "convert/ciixml/CiiAppendFile.h"

#include "convert/localcii/ConversionError.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace edi {

CiiAppendFile::CiiAppendFile(QString path) : path_(std::move(path)), temporary_(path_ + u".part"_s)
{
    buffer_.reserve(kBufferSize * 2);
}

CiiAppendFile::~CiiAppendFile()
{
    if (file_ >= 0) {
        ::close(file_);
        QFile::remove(temporary_);
    }
}

void CiiAppendFile::beginDocument()
{
    documentStart_ = written_ + buffer_.size();
}

void CiiAppendFile::discardDocument()
{
    if (documentStart_ >= written_) {
        buffer_.truncate(documentStart_ - written_);
        return;
    }
    buffer_.truncate(0);
    if (::ftruncate(file_, base_ + documentStart_) != 0) {
        broken_ = true;
        return;
    }
    written_ = documentStart_;
}

void CiiAppendFile::commit()
{
    flush();
    if (file_ < 0)
        return;  // nothing was added
    const bool closed = ::close(file_) == 0;
    file_ = -1;
    std::error_code error;
    if (closed && !broken_)
        std::filesystem::rename(QFile::encodeName(temporary_).constData(), QFile::encodeName(path_).constData(), error);
    if (!closed || broken_ || error) {
        QFile::remove(temporary_);
        broken_ = false;
        throw ConversionIoError(u"Cannot write "_s + path_);
    }
    written_ = documentStart_ = 0;
}

void CiiAppendFile::open()
{
    QFile::remove(temporary_);
    const QByteArray path = QFile::encodeName(path_);
    const QByteArray temporary = QFile::encodeName(temporary_);
    // Copied by the kernel (copy_file_range), not through the program's memory.
    std::error_code error;
    if (QFileInfo::exists(path_)
        && !std::filesystem::copy_file(path.constData(), temporary.constData(),
                                       std::filesystem::copy_options::overwrite_existing, error))
        throw ConversionIoError(u"Cannot copy "_s + path_);
    file_ = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (file_ < 0)
        throw ConversionIoError(u"Cannot write "_s + temporary_);
    base_ = ::lseek(file_, 0, SEEK_END);
    written_ = 0;
}

void CiiAppendFile::flush()
{
    if (buffer_.isEmpty())
        return;
    if (file_ < 0)
        open();
    const char* data = buffer_.constData();
    qsizetype left = buffer_.size();
    while (left > 0) {
        const ssize_t done = ::write(file_, data, size_t(left));
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0) {
            buffer_.remove(0, buffer_.size() - left);  // the buffer keeps what the file lacks
            throw ConversionIoError(u"Cannot write "_s + temporary_);
        }
        data += done;
        left -= done;
        written_ += done;
    }
    buffer_.truncate(0);
}

}  // namespace edi
