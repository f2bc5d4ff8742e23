// Times the XML conversions against xmllint's streaming parser on the same machine in the same
// run, and checks what they wrote.
//
//   edi-xmlbench to-cii --ediconv PATH --masters FILE.sqlite --xml DOCUMENT --work DIR
//                [--runs N] [--max-ratio R] [--min-mibps S] [--max-rss-mib M] [--min-xml-mib X]
//   edi-xmlbench to-xml --ediconv PATH --masters FILE.sqlite --cii FILE --manifest FILE --work DIR
//                [--runs N] [--max-ratio R] [--min-mibps S] [--max-rss-mib M]
//
// to-cii: "xmllint --noout --stream DOCUMENT..." and "ediconv cii DOCUMENT... OUT.CII" in turns,
// over DOCUMENT and the documents "ediconv xml" wrote beside it for further message groups
// (DOCUMENT with "_2", "_3" ... before its extension). The documents must have been written by
// "ediconv xml" from a CII file that "ediconv cii" wrote, so that they hold everything in the
// converters' own forms: OUT.CII, converted back with "ediconv xml", must give them again byte
// for byte. --min-xml-mib makes sure that they have the size the benchmark is meant for.
//
// to-xml: "ediconv xml FILE OUT.XML" (one document per message group), then one
// "xmllint --noout --stream" over all the documents it wrote, in turns. The documents must be as
// many as the manifest's message groups, parse, and hold its messages.
//
// The best wall time of each program out of N runs counts; the speeds are MiB of XML per second.
// The exit status is 0 when every limit holds and the output is right: ediconv's time at most R
// times xmllint's (default 2; 0: no limit), at least S MiB/s (default 0), a peak resident set
// below M MiB (default 64); 1 when a limit or a check fails; 2 for usage and set-up errors.

#include "BenchManifest.h"
#include "BenchOptions.h"
#include "BenchProcess.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using bench::fail;
using bench::printable;
using bench::readText;
using bench::run;
using bench::RunResult;

struct Options {
    std::string direction;
    std::string ediconv;
    std::string xmllint = "xmllint";
    std::string masters;
    std::string xml;
    std::string cii;
    std::string manifest;
    std::string work;
    int runs = 3;
    double maxRatio = 2;
    double minMibps = 0;
    double maxRssMib = 64;
    double minXmlMib = 0;
};

const char* const kUsage =
    "usage: edi-xmlbench to-cii --ediconv PATH --masters FILE --xml DOCUMENT --work DIR [--min-xml-mib X]\n"
    "       edi-xmlbench to-xml --ediconv PATH --masters FILE --cii FILE --manifest FILE --work DIR\n"
    "       common: [--runs N] [--max-ratio R] [--min-mibps S] [--max-rss-mib M] [--xmllint PATH]";

Options parseOptions(int argc, char* argv[])
{
    Options options;
    if (argc < 2)
        fail(kUsage);
    options.direction = argv[1];
    if (options.direction != "to-cii" && options.direction != "to-xml")
        fail(kUsage);
    bench::OptionTable table(kUsage);
    table.text("--ediconv", options.ediconv);
    table.text("--xmllint", options.xmllint);
    table.text("--masters", options.masters);
    table.text("--xml", options.xml);
    table.text("--cii", options.cii);
    table.text("--manifest", options.manifest);
    table.text("--work", options.work);
    table.count("--runs", options.runs);
    table.number("--max-ratio", options.maxRatio);
    table.number("--min-mibps", options.minMibps);
    table.number("--max-rss-mib", options.maxRssMib);
    table.number("--min-xml-mib", options.minXmlMib);
    table.parse(argc, argv, 2);
    const bool toCii = options.direction == "to-cii";
    if (options.ediconv.empty() || options.masters.empty() || options.work.empty()
        || (toCii ? options.xml.empty() : options.cii.empty() || options.manifest.empty()))
        fail(kUsage);
    return options;
}

constexpr double kMib = 1 << 20;

long long fileSize(const std::string& path)
{
    std::error_code error;
    const auto size = fs::file_size(path, error);
    if (error)
        fail("cannot read " + path);
    return (long long)size;
}

// Occurrences of a pattern in a file, read in large pieces. The pattern must not occur inside
// a character of the file's encoding: "<JPTRM" does not in Shift_JIS (no trail byte is "<").
long long countInFile(const std::string& path, const std::string& pattern)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        fail("cannot read " + path);
    std::vector<char> buffer(1 << 20);
    std::string carry;
    long long count = 0;
    size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), file)) > 0) {
        std::string piece = carry;
        piece.append(buffer.data(), got);
        for (size_t at = piece.find(pattern); at != std::string::npos; at = piece.find(pattern, at + 1))
            ++count;
        carry = piece.size() >= pattern.size() ? piece.substr(piece.size() - pattern.size() + 1) : piece;
    }
    std::fclose(file);
    return count;
}

