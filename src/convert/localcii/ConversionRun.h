#pragma once

#include "convert/localcii/LocalCiiConverter.h"

#include <functional>

namespace edi {

class ConversionLog;

// The frame of every conversion run: clears the converter's result code, writes its start line,
// runs the work and closes the log. The result is "0000", the code of the error the work logged,
// or "9999" when a file, the database or a master failed; failure says why in words.
ConversionResult runConversion(ConversionLog& log, const QString& startLine, const std::function<void()>& work);

}  // namespace edi
