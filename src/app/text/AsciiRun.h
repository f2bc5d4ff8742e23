#pragma once

#include <cstdint>
#include <cstring>

namespace edi {

// Copies the run of ASCII bytes at source to target and advances both past it: eight bytes at a
// time while no byte has its high bit set. The table coders use it for markup, which is ASCII
// and the same in Shift-JIS and UTF-8.
inline void copyAsciiRun(const unsigned char*& source, const unsigned char* end, char*& target)
{
    std::uint64_t eight;
    while (end - source >= 8 && (std::memcpy(&eight, source, 8), (eight & 0x8080808080808080u) == 0)) {
        std::memcpy(target, source, 8);
        source += 8;
        target += 8;
    }
    while (source < end && *source < 0x80)
        *target++ = char(*source++);
}

}  // namespace edi