// Where two files first differ, or an empty text when they are the same bytes.
std::string firstDifference(const std::string& expectedPath, const std::string& actualPath)
{
    std::FILE* expected = std::fopen(expectedPath.c_str(), "rb");
    std::FILE* actual = std::fopen(actualPath.c_str(), "rb");
    if (!expected || !actual) {
        if (expected)
            std::fclose(expected);
        if (actual)
            std::fclose(actual);
        return "cannot read " + std::string(expected ? actualPath : expectedPath);
    }
    std::vector<char> a(1 << 20);
    std::vector<char> b(1 << 20);
    long long offset = 0;
    long long line = 1;
    std::string difference;
    for (;;) {
        const size_t gotA = std::fread(a.data(), 1, a.size(), expected);
        const size_t gotB = std::fread(b.data(), 1, b.size(), actual);
        const size_t common = std::min(gotA, gotB);
        const auto mismatch = std::mismatch(a.begin(), a.begin() + long(common), b.begin());
        const size_t same = size_t(mismatch.first - a.begin());
        line += std::count(a.begin(), a.begin() + long(same), '\n');
        if (same < common || gotA != gotB) {
            const size_t lineStart = [&] {
                size_t start = same;
                while (start > 0 && a[start - 1] != '\n')
                    --start;
                return start;
            }();
            auto excerpt = [&](const std::vector<char>& bytes, size_t got) {
                const size_t from = std::min(lineStart, got);
                return printable(std::string(bytes.data() + from, std::min<size_t>(got - from, same - from + 60)));
            };
            difference = "byte " + std::to_string(offset + (long long)same + 1) + ", line " + std::to_string(line)
                       + (same == common ? std::string(gotA < gotB ? ": the expected file ends" : ": the file ends")
                                         : std::string())
                       + "\n  expected \"" + excerpt(a, gotA) + "\"\n  found    \"" + excerpt(b, gotB) + "\"";
            break;
        }
        if (gotA == 0)
            break;
        offset += (long long)gotA;
    }
    std::fclose(expected);
    std::fclose(actual);
    return difference;
}

// The log of a conversion that went right holds its start lines (one per input) and nothing else.
std::string logProblem(const std::string& path)
{
    const std::string log = readText(path);
    bool onlyStarts = !log.empty();
    for (size_t at = 0; onlyStarts && at < log.size();) {
        const size_t end = log.find("\r\n", at);
        onlyStarts = log.compare(at, 21, "0000--CIIXMLC start--") == 0 && end != std::string::npos;
        at = end == std::string::npos ? log.size() : end + 2;
    }
    if (onlyStarts)
        return {};
    return "the conversion log holds more than its start lines: " + printable(log.substr(0, 300));
}

// Removes the files a run leaves: the converters append to a CII file and to the log, and an
// earlier run's documents must not be counted again.
void clearOutputs(const std::string& work)
{
    for (const fs::directory_entry& entry : fs::directory_iterator(work)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("OUT", 0) == 0 || name.rfind("BACK", 0) == 0 || name == "ERR.LOG")
            fs::remove(entry.path());
    }
}

// The document of message group k (from 1) of a conversion to `first`: "_k" before the last "."
// of the file's name.
std::string groupDocument(const std::string& first, long long group)
{
    if (group <= 1)
        return first;
    const size_t slash = first.rfind('/');
    const size_t dot = first.rfind('.');
    const size_t at = dot == std::string::npos || (slash != std::string::npos && dot < slash) ? first.size() : dot;
    return first.substr(0, at) + "_" + std::to_string(group) + first.substr(at);
}

struct Figures {
    double toolBest = 1e300;
    double convBest = 1e300;
    double peakRss = 0;
};

void record(Figures& figures, int runNumber, const RunResult& tool, const RunResult& conv)
{
    figures.toolBest = std::min(figures.toolBest, tool.seconds);
    figures.convBest = std::min(figures.convBest, conv.seconds);
    figures.peakRss = std::max(figures.peakRss, conv.peakRssMib);
    std::printf("run %d: xmllint %.3f s, ediconv %.3f s, peak RSS %.1f MiB\n", runNumber, tool.seconds, conv.seconds,
                conv.peakRssMib);
    std::fflush(stdout);
}

