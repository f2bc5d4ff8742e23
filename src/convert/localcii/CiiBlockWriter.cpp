#include "convert/localcii/CiiBlockWriter.h"

#include <algorithm>
#include <cstring>

namespace edi {
namespace {

constexpr qsizetype kLongestShortBody = 32759;

// Writes number in at least width decimal digits.
char* putDigits(char* out, qint64 number, int width)
{
    char digits[20];
    int count = 0;
    do {
        digits[count++] = char('0' + number % 10);
        number /= 10;
    } while (number > 0);
    for (int pad = width - count; pad > 0; --pad)
        *out++ = '0';
    while (count > 0)
        *out++ = digits[--count];
    return out;
}

// The message's prefix after its first byte (which the first block's digit replaces): "D", the
// message number, the total length (two bytes, or the long form's marker and seven digits).
qsizetype writePrefix(char* out, qint32 number, qsizetype bodySize)
{
    char* end = out;
    *end++ = 'D';
    end = putDigits(end, number % 100000, 5);
    if (bodySize <= kLongestShortBody) {
        const qsizetype total = 9 + bodySize;
        *end++ = char(total >> 8);
        *end++ = char(total & 0xFF);
    } else {
        *end++ = '\x80';
        *end++ = '\x80';
        *end++ = '\xF7';
        end = putDigits(end, 17 + bodySize, 7);
    }
    return end - out;
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
    char prefix[32];
    const qsizetype prefixSize = writePrefix(prefix, number, qsizetype(body.size()));
    // The message after its first byte, cut into blocks that each begin with their digit: "1" to
    // "8" and round again, "9" for the last.
    const qsizetype perBlock = sizes.block - 1;
    const qsizetype content = prefixSize + qsizetype(body.size()) + 1;
    const qsizetype blocks = std::max<qsizetype>(1, (content + perBlock - 1) / perBlock);
    const qsizetype start = out.size();
    out.resize(start + (sizes.padded ? blocks * sizes.block : blocks + content));
    char* target = out.data() + start;
    qsizetype room = 0;  // left in the current block
    qsizetype block = 0;
    auto put = [&](const char* bytes, qsizetype size) {
        while (size > 0) {
            if (room == 0) {
                *target++ = block == blocks - 1 ? '9' : char('1' + block % 8);
                ++block;
                room = perBlock;
            }
            const qsizetype take = std::min(room, size);
            std::memcpy(target, bytes, size_t(take));
            target += take;
            bytes += take;
            size -= take;
            room -= take;
        }
    };
    put(prefix, prefixSize);
    put(body.data(), qsizetype(body.size()));
    put("\xFE", 1);
    if (sizes.padded)
        std::memset(target, ' ', size_t(room));
}

}  // namespace edi
