#pragma once

#include "app/config/ConfigNumber.h"
#include "convert/localcii/CiiInput.h"
#include "convert/localcii/MessageGroupHeader.h"

#include <QString>

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
};

// Reads a CII file block by block: group headers and trailers, message prefixes (short and long
// form), and identifiers that are none, until the file ends or the handler stops. Message blocks
// of a group whose storage flag is "20" are skipped.
template <FramingHandler Handler>
void readCiiFile(CiiInput& input, MessageGroupHeader& header, MessageGroupTrailer& trailer, Handler& handler)
{
    auto digits = [](const char* bytes, qsizetype count) {
        return leadingConfigNumber(QString::fromLatin1(bytes, count));
    };
    for (;;) {
        char id[2];
        if (!input.readBytes(id, 2))
            return;
        if (id[0] == '0') {
            if (id[1] == 'C' || id[1] == 'E') {
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
        if (header.skipsMessages()) {
            if (!input.skipBytes(FixedRecord::kSize)) {
                handler.truncated();
                return;
            }
            continue;
        }
        char prefix[7];
        if (!input.readBytes(prefix, 7)) {
            handler.truncated();
            return;
        }
        MessagePrefix message{digits(prefix, 5), uchar(prefix[5]) * 256 + uchar(prefix[6]), 9};
        if (uchar(prefix[5]) == 0x80 && uchar(prefix[6]) == 0x80) {
            char longForm[8];  // X'F7' and seven digits
            if (!input.readBytes(longForm, 8)) {
                handler.truncated();
                return;
            }
            message.length = digits(longForm + 1, 7);
            message.consumed = 17;
        }
        input.beginBody(blockSizesFor(header.storageMode()), message.consumed);
        if (!handler.message(message))
            return;
    }
}

}  // namespace edi
