#pragma once

#include <QStringView>
#include <optional>

namespace edi {

// Numbers in the configuration are written in decimal (with an optional sign and fraction) or
// in hexadecimal after "&H" (octal after "&O"). A hexadecimal value fills the whole integer, so
// &H8000000F is a negative 32-bit number, as system colours are written.

// The whole text as an integer of the given width (16 or 32 bits): surrounding blanks allowed,
// a fraction rounded half to even. nullopt for an empty text, a text that is not a number, or a
// value out of range.
std::optional<qint32> parseConfigInteger(QStringView text, int bits);

// The leading numeric part of the text, read as far as it goes: 0 when there is none or when
// the value does not fit in 32 bits. "255abc" gives 255, "abc" gives 0.
qint32 leadingConfigNumber(QStringView text);

}  // namespace edi
