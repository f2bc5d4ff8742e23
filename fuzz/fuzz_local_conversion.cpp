// The whole CII-to-local conversion on arbitrary bytes: block framing (group headers and
// trailers, short and long message prefixes, continuation blocks of both storage modes, bad
// identifiers, a file that ends anywhere), the body grammar and the placing of values into local
// records, against the fixed masters of FuzzSupport.h.
//
// The input is the CII file. Besides the sanitizers' findings, the run fails when the result
// code is not four digits or disagrees with the failure text. With EDI_FUZZ_VERBOSE set, each
// run prints its result code, the conversion log and the sizes of the local files.

#include "FuzzSupport.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const edi::fuzz::ScratchRun run("IN.CII", data, size);
    edi::fuzz::FixedMasters masters;
    const edi::ConversionResult result = edi::fuzz::convertLocalFile(masters, run.input, run.outputs);
    if (!edi::fuzz::isWellFormedResult(result))
        __builtin_trap();
    if (std::getenv("EDI_FUZZ_VERBOSE"))
        edi::fuzz::describeRun(result, run.outputs);
    return 0;
}
