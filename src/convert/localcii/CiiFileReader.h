#pragma once

#include "convert/localcii/BodyDecoder.h"
#include "convert/localcii/CiiInput.h"
#include "convert/localcii/ConversionCodes.h"
#include "convert/localcii/ConversionLog.h"
#include "convert/localcii/MessageGroupHeader.h"

#include <QString>
#include <algorithm>

namespace edi {

// The prefix of a message's first block.
struct MessagePrefix {
    qint32 number;     // message number within the group
    qint64 length;     // total length from the length field: prefix and body without the end byte
    qint32 consumed;   // bytes of the first block read before the body: 9, or 17 in the long form
};

// What the block framing hands to a converter.
template <typename T>
concept FramingHandler = requires(T handler, const MessagePrefix& prefix, bool flag) {
    { handler.header() } -> std::same_as<bool>;  // the "0C" block is in the header record; false stops
    handler.trailer();                           // the "0E" block is in the trailer record
    { handler.message(prefix) } -> std::same_as<bool>;  // decode the body; false stops
    handler.badIdentifier(flag);                 // warning 8; flag: the first byte is no digit
    handler.truncated();                         // error 7: the file ends inside a block
    handler.noHeader();                          // the file held bytes and no group header at all
};

// The end of a message as both converters take it. The body read to its end byte: true; a file
// that ends inside it is error 7, and a decoder that stopped has logged its own error.
inline bool bodyEndedWell(BodyEnd end, ConversionLog& log)
{
    if (end == BodyEnd::EndOfFile)
        log.error(ConversionCode::Truncated);
    return end == BodyEnd::EndByte;
}

// After the body, storage flag "11" leaves the rest of the message's block unused; a file that
// ends inside it is error 7.
inline bool skippedRestOfBlock(CiiInput& input, const MessageGroupHeader& header, ConversionLog& log)
{
    if (header.storageFlag() != "11" || input.skipRestOfBlock())
        return true;
    log.error(ConversionCode::Truncated);
    return false;
}

// The leading digits of a prefix field, read as a number.
inline qint64 prefixNumber(const char* bytes, qsizetype count)
{
    qsizetype i = 0;
    while (i < count && bytes[i] == ' ')
        ++i;
    qint64 number = 0;
    for (; i < count && bytes[i] >= '0' && bytes[i] <= '9'; ++i)
        number = number * 10 + (bytes[i] - '0');
    return number;
}

// Reads a CII file block by block: group headers and trailers, message prefixes (short and long
// form), and identifiers that are none, until the file ends or the handler stops. The messages
// of a group whose storage flag is "20" are skipped whole, continuation blocks included, by the
// length their prefix gives.
template <FramingHandler Handler>
void readCiiFile(CiiInput& input, MessageGroupHeader& header, MessageGroupTrailer& trailer, Handler& handler)
{
    bool headerSeen = false;
    for (;;) {
        char id[2];
        if (!input.readBytes(id, 2)) {
            // A text file or random bytes is no CII file: never "converted" into nothing.
            if (!headerSeen && input.offset() > 0)
                handler.noHeader();
            return;
        }
        if (id[0] == '0') {
            if (id[1] == 'C' || id[1] == 'E') {
                headerSeen = headerSeen || id[1] == 'C';
                FixedRecord& record = id[1] == 'C' ? static_cast<FixedRecord&>(header) : trailer;
                if (!input.readBytes(record.data(), FixedRecord::kSize)) {
                    handler.truncated();
                    return;
                }
                if (id[1] == 'E')
                    handler.trailer();
                else if (!handler.header())
                    return;
            }
            continue;
        }
        if (id[0] < '1' || id[0] > '9' || id[1] != 'D') {
            handler.badIdentifier(id[0] < '0' || id[0] > '9');
            continue;
        }
        char prefix[7];
        if (!input.readBytes(prefix, 7)) {
            handler.truncated();
            return;
        }
        MessagePrefix message{qint32(prefixNumber(prefix, 5)), uchar(prefix[5]) * 256 + uchar(prefix[6]), 9};
        if (uchar(prefix[5]) == 0x80 && uchar(prefix[6]) == 0x80) {
            char longForm[8];  // X'F7' and seven digits
            if (!input.readBytes(longForm, 8)) {
                handler.truncated();
                return;
            }
            message.length = prefixNumber(longForm + 1, 7);
            message.consumed = 17;
        }
        const BlockSizes sizes = blockSizesFor(header.storageMode());
        input.beginBody(sizes, message.consumed);
        if (header.skipsMessages()) {
            const qint64 rest = std::max<qint64>(message.length + 1 - message.consumed, 0);
            if (!input.bodyBytes(nullptr, qsizetype(rest)) || (sizes.padded && !input.skipRestOfBlock())) {
                handler.truncated();
                return;
            }
            continue;
        }
        if (!handler.message(message))
            return;
    }
}

}  // namespace edi
