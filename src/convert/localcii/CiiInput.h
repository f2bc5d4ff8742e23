#pragma once

#include "convert/localcii/MessageGroupHeader.h"

#include <QString>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace edi {

// A CII file read through one large buffer: whole blocks (ReadBytes) and the bytes of a message
// body across block boundaries (ReadBodyByte), where each continuation block's digit is dropped.
class CiiInput {
public:
    // Throws ConversionIoError when the file cannot be opened.
    explicit CiiInput(const QString& path);
    ~CiiInput();
    CiiInput(const CiiInput&) = delete;
    CiiInput& operator=(const CiiInput&) = delete;

    // ReadBytes: count bytes into dst; false on a short read at the end of the file.
    bool readBytes(char* dst, qsizetype count);
    bool skipBytes(qsizetype count);

    // Starts a message body: consumed bytes of the first block have been read already.
    void beginBody(const BlockSizes& sizes, qsizetype consumed)
    {
        sizes_ = sizes;
        blockLeft_ = sizes.block - consumed;
        bodyRead_ = 0;
    }
    // ReadBodyByte: the next body byte, or -1 at the end of the file.
    int bodyByte()
    {
        if (blockLeft_ <= 0 && !enterContinuationBlock())
            return -1;
        if (pos_ == end_ && !refill())
            return -1;
        --blockLeft_;
        ++bodyRead_;
        return uchar(buffer_[pos_++]);
    }
    // count body bytes into dst (or dropped when dst is null); false at the end of the file.
    bool bodyBytes(char* dst, qsizetype count);
    // The next count body bytes: a view into the buffer when they lie in it and in the current
    // block (most values), otherwise copied into scratch; valid until the next read. nullopt at
    // the end of the file.
    std::optional<std::span<const char>> bodyView(qsizetype count, std::vector<char>& scratch)
    {
        if (count <= blockLeft_ && count <= end_ - pos_) {
            const char* at = buffer_.get() + pos_;
            pos_ += count;
            blockLeft_ -= count;
            bodyRead_ += count;
            return std::span<const char>(at, size_t(count));
        }
        scratch.resize(size_t(count));
        if (!bodyBytes(scratch.data(), count))
            return std::nullopt;
        return std::span<const char>(scratch.data(), scratch.size());
    }
    // Drops the rest of the current block; false when the file ends first.
    bool skipRestOfBlock();
    // Body bytes read since beginBody, continuation digits not counted.
    qint64 bodyBytesRead() const { return bodyRead_; }

    // Bytes of the file consumed so far, and its size (for progress).
    qint64 offset() const { return fileOffset_ - (end_ - pos_); }
    qint64 size() const { return size_; }

private:
    bool refill();
    bool enterContinuationBlock();

    static constexpr qsizetype kBufferSize = 1 << 20;
    std::FILE* file_ = nullptr;
    std::unique_ptr<char[]> buffer_;
    qsizetype pos_ = 0;
    qsizetype end_ = 0;
    qint64 fileOffset_ = 0;
    qint64 size_ = 0;
    BlockSizes sizes_{251, 250, true};
    qint64 blockLeft_ = 0;
    qint64 bodyRead_ = 0;
};

}  // namespace edi
