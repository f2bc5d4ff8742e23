#pragma once

#include "convert/localcii/MessageGroupHeader.h"

#include <QByteArray>
#include <span>

namespace edi {

// The block forms of a CII file, appended to a buffer the caller writes out.

// "0C" and the 249 header bytes; "0E" and the 249 trailer bytes.
void appendHeaderBlock(QByteArray& out, const MessageGroupHeader& header);
void appendTrailerBlock(QByteArray& out, const MessageGroupTrailer& trailer);

// One message: the prefix (block digit, "D", the message number "00000", the total length, in
// the long form for bodies above 32759 bytes), the body, the end byte X'FE', cut into the blocks
// of the storage mode ("S" 32001 bytes; anything else 251 bytes, the last block padded with
// spaces). Block digits run "1" to "8" and round again; the last block carries "9".
void appendMessageBlocks(QByteArray& out, qint32 number, std::span<const char> body, char storageMode);

}  // namespace edi
