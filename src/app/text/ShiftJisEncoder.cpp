#include "app/text/ShiftJisEncoder.h"

#include "app/text/AsciiRun.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iconv.h>
#include <memory>
#include <stdexcept>

namespace edi {
namespace {

// Per character of the Basic Multilingual Plane its bytes in the code page: one byte below 0x100,
// otherwise lead and trail byte; kLacking where the code page has none.
constexpr std::uint16_t kLacking = 0xFFFF;

std::unique_ptr<std::uint16_t[]> readTable()
{
    const iconv_t converter = iconv_open("CP932", "UTF-16LE");
    if (converter == reinterpret_cast<iconv_t>(-1))
        throw std::runtime_error("iconv: CP932 conversion is not available");
    auto table = std::make_unique<std::uint16_t[]>(0x10000);
    for (std::uint32_t character = 0; character < 0x10000; ++character) {
        table[character] = kLacking;
        if (character >= 0xD800 && character <= 0xDFFF)
            continue;  // surrogates are no characters
        char in[2] = {char(character & 0xFF), char(character >> 8)};
        unsigned char out[4];
        char* source = in;
        size_t sourceLeft = 2;
        char* target = reinterpret_cast<char*>(out);
        size_t targetLeft = sizeof out;
        iconv(converter, nullptr, nullptr, nullptr, nullptr);
        if (iconv(converter, &source, &sourceLeft, &target, &targetLeft) == size_t(-1) || sourceLeft != 0)
            continue;
        const size_t written = sizeof out - targetLeft;
        if (written == 1)
            table[character] = out[0];
        else if (written == 2 && out[0] >= 0x81)
            table[character] = std::uint16_t(out[0] << 8 | out[1]);
    }
    iconv_close(converter);
    return table;
}

const std::uint16_t* encodingTable()
{
    static const std::unique_ptr<std::uint16_t[]> table = readTable();
    return table.get();
}

bool asciiIsUnchanged()
{
    static const bool unchanged = [] {
        const std::uint16_t* table = encodingTable();
        for (std::uint16_t c = 0; c < 0x80; ++c) {
            if (table[c] != c)
                return false;
        }
        return true;
    }();
    return unchanged;
}

// The character a UTF-8 sequence begins with and its length; 0 for bytes that are none.
int utf8Character(const unsigned char* p, const unsigned char* end, char32_t& character)
{
    const unsigned char lead = p[0];
    int length = lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 0;
    if (length == 0 || end - p < length)
        return 0;
    character = lead & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        character = character << 6 | (p[i] & 0x3F);
    }
    const char32_t shortest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (character < shortest[length] || character > 0x10FFFF || (character >= 0xD800 && character <= 0xDFFF))
        return 0;
    return length;
}

}  // namespace

bool encodeUtf8ToShiftJis(QByteArrayView utf8, QByteArray& out, void (*lacking)(char32_t character, QByteArray& out))
{
    const std::uint16_t* table = encodingTable();
    const bool asciiUnchanged = asciiIsUnchanged();
    const auto* source = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* const end = source + utf8.size();
    // A character the code page has never takes more bytes than its UTF-8 form.
    auto room = [&](qsizetype used) {
        out.resize(used + (end - source));
        return out.data() + used;
    };
    char* target = room(out.size());
    bool encoded = true;
    while (source < end) {
        if (asciiUnchanged) {
            copyAsciiRun(source, end, target);
            if (source == end)
                break;
        }
        char32_t character = *source;
        const int length = *source < 0x80 ? 1 : utf8Character(source, end, character);
        if (length == 0) {
            encoded = false;
            break;
        }
        source += length;
        const std::uint16_t bytes = character < 0x10000 ? table[character] : kLacking;
        if (bytes == kLacking) {
            out.truncate(target - out.constData());
            lacking(character, out);
            target = room(out.size());
        } else if (bytes < 0x100) {
            *target++ = char(bytes);
        } else {
            *target++ = char(bytes >> 8);
            *target++ = char(bytes & 0xFF);
        }
    }
    out.truncate(target - out.constData());
    return encoded;
}

}  // namespace edi
