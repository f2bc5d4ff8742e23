#pragma once

#include "convert/localcii/LocalCiiConverter.h"

namespace edi {

class ConversionLog;
class FormatMasters;
struct ConversionContext;

// ConvertCiiXml: converts CII to XML when the input's name ends in "CII" (in any case), otherwise
// XML to CII, appending to the output. The name decides; the contents are not looked at. The
// run's start line carries the serial.
ConversionResult convertCiiXml(FormatMasters& masters, ConversionContext& context, ConversionLog& log,
                               qint64 serial, const QString& inputPath, const QString& outputPath,
                               const ConversionProgress& progress = {});

}  // namespace edi
