#pragma once

#include "convert/localcii/LayoutItem.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <string>

namespace edi {

// How a CII value becomes local text, chosen by the CII item's attribute followed by the local
// item's: "99"/"9N", "N9"/"NN", "Y9"/"YY"/"9Y", "XX", "KK"; any other pair is unsupported.
enum class LocalConversion { Numeric, SignedNumeric, Date, Text, DoubleByte, Unsupported };
LocalConversion localConversionFor(const LayoutItem& cii, const LayoutItem& local);

enum class LocalValueStatus {
    Converted,
    UnsupportedPair,  // warning 21, the field keeps its blank value
    NotNumeric,       // a numeric conversion met text that is no number: warning 21 as well
};

// ConvertCiiToLocal: the Shift-JIS bytes of one CII value in its local form, into out (cleared
// first). doubleByteCode is the header's 16ビット文字コード.
LocalValueStatus convertCiiToLocal(LocalConversion conversion, QByteArrayView value,
                                   const LayoutItem& cii, const LayoutItem& local, char doubleByteCode,
                                   std::string& out);

// ConvertCiiValueToText: the value of one CII item as plain text, by the item's attribute, in
// UTF-8 into out (cleared first). characterMode is the current-format state's character mode.
void convertCiiValueToText(QByteArrayView value, const LayoutItem& cii, char doubleByteCode, QChar characterMode,
                           QByteArray& out);

// DecodeSingleByte: Shift-JIS bytes as text.
QString decodeSingleByte(QByteArrayView bytes);

// ConvertDoubleByte with the two-letter code of the sides, from and to: "M" Shift-JIS, "S" JIS
// X 0208 row/cell pairs, "U" UTF-16 (big-endian pairs); any other letter reads as "M". Returns
// the bytes of the target side; convertDoubleByteToText gives the text.
QByteArray convertDoubleByte(QByteArrayView bytes, char from, char to);
QString convertDoubleByteToText(QByteArrayView bytes, char from);

// The JIS X 0208 <-> Shift-JIS rules on byte pairs; other bytes pass unchanged.
QByteArray jisToShiftJis(QByteArrayView bytes);
QByteArray shiftJisToJis(QByteArrayView bytes);

}  // namespace edi