// Prints the figures and the limits' verdicts; false when a limit is missed.
bool judge(const Options& options, const Figures& figures, double xmlMib)
{
    const double toolSpeed = xmlMib / figures.toolBest;
    const double convSpeed = xmlMib / figures.convBest;
    const double ratio = figures.convBest / figures.toolBest;
    std::printf("xmllint  best of %d %.3f s  %8.1f MiB/s of XML\n", options.runs, figures.toolBest, toolSpeed);
    std::printf("ediconv  best of %d %.3f s  %8.1f MiB/s of XML  peak RSS %.1f MiB\n", options.runs, figures.convBest,
                convSpeed, figures.peakRss);
    std::printf("ratio    ediconv/xmllint time %.3f\n", ratio);
    bool ok = true;
    if (options.maxRatio > 0 && ratio > options.maxRatio) {
        std::printf("TOO SLOW: ediconv takes %.3f times xmllint's time, the limit is %.3f\n", ratio, options.maxRatio);
        ok = false;
    }
    if (convSpeed < options.minMibps) {
        std::printf("TOO SLOW: ediconv converts %.1f MiB/s, the limit is %.1f MiB/s\n", convSpeed, options.minMibps);
        ok = false;
    }
    if (figures.peakRss >= options.maxRssMib) {
        std::printf("TOO MUCH MEMORY: ediconv's peak RSS is %.1f MiB, the limit is below %.1f MiB\n", figures.peakRss,
                    options.maxRssMib);
        ok = false;
    }
    return ok;
}

int toCii(const Options& options, const std::string& work)
{
    std::vector<std::string> documents;
    long long xmlBytes = 0;
    for (long long group = 1; fs::exists(groupDocument(fs::absolute(options.xml).string(), group)); ++group) {
        documents.push_back(groupDocument(fs::absolute(options.xml).string(), group));
        xmlBytes += fileSize(documents.back());
    }
    if (documents.empty())
        fail("cannot read " + options.xml);
    const double xmlMib = double(xmlBytes) / kMib;
    if (xmlMib < options.minXmlMib)
        fail("the documents have " + std::to_string(xmlMib) + " MiB, the benchmark needs at least "
             + std::to_string(options.minXmlMib));
    const std::string output = work + "/OUT.CII";
    const std::string log = work + "/ERR.LOG";

    Figures figures;
    for (int i = 0; i < options.runs; ++i) {
        std::vector<std::string> lint{options.xmllint, "--noout", "--stream"};
        lint.insert(lint.end(), documents.begin(), documents.end());
        const RunResult tool = run(lint, "/dev/null", work + "/xmllint.stderr");
        if (tool.status != 0)
            fail("xmllint does not accept the documents: " + readText(work + "/xmllint.stderr").substr(0, 500));
        clearOutputs(work);
        std::vector<std::string> convert{options.ediconv, "cii", "--db", options.masters, "--log", log};
        convert.insert(convert.end(), documents.begin(), documents.end());
        convert.push_back(output);
        const RunResult conv = run(convert, "/dev/null", work + "/ediconv.stderr");
        if (conv.status != 0)
            fail("ediconv cii ended with status " + std::to_string(conv.status) + ": "
                     + readText(work + "/ediconv.stderr"),
                 1);
        record(figures, i + 1, tool, conv);
    }

    long long messages = 0;
    for (const std::string& document : documents)
        messages += countInFile(document, "<JPTRM");
    std::printf("input    %s: %.1f MiB, %zu %s, %lld messages\n", options.xml.c_str(), xmlMib, documents.size(),
                documents.size() == 1 ? "document of one message group" : "documents of a message group each", messages);
    std::printf("output   %.1f MiB of CII\n", double(fileSize(output)) / kMib);
    bool ok = judge(options, figures, xmlMib);

    // Back to XML: the documents again, and no more.
    std::vector<std::string> problems;
    if (std::string problem = logProblem(log); !problem.empty())
        problems.push_back(problem);
    const RunResult back = run({options.ediconv, "xml", "--db", options.masters, "--log", log, output,
                                work + "/BACK.XML"},
                               "/dev/null", work + "/ediconv.stderr");
    if (back.status != 0)
        problems.push_back("ediconv xml on the output ended with status " + std::to_string(back.status) + ": "
                           + readText(work + "/ediconv.stderr"));
    for (size_t k = 0; back.status == 0 && k < documents.size(); ++k) {
        const std::string backPath = groupDocument(work + "/BACK.XML", (long long)k + 1);
        if (std::string difference = firstDifference(documents[k], backPath); !difference.empty())
            problems.push_back("the output converted back differs from " + documents[k] + " at " + difference);
    }
    if (fs::exists(groupDocument(work + "/BACK.XML", (long long)documents.size() + 1)))
        problems.push_back("the output converted back gives more documents than went in");
    for (const std::string& text : problems)
        std::printf("WRONG OUTPUT: %s\n", text.c_str());
    if (problems.empty())
        std::printf("output   converted back: the documents, byte for byte\n");
    ok = ok && problems.empty();
    std::printf("%s\n", ok ? "PASS" : "FAIL");
    return ok ? 0 : 1;
}

