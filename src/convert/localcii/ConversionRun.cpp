#include "convert/localcii/ConversionRun.h"

#include "app/ResultCode.h"
#include "app/database/DatabaseError.h"
#include "convert/localcii/ConversionError.h"
#include "convert/localcii/ConversionLog.h"
#include "convert/localcii/Layout.h"

using namespace Qt::Literals::StringLiterals;

namespace edi {

ConversionResult runConversion(ConversionLog& log, const QString& startLine, const std::function<void()>& work)
{
    ConversionResult result{ResultCode::ok, {}, {}};
    log.beginRun();
    try {
        log.startLine(startLine);
        work();
    } catch (const ConversionIoError& error) {
        result.failure = error.message();
    } catch (const DatabaseError& error) {
        result.failure = error.message();
    } catch (const LayoutError& error) {
        result.failure = error.message();
    } catch (const std::exception& error) {
        result.failure = QString::fromLocal8Bit(error.what());
    }
    log.endRun();
    if (!result.failure.isEmpty()) {
        result.code = ResultCode::failed;
    } else if (!log.resultCode().isEmpty()) {
        result.code = log.resultCode();
        result.failure = log.errorText();
    }
    return result;
}

}  // namespace edi
