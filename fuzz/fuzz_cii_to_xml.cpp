// The CII-to-XML conversion on arbitrary bytes: block framing, the body grammar, values of every
// attribute turned into text, and the documents written in the three encodings of the fixed
// masters (Shift_JIS, UTF-16, ISO-2022-JP), against the fixed masters of FuzzSupport.h.
//
// The input is the CII file. Besides the sanitizers' findings, the run fails when the result
// code is not four digits or disagrees with the failure text, when a file other than a document
// and the log is left, or when a document does not parse. With EDI_FUZZ_VERBOSE set, each run
// prints its result code, the conversion log and the sizes of the documents; with
// EDI_FUZZ_KEEP=FOLDER its files are kept there.

#include "FuzzSupport.h"

#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void finding(const std::string& what)
{
    std::fprintf(stderr, "fuzz_cii_to_xml: %s\n", what.c_str());
    __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const edi::fuzz::ScratchRun run("IN.CII", data, size);
    edi::fuzz::FixedMasters masters;
    const edi::ConversionResult result =
        edi::fuzz::convertCiiXmlFile(masters, run.input, run.outputs + "/OUT.XML", edi::CiiXmlDirection::CiiToXml);
    if (std::getenv("EDI_FUZZ_VERBOSE"))
        edi::fuzz::describeRun(result, run.outputs);
    edi::fuzz::keepOutputs(run.outputs);
    if (!edi::fuzz::isWellFormedResult(result))
        finding("result " + result.code.toStdString() + " " + result.failure.toStdString());
    for (const std::string& name : edi::fuzz::fileNamesIn(run.outputs)) {
        if (name == "ERR.LOG")
            continue;
        if (name.size() < 4 || name.substr(name.size() - 4) != ".XML")
            finding("the conversion left " + name);
        if (const std::string problem = edi::fuzz::xmlParseProblem(run.outputs + "/" + name); !problem.empty())
            finding(name + " does not parse: " + problem);
    }
    return 0;
}
