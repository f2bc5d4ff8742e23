// The whole CII-to-local conversion on arbitrary bytes: block framing (group headers and
// trailers, short and long message prefixes, continuation blocks of both storage modes, bad
// identifiers, a file that ends anywhere), the body grammar and the placing of values into local
// records, against the fixed masters of FuzzSupport.h.
//
// The input is the CII file. Besides the sanitizers' findings, the run fails when the result
// code is not four digits or disagrees with the failure text. With EDI_FUZZ_VERBOSE set, each
// run prints its result code, the conversion log and the sizes of the local files.

#include "FuzzSupport.h"

#include "app/Clock.h"
#include "convert/localcii/ConversionContext.h"
#include "convert/localcii/ConversionLog.h"
#include "convert/localcii/LocalCiiConverter.h"

#include <QDateTime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

using namespace Qt::Literals::StringLiterals;

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string& folder = edi::fuzz::scratchFolder();
    const std::string input = folder + "/IN.CII";
    const std::string outputs = folder + "/run";
    edi::fuzz::writeWholeFile(input, data, size);
    fs::create_directories(outputs);

    edi::fuzz::FixedMasters masters;
    edi::ConversionContext context;  // fresh: each input stands alone
    const edi::ManualClock clock(QDateTime(QDate(2026, 12, 8), QTime(9, 5, 7)));
    edi::ConversionResult result;
    {
        edi::ConversionLog log(QString::fromStdString(outputs + "/ERR.LOG"));
        result = edi::convertLocalCii(masters, context, log, clock, 1, QString::fromStdString(input),
                                      QString::fromStdString(outputs + "/OUT.LOC"));
    }
    if (!edi::fuzz::isWellFormedResult(result))
        __builtin_trap();
    if (std::getenv("EDI_FUZZ_VERBOSE"))
        edi::fuzz::describeRun(result, outputs);

    std::error_code ignored;
    fs::remove_all(outputs, ignored);
    return 0;
}
