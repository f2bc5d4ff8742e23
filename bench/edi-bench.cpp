// Times the local conversion of a CII file against md5sum reading the same file, on the same
// machine in the same run, and checks what the conversion wrote against the generator's manifest.
//
//   edi-bench --ediconv PATH --cii FILE --masters FILE.sqlite --manifest FILE --work DIR
//             [--runs N] [--min-ratio R] [--min-mibps S] [--max-rss-mib M]
//
// Each program runs N times (md5sum, then ediconv, in turns); the best wall time of each counts.
// The exit status is 0 when every limit holds and the output is right: ediconv at least R times
// md5sum's speed (default 1/2) and at least S MiB/s (default 0), its peak resident set below
// M MiB (default 64); 1 when a limit or a check fails; 2 for usage and set-up errors.

#include "BenchManifest.h"
#include "BenchOptions.h"
#include "BenchProcess.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using bench::Check;
using bench::fail;
using bench::Manifest;
using bench::printable;
using bench::readManifest;
using bench::readText;
using bench::run;
using bench::RunResult;

struct Options {
    std::string ediconv;
    std::string cii;
    std::string masters;
    std::string manifest;
    std::string work;
    int runs = 3;
    double minRatio = 0.5;
    double minMibps = 0;
    double maxRssMib = 64;
};

Options parseOptions(int argc, char* argv[])
{
    Options options;
    bench::OptionTable table("usage: edi-bench --ediconv PATH --cii FILE --masters FILE --manifest FILE --work DIR"
                             " [--runs N] [--min-ratio R] [--min-mibps S] [--max-rss-mib M]");
    table.text("--ediconv", options.ediconv);
    table.text("--cii", options.cii);
    table.text("--masters", options.masters);
    table.text("--manifest", options.manifest);
    table.text("--work", options.work);
    table.count("--runs", options.runs);
    table.number("--min-ratio", options.minRatio);
    table.number("--min-mibps", options.minMibps);
    table.number("--max-rss-mib", options.maxRssMib);
    table.parse(argc, argv, 1);
    if (options.ediconv.empty() || options.cii.empty() || options.masters.empty() || options.manifest.empty()
        || options.work.empty())
        fail("--ediconv, --cii, --masters, --manifest and --work are required");
    return options;
}

// The conversion's outputs and log, removed before each run: the converter appends.
void clearOutputs(const std::string& work)
{
    for (const fs::directory_entry& entry : fs::directory_iterator(work)) {
        const std::string name = entry.path().filename().string();
        const bool local = name.rfind("OUT", 0) == 0 && name.size() > 4 && name.substr(name.size() - 4) == ".LOC";
        if (local || name == "ERR.LOG")
            fs::remove(entry.path());
    }
}

// Checks the local files: one line per message of each class, all lines of a class of one length
// and ended by CR LF, and the manifest's fields. Returns the problems found (a few at most).
std::vector<std::string> verifyOutput(const Manifest& manifest, const std::string& work)
{
    std::vector<std::string> problems;
    auto problem = [&](const std::string& text) {
        if (problems.size() < 20)
            problems.push_back(text);
    };
    for (const auto& [infoClass, expectedLines] : manifest.classes) {
        const std::string path = work + "/OUT" + infoClass + ".LOC";
        std::FILE* file = std::fopen(path.c_str(), "rb");
        if (!file) {
            problem("no output file " + path);
            continue;
        }
        const auto classChecks = manifest.checks.find(infoClass);
        std::vector<char> buffer(1 << 20);
        std::string line;
        long long lines = 0;
        size_t lineLength = 0;
        size_t got = 0;
        while ((got = std::fread(buffer.data(), 1, buffer.size(), file)) > 0) {
            const char* p = buffer.data();
            const char* end = p + got;
            while (p < end) {
                const char* newline = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
                line.append(p, newline ? newline : end);
                if (!newline)
                    break;
                p = newline + 1;
                ++lines;
                if (line.empty() || line.back() != '\r')
                    problem(infoClass + " line " + std::to_string(lines) + " does not end with CR LF");
                else
                    line.pop_back();
                if (lines == 1)
                    lineLength = line.size();
                else if (line.size() != lineLength)
                    problem(infoClass + " line " + std::to_string(lines) + " is " + std::to_string(line.size())
                            + " bytes, the first " + std::to_string(lineLength));
                if (classChecks != manifest.checks.end()) {
                    const auto lineChecks = classChecks->second.find(lines);
                    if (lineChecks != classChecks->second.end()) {
                        for (const Check& check : lineChecks->second) {
                            const std::string actual = check.position - 1 < (long long)line.size()
                                                         ? line.substr(size_t(check.position - 1), check.bytes.size())
                                                         : std::string();
                            if (actual != check.bytes)
                                problem(infoClass + " line " + std::to_string(lines) + " position "
                                        + std::to_string(check.position) + ": expected \"" + printable(check.bytes)
                                        + "\", found \"" + printable(actual) + "\"");
                        }
                    }
                }
                line.clear();
            }
        }
        std::fclose(file);
        if (!line.empty())
            problem(path + " ends inside a line");
        if (lines != expectedLines)
            problem(path + " has " + std::to_string(lines) + " lines for " + std::to_string(expectedLines)
                    + " messages");
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(work)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("OUT", 0) == 0 && !manifest.classes.count(name.substr(3, name.size() - 7)))
            problem("unexpected output file " + name);
    }
    // The log holds the start line and nothing else: no warning, no error.
    const std::string log = readText(work + "/ERR.LOG");
    const size_t firstEnd = log.find("\r\n");
    if (log.rfind("0000--LOCCIIC start--", 0) != 0 || firstEnd == std::string::npos || firstEnd + 2 != log.size())
        problem("the conversion log holds more than its start line: " + printable(log.substr(0, 300)));
    return problems;
}

}  // namespace

