#include "convert/localcii/CiiBlockWriter.h"

namespace edi {
namespace {

constexpr qsizetype kLongestShortBody = 32759;

QByteArray messageBytes(qint32 number, std::span<const char> body)
{
    QByteArray message;
    message.reserve(qsizetype(body.size()) + 18);
    message += "?D";
    message += QByteArray::number(number % 100000).rightJustified(5, '0');
    const qsizetype bodySize = qsizetype(body.size());
    if (bodySize <= kLongestShortBody) {
        const qsizetype total = 9 + bodySize;
        message += char(total >> 8);
        message += char(total & 0xFF);
    } else {
        message += "\x80\x80\xF7";
        message += QByteArray::number(17 + bodySize).rightJustified(7, '0');
    }
    message.append(body.data(), bodySize);
    message += '\xFE';
    return message;
}

}  // namespace

void appendHeaderBlock(QByteArray& out, const MessageGroupHeader& header)
{
    out += "0C";
    out.append(header.data(), FixedRecord::kSize);
}

void appendTrailerBlock(QByteArray& out, const MessageGroupTrailer& trailer)
{
    out += "0E";
    out.append(trailer.data(), FixedRecord::kSize);
}

void appendMessageBlocks(QByteArray& out, qint32 number, std::span<const char> body, char storageMode)
{
    const BlockSizes sizes = blockSizesFor(storageMode);
    const QByteArray message = messageBytes(number, body);
    qsizetype next = 1;  // the message's bytes after its first, which the first block's digit replaces
    int block = 0;
    // Each block: its digit, then up to block size - 1 bytes of the message.
    for (;;) {
        const qsizetype left = message.size() - next;
        const bool last = left <= sizes.block - 1;
        out += last ? '9' : char('1' + block % 8);
        const qsizetype take = last ? left : sizes.block - 1;
        out.append(message.constData() + next, take);
        next += take;
        if (last) {
            if (sizes.padded)
                out.append(sizes.block - 1 - take, ' ');
            return;
        }
        ++block;
    }
}

}  // namespace edi
