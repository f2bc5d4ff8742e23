#pragma once

#include "convert/localcii/MessageGroupHeader.h"

#include <QByteArray>
#include <span>

namespace edi {

// The block forms of a CII file, appended to a buffer the caller writes out.

// "0C" and the 249 header bytes; "0E" and the 249 trailer bytes.
void appendHeaderBlock(QByteArray& out, const MessageGroupHeader& header);
void appendTrailerBlock(QByteArray& out, const MessageGroupTrailer& trailer);

// The body forms the decoder reads. A data element: its tag in the section's form (one byte; two
// bytes, or three for item numbers from 65536, in the two-byte section), the length indicator
// (one byte below 240, otherwise X'F2' and two bytes), the value.
void appendDataElement(QByteArray& body, qint32 itemNumber, QByteArrayView value, bool twoByteSection);
// A group start: X'FA' alone in the one-byte section; X'FA' n, or X'FD' n n for numbers above
// 255, in the two-byte section.
void appendGroupStart(QByteArray& body, qint32 number, bool twoByteSection);

// One message: the prefix (block digit, "D", the message number "00000", the total length, in
// the long form for bodies above 32759 bytes), the body, the end byte X'FE', cut into the blocks
// of the storage mode ("S" 32001 bytes; anything else 251 bytes, the last block padded with
// spaces). Block digits run "1" to "8" and round again; the last block carries "9".
void appendMessageBlocks(QByteArray& out, qint32 number, std::span<const char> body, char storageMode);

}  // namespace edi
