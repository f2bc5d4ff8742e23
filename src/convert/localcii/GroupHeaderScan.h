#pragma once

#include "convert/localcii/MessageGroupHeader.h"

#include <QString>
#include <vector>

namespace edi {

// The message-group headers of a CII file in file order, found by the block framing alone: no
// message is decoded and no master is read. What follows a framing error is not looked at.
// Throws ConversionIoError when the file cannot be read.
std::vector<MessageGroupHeader> readGroupHeaders(const QString& ciiPath);

}  // namespace edi
