#pragma once

#include "app/ResultCode.h"

#include <QString>
#include <functional>

namespace edi {

class Clock;
class ConversionLog;
class FormatMasters;
struct ConversionContext;

// What a run went through, as the history's record counts keep it. The local conversion counts;
// the CII/XML converter leaves both at 0.
struct ConversionCounts {
    qint64 messagesRead = 0;    // the CII file's messages that were decoded
    qint64 recordsWritten = 0;  // the local records written, one per message that decoded well
};

// The outcome of a conversion run: "0000" or the code of the error that ended it. A file or
// database failure gives "9999" with the reason in failure.
struct ConversionResult {
    QString code;
    QString failure;
    ConversionCounts counts;
    bool succeeded() const { return code == ResultCode::ok; }
};

// Reports the bytes of the input read so far and its size.
using ConversionProgress = std::function<void(qint64 done, qint64 total)>;

// ConvertLocalCii: cuts the message groups of a CII file into local fixed-length records, one
// line per message (the 39-character prefix, the record, CR LF), appended to one file per
// information class: the class goes in front of the first "." of the output file's name.
// Conditions in the data are logged to the conversion log with their codes; an error ends the
// run and becomes its result, and what was written until then stays.
ConversionResult convertLocalCii(FormatMasters& masters, ConversionContext& context, ConversionLog& log,
                                 const Clock& clock, qint64 serial, const QString& inputPath,
                                 const QString& outputPath, const ConversionProgress& progress = {});

// The output file of one information class.
QString localOutputPath(const QString& outputPath, const QString& infoClass);

}  // namespace edi