int main(int argc, char* argv[])
{
    const Options options = parseOptions(argc, argv);
    std::error_code error;
    const auto size = fs::file_size(options.cii, error);
    if (error)
        fail("cannot read " + options.cii);
    fs::create_directories(options.work);
    const Manifest manifest = readManifest(options.manifest);
    if (manifest.bytes != (long long)size)
        fail("the manifest belongs to another file: " + std::to_string(manifest.bytes) + " bytes for "
             + std::to_string(size));
    const double mib = double(size) / (1 << 20);
    const std::string work = fs::absolute(options.work).string();
    const std::string ediconvErr = work + "/ediconv.stderr";

    double md5Best = 1e300;
    double convBest = 1e300;
    double peakRss = 0;
    for (int i = 0; i < options.runs; ++i) {
        const RunResult md5 = run({"md5sum", options.cii}, "/dev/null", work + "/md5sum.stderr");
        if (md5.status != 0)
            fail("md5sum failed", 2);
        md5Best = std::min(md5Best, md5.seconds);

        clearOutputs(work);
        const RunResult conv = run({options.ediconv, "local", "--db", options.masters, "--log", work + "/ERR.LOG",
                                    options.cii, work + "/OUT.LOC"},
                                   "/dev/null", ediconvErr);
        if (conv.status != 0)
            fail("ediconv ended with status " + std::to_string(conv.status) + ": " + readText(ediconvErr), 1);
        convBest = std::min(convBest, conv.seconds);
        peakRss = std::max(peakRss, conv.peakRssMib);
        std::printf("run %d: md5sum %.3f s, ediconv %.3f s, peak RSS %.1f MiB\n", i + 1, md5.seconds, conv.seconds,
                    conv.peakRssMib);
        std::fflush(stdout);
    }

    const double md5Speed = mib / md5Best;
    const double convSpeed = mib / convBest;
    const double ratio = convSpeed / md5Speed;
    std::printf("input    %s: %.1f MiB, %lld message groups, %lld messages\n", options.cii.c_str(), mib,
                manifest.groups, manifest.messages);
    std::printf("md5sum   best of %d %.3f s  %8.1f MiB/s\n", options.runs, md5Best, md5Speed);
    std::printf("ediconv  best of %d %.3f s  %8.1f MiB/s  peak RSS %.1f MiB\n", options.runs, convBest, convSpeed,
                peakRss);
    std::printf("ratio    ediconv/md5sum %.3f\n", ratio);

    bool ok = true;
    const std::vector<std::string> problems = verifyOutput(manifest, work);
    for (const std::string& text : problems)
        std::printf("WRONG OUTPUT: %s\n", text.c_str());
    if (problems.empty()) {
        long long lines = 0;
        for (const auto& [infoClass, count] : manifest.classes)
            lines += count;
        std::printf("output   %zu files, %lld lines, %zu sampled fields as expected\n", manifest.classes.size(), lines,
                    manifest.checkCount);
    }
    ok = problems.empty();
    if (ratio < options.minRatio) {
        std::printf("TOO SLOW: ediconv reaches %.3f of md5sum's speed, the limit is %.3f\n", ratio, options.minRatio);
        ok = false;
    }
    if (convSpeed < options.minMibps) {
        std::printf("TOO SLOW: ediconv converts %.1f MiB/s, the limit is %.1f MiB/s\n", convSpeed, options.minMibps);
        ok = false;
    }
    if (peakRss >= options.maxRssMib) {
        std::printf("TOO MUCH MEMORY: ediconv's peak RSS is %.1f MiB, the limit is below %.1f MiB\n", peakRss,
                    options.maxRssMib);
        ok = false;
    }
    std::printf("%s\n", ok ? "PASS" : "FAIL");
    return ok ? 0 : 1;
}
