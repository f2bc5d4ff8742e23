#pragma once

#include "convert/localcii/LocalCiiConverter.h"

namespace edi {

class ConversionLog;
class FormatMasters;
struct ConversionContext;

// ConvertXmlToCii: the message groups of an XML document, appended to a CII file. "JPMGH"
// fills the shared header record field by field and, when it changed, opens a group (the first
// one of a document always does): the group's format and CII layout are looked up, and the
// header block written; each "JPTRM" becomes a message numbered within its group; the call
// closes the groups it opened with their trailers. A document that cannot be parsed writes
// nothing and is logged as error 2. The CII file is written to a temporary copy and renamed into
// place when the document is done, so it is never left half-appended.
// Throws ConversionIoError when a file fails.
void convertXmlToCii(FormatMasters& masters, ConversionContext& context, ConversionLog& log,
                     const QString& xmlPath, const QString& ciiPath, const ConversionProgress& progress);

}  // namespace edi