int toXml(const Options& options, const std::string& work)
{
    const bench::Manifest manifest = bench::readManifest(options.manifest);
    const long long ciiBytes = fileSize(options.cii);
    if (manifest.bytes != ciiBytes)
        fail("the manifest belongs to another file: " + std::to_string(manifest.bytes) + " bytes for "
             + std::to_string(ciiBytes));
    const std::string cii = fs::absolute(options.cii).string();
    const std::string log = work + "/ERR.LOG";

    // xmllint takes the documents in one run, or in a few when there are very many.
    constexpr size_t kDocumentsPerRun = 2000;
    std::vector<std::string> documents;
    long long xmlBytes = 0;
    Figures figures;
    for (int i = 0; i < options.runs; ++i) {
        clearOutputs(work);
        const RunResult conv = run({options.ediconv, "xml", "--db", options.masters, "--log", log, cii,
                                    work + "/OUT.XML"},
                                   "/dev/null", work + "/ediconv.stderr");
        if (conv.status != 0)
            fail("ediconv xml ended with status " + std::to_string(conv.status) + ": "
                     + readText(work + "/ediconv.stderr"),
                 1);
        documents.clear();
        xmlBytes = 0;
        for (long long group = 1; fs::exists(groupDocument(work + "/OUT.XML", group)); ++group) {
            documents.push_back(groupDocument(work + "/OUT.XML", group));
            xmlBytes += fileSize(documents.back());
        }
        if (documents.empty())
            fail("ediconv xml wrote no document", 1);

        RunResult tool;
        tool.seconds = 0;
        for (size_t first = 0; first < documents.size(); first += kDocumentsPerRun) {
            std::vector<std::string> arguments{options.xmllint, "--noout", "--stream"};
            arguments.insert(arguments.end(), documents.begin() + long(first),
                             documents.begin() + long(std::min(documents.size(), first + kDocumentsPerRun)));
            const RunResult part = run(arguments, "/dev/null", work + "/xmllint.stderr");
            if (part.status != 0)
                fail("xmllint does not accept the documents: " + readText(work + "/xmllint.stderr").substr(0, 500),
                     1);
            tool.seconds += part.seconds;
        }
        record(figures, i + 1, tool, conv);
    }

    const double xmlMib = double(xmlBytes) / kMib;
    std::printf("input    %s: %.1f MiB, %lld message groups, %lld messages\n", options.cii.c_str(),
                double(ciiBytes) / kMib, manifest.groups, manifest.messages);
    std::printf("output   %zu documents, %.1f MiB of XML; ediconv converts %.1f MiB/s of CII\n", documents.size(),
                xmlMib, double(ciiBytes) / kMib / figures.convBest);
    bool ok = judge(options, figures, xmlMib);

    std::vector<std::string> problems;
    if (std::string problem = logProblem(log); !problem.empty())
        problems.push_back(problem);
    if ((long long)documents.size() != manifest.groups)
        problems.push_back(std::to_string(documents.size()) + " documents for " + std::to_string(manifest.groups)
                           + " message groups");
    long long messages = 0;
    for (const std::string& path : documents)
        messages += countInFile(path, "<JPTRM");
    if (messages != manifest.messages)
        problems.push_back("the documents hold " + std::to_string(messages) + " messages for "
                           + std::to_string(manifest.messages));
    for (const std::string& text : problems)
        std::printf("WRONG OUTPUT: %s\n", text.c_str());
    if (problems.empty())
        std::printf("output   one well-formed document per message group, every message in them\n");
    ok = ok && problems.empty();
    std::printf("%s\n", ok ? "PASS" : "FAIL");
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char* argv[])
{
    bench::programName = "edi-xmlbench";
    const Options options = parseOptions(argc, argv);
    fs::create_directories(options.work);
    const std::string work = fs::absolute(options.work).string();
    return options.direction == "to-cii" ? toCii(options, work) : toXml(options, work);
}
