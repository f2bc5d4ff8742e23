#pragma once

#include "convert/localcii/FormatState.h"
#include "convert/localcii/Layout.h"
#include "convert/localcii/MessageGroupHeader.h"

namespace edi {

// What the converters share for the whole run of the program: the message-group header and
// trailer records (a field a conversion does not write keeps what an earlier one left), the
// format state the job reads after a conversion, and the CII layout of the CII/XML converter,
// which a group whose format is unknown goes on using.
struct ConversionContext {
    MessageGroupHeader header;
    MessageGroupTrailer trailer;
    FormatState format;
    Layout ciiLayout;
};

}  // namespace edi
