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

void appendDataElement(QByteArray& body, qint32 itemNumber, QByteArrayView value, bool twoByteSection)
{
    if (!twoByteSection) {
        body += char(itemNumber);
    } else if (itemNumber < 61440) {
        body += char(itemNumber >> 8);
        body += char(itemNumber & 0xFF);
    } else {
        body += char(240 + (itemNumber >> 16));
        body += char((itemNumber >> 8) & 0xFF);
        body += char(itemNumber & 0xFF);
    }
    if (value.size() < 240) {
        body += char(value.size());
    } else {
        body += char(0xF2);
        body += char(value.size() >> 8);
        body += char(value.size() & 0xFF);
    }
    body += value;
}

void appendGroupStart(QByteArray& body, qint32 number, bool twoByteSection)
{
    if (!twoByteSection) {
        body += char(0xFA);
    } else if (number <= 255) {
        body += char(0xFA);
        body += char(number);
    } else {
        body += char(0xFD);
        body += char(number >> 8);
        body += char(number & 0xFF);
    }
}

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
