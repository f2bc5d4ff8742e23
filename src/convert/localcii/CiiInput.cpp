#include "convert/localcii/CiiInput.h"

#include "convert/localcii/ConversionError.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace edi {

CiiInput::CiiInput(const QString& path)
    // Only a regular file is opened: a FIFO would block the open, a device never end.
    : file_(QFileInfo(path).isFile() ? std::fopen(QFile::encodeName(path).constData(), "rb") : nullptr)
    , buffer_(new char[kBufferSize])
{
    if (!file_) {
        throw ConversionIoError(u"Cannot read "_s + path);
    }
    size_ = QFileInfo(path).size();
}

CiiInput::~CiiInput()
{
    std::fclose(file_);
}

bool CiiInput::refill()
{
    pos_ = 0;
    end_ = qsizetype(std::fread(buffer_.get(), 1, size_t(kBufferSize), file_));
    if (end_ == 0 && std::ferror(file_))
        throw ConversionIoError(u"Reading the CII file failed"_s);
    fileOffset_ += end_;
    return end_ > 0;
}

bool CiiInput::readBytes(char* dst, qsizetype count)
{
    while (count > 0) {
        if (pos_ == end_ && !refill())
            return false;
        const qsizetype chunk = std::min(count, end_ - pos_);
        if (dst) {
            std::memcpy(dst, buffer_.get() + pos_, size_t(chunk));
            dst += chunk;
        }
        pos_ += chunk;
        count -= chunk;
    }
    return true;
}

bool CiiInput::skipBytes(qsizetype count)
{
    return readBytes(nullptr, count);
}

bool CiiInput::enterContinuationBlock()
{
    if (!skipBytes(1))  // the block's digit
        return false;
    blockLeft_ = sizes_.continuation;
    return true;
}

bool CiiInput::bodyBytes(char* dst, qsizetype count)
{
    while (count > 0) {
        if (blockLeft_ <= 0 && !enterContinuationBlock())
            return false;
        const qsizetype chunk = qsizetype(std::min<qint64>(count, blockLeft_));
        if (!readBytes(dst, chunk))
            return false;
        if (dst)
            dst += chunk;
        count -= chunk;
        blockLeft_ -= chunk;
        bodyRead_ += chunk;
    }
    return true;
}

bool CiiInput::skipRestOfBlock()
{
    if (blockLeft_ <= 0)
        return true;
    const qint64 left = blockLeft_;
    blockLeft_ = 0;
    return skipBytes(qsizetype(left));
}

}  // namespace edi
