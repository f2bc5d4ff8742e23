#pragma once

#include "convert/localcii/LocalCiiConverter.h"

namespace edi {

class CiiAppendFile;
class ConversionLog;
class FormatMasters;
struct ConversionContext;

enum class CiiXmlDirection {
    ByInputName,  // CII to XML when the input's name ends in "CII" (in any case), otherwise XML to CII
    CiiToXml,
    XmlToCii,
};

// ConvertCiiXml: one run of the CII/XML converter; XML to CII appends to the output. By default
// the input's name decides the direction; the contents are not looked at. The run's start line
// carries the serial.
ConversionResult convertCiiXml(FormatMasters& masters, ConversionContext& context, ConversionLog& log,
                               qint64 serial, const QString& inputPath, const QString& outputPath,
                               const ConversionProgress& progress = {},
                               CiiXmlDirection direction = CiiXmlDirection::ByInputName);

// One run of XML to CII whose groups go to output uncommitted: documents appended one after
// another copy the CII file once. A document that fails adds nothing; the caller commits what
// the others added.
ConversionResult appendXmlToCii(FormatMasters& masters, ConversionContext& context, ConversionLog& log, qint64 serial,
                                const QString& inputPath, CiiAppendFile& output, const ConversionProgress& progress = {});

}  // namespace edi
