#include "convert/ciixml/CiiXmlConverter.h"

#include "convert/ciixml/CiiAppendFile.h"
#include "convert/ciixml/CiiToXml.h"
#include "convert/ciixml/XmlToCii.h"
#include "convert/localcii/ConversionLog.h"
#include "convert/localcii/ConversionRun.h"

using namespace Qt::Literals::StringLiterals;

namespace edi {

ConversionResult convertCiiXml(FormatMasters& masters, ConversionContext& context, ConversionLog& log,
                               qint64 serial, const QString& inputPath, const QString& outputPath,
                               const ConversionProgress& progress, CiiXmlDirection direction)
{
    if (direction == CiiXmlDirection::ByInputName) {
        direction = inputPath.right(3).toUpper() == u"CII"_s ? CiiXmlDirection::CiiToXml : CiiXmlDirection::XmlToCii;
    }
    return runConversion(log, ciiXmlStartLine(serial), [&] {
        if (direction == CiiXmlDirection::CiiToXml) {
            convertCiiToXml(masters, context, log, inputPath, outputPath, progress);
        } else {
            CiiAppendFile output(outputPath);
            convertXmlToCii(masters, context, log, inputPath, output, progress);
            output.commit();
        }
    });
}

ConversionResult appendXmlToCii(FormatMasters& masters, ConversionContext& context, ConversionLog& log, qint64 serial,
                                const QString& inputPath, CiiAppendFile& output, const ConversionProgress& progress)
{
    return runConversion(log, ciiXmlStartLine(serial),
                         [&] { convertXmlToCii(masters, context, log, inputPath, output, progress); });
}

}  // namespace edi
