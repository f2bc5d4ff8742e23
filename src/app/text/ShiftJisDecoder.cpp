#include "app/text/ShiftJisDecoder.h"

#include "app/text/AsciiRun.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iconv.h>
#include <memory>
#include <stdexcept>

namespace edi {
namespace {

// The code page as its converter decodes it: what each byte begins, the character of a byte
// that is one, and the character of each two-byte sequence (0 for none).
struct DecodingTable {
    enum Kind : unsigned char { kNoCharacter, kOneByte, kLeadByte };
    Kind kind[256];
    char16_t oneByte[256];
    char16_t twoBytes[256][256];
    bool asciiUnchanged;  // 0x00-0x7F decode to themselves
};

// One character of bytes through the converter; 0 with incomplete set when the bytes are the
// beginning of a longer one, 0 when they are none or more than one.
char16_t decodeCharacter(iconv_t converter, const unsigned char* bytes, size_t size, bool& incomplete)
{
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    char in[2] = {char(bytes[0]), size > 1 ? char(bytes[1]) : '\0'};
    unsigned char out[8];
    char* source = in;
    size_t sourceLeft = size;
    char* target = reinterpret_cast<char*>(out);
    size_t targetLeft = sizeof out;
    const size_t status = iconv(converter, &source, &sourceLeft, &target, &targetLeft);
    incomplete = status == size_t(-1) && errno == EINVAL;
    if (status == size_t(-1) || sourceLeft != 0 || sizeof out - targetLeft != 2)
        return 0;
    return char16_t(out[0] | (out[1] << 8));
}

std::unique_ptr<DecodingTable> readTable()
{
    const iconv_t converter = iconv_open("UTF-16LE", "CP932");
    if (converter == reinterpret_cast<iconv_t>(-1))
        throw std::runtime_error("iconv: CP932 conversion is not available");
    auto table = std::make_unique<DecodingTable>();
    table->asciiUnchanged = true;
    for (unsigned first = 0; first < 256; ++first) {
        const unsigned char byte = static_cast<unsigned char>(first);
        bool incomplete = false;
        const char16_t character = decodeCharacter(converter, &byte, 1, incomplete);
        table->oneByte[first] = character;
        table->kind[first] = incomplete ? DecodingTable::kLeadByte
                           : (character != 0 || first == 0) ? DecodingTable::kOneByte
                                                            : DecodingTable::kNoCharacter;
        if (first < 0x80 && (table->kind[first] != DecodingTable::kOneByte || character != first))
            table->asciiUnchanged = false;
        for (unsigned second = 0; second < 256; ++second) {
            const unsigned char pair[2] = {byte, static_cast<unsigned char>(second)};
            bool cut = false;
            table->twoBytes[first][second] = incomplete ? decodeCharacter(converter, pair, 2, cut) : 0;
        }
    }
    iconv_close(converter);
    return table;
}

const DecodingTable& decodingTable()
{
    static const std::unique_ptr<DecodingTable> table = readTable();
    return *table;
}

char* putUtf8(char* out, char16_t character)
{
    if (character < 0x80) {
        *out++ = char(character);
    } else if (character < 0x800) {
        *out++ = char(0xC0 | (character >> 6));
        *out++ = char(0x80 | (character & 0x3F));
    } else {
        *out++ = char(0xE0 | (character >> 12));
        *out++ = char(0x80 | ((character >> 6) & 0x3F));
        *out++ = char(0x80 | (character & 0x3F));
    }
    return out;
}

}  // namespace

bool ShiftJisDecoder::decode(QByteArrayView bytes, QByteArray& out)
{
    const DecodingTable& table = decodingTable();
    const qsizetype start = out.size();
    out.resize(start + 3 * (bytes.size() + 1));  // a character takes at most three bytes per byte
    char* target = out.data() + start;
    const auto* source = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* const end = source + bytes.size();
    bool decoded = true;
    if (lead_ != 0 && source < end) {
        const char16_t character = table.twoBytes[lead_][*source];
        if (character == 0) {
            decoded = false;
        } else {
            target = putUtf8(target, character);
            ++source;
            offset_ += 2;
            lead_ = 0;
        }
    }
    const auto* const begin = source;
    while (decoded && source < end) {
        if (table.asciiUnchanged) {
            copyAsciiRun(source, end, target);
            if (source == end)
                break;
        }
        const unsigned char byte = *source;
        switch (table.kind[byte]) {
        case DecodingTable::kOneByte:
            target = putUtf8(target, table.oneByte[byte]);
            ++source;
            break;
        case DecodingTable::kLeadByte:
            if (source + 1 == end) {
                lead_ = byte;
                ++source;
                offset_ -= 1;  // counted once the character is complete
            } else if (const char16_t character = table.twoBytes[byte][source[1]]) {
                target = putUtf8(target, character);
                source += 2;
            } else {
                decoded = false;
            }
            break;
        case DecodingTable::kNoCharacter:
            decoded = false;
            break;
        }
    }
    offset_ += source - begin;
    out.truncate(target - out.constData());
    return decoded;
}

}  // namespace edi
