#pragma once

#include <QtGlobal>

namespace edi {

// A colour as the configuration writes it: red in the low byte, then green, then blue. A value
// with the top bit set names a system colour (its low byte is the system colour index).
struct Colour {
    quint32 value = 0;

    static Colour fromConfigNumber(qint32 number) { return {quint32(number)}; }
    bool isSystemColour() const { return value & 0x80000000u; }
    // A colour a window can take: red, green and blue with nothing above them, or one of the
    // system colours (index 0 to 24).
    bool isValid() const { return isSystemColour() ? (value & 0x7FFFFFFFu) <= 24 : value <= 0xFFFFFFu; }
    int red() const { return int(value & 0xFF); }
    int green() const { return int((value >> 8) & 0xFF); }
    int blue() const { return int((value >> 16) & 0xFF); }
    friend bool operator==(Colour, Colour) = default;
};

}  // namespace edi
