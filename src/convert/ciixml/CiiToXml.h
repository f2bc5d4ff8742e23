#pragma once

#include "convert/localcii/LocalCiiConverter.h"

namespace edi {

class ConversionLog;
class FormatMasters;
struct ConversionContext;

// ConvertCiiToXml: each message group of a CII file becomes one XML document: the declaration
// in the encoding of the format's XML文字コード, the root "CII-" + BPID + information class +
// "-V10", the header fields in "JPMGH", and each message as "JPTRM" with its elements, groups and
// repetitions, laid out with CR LF line breaks and indentation. The first group's document is
// outputPath, group k >= 2 goes to the name with "_k" before its last ".". A document is saved
// when its trailer has been read, so an error or a missing trailer leaves no document.
// Logs codes 1, 3, 7, 8 and 9; throws ConversionIoError when a file fails.
void convertCiiToXml(FormatMasters& masters, ConversionContext& context, ConversionLog& log,
                     const QString& inputPath, const QString& outputPath, const ConversionProgress& progress);

// The document path of the k-th message group (from 1).
QString groupDocumentPath(const QString& outputPath, int group);

}  // namespace edi
