#pragma once

#include "convert/localcii/LocalCiiConverter.h"

namespace edi {

class CiiAppendFile;
class ConversionLog;
class FormatMasters;
struct ConversionContext;

// ConvertXmlToCii: the message groups of an XML document, appended to a CII file. "JPMGH"
// fills the shared header record field by field and, when it changed, opens a group (the first
// one of a document always does): the group's format and CII layout are looked up, and the
// header block written; each "JPTRM" becomes a message numbered within its group; the call
// closes the groups it opened with their trailers. A document that cannot be parsed adds nothing
// and is logged as error 2; the caller commits what the documents added.
// Throws ConversionIoError when a file fails; the document then adds nothing either.
void convertXmlToCii(FormatMasters& masters, ConversionContext& context, ConversionLog& log,
                     const QString& xmlPath, CiiAppendFile& output, const ConversionProgress& progress);

}  // namespace edi
