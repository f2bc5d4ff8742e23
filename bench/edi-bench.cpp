// Times the local conversion of a CII file against md5sum reading the same file, on the same
// machine in the same run, and checks what the conversion wrote against the generator's manifest.
//
//   edi-bench --ediconv PATH --cii FILE --masters FILE.sqlite --manifest FILE --work DIR
//             [--runs N] [--min-ratio R] [--min-mibps S] [--max-rss-mib M]
//
// Each program runs N times (md5sum, then ediconv, in turns); the best wall time of each counts.
// The exit status is 0 when every limit holds and the output is right: ediconv at least R times
// md5sum's speed (default 1/3) and at least S MiB/s (default 0), its peak resident set below
// M MiB (default 64); 1 when a limit or a check fails; 2 for usage and set-up errors.

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Options {
    std::string ediconv;
    std::string cii;
    std::string masters;
    std::string manifest;
    std::string work;
    int runs = 3;
    double minRatio = 1.0 / 3.0;
    double minMibps = 0;
    double maxRssMib = 64;
};

[[noreturn]] void fail(const std::string& message, int status = 2)
{
    std::fprintf(stderr, "edi-bench: %s\n", message.c_str());
    std::exit(status);
}

Options parseOptions(int argc, char* argv[])
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (i + 1 >= argc)
            fail("usage: edi-bench --ediconv PATH --cii FILE --masters FILE --manifest FILE --work DIR"
                 " [--runs N] [--min-ratio R] [--min-mibps S] [--max-rss-mib M]");
        const std::string value = argv[++i];
        auto number = [&] {
            char* end = nullptr;
            const double n = std::strtod(value.c_str(), &end);
            if (end == value.c_str() || *end != '\0' || n < 0)
                fail(argument + " needs a number");
            return n;
        };
        if (argument == "--ediconv")
            options.ediconv = value;
        else if (argument == "--cii")
            options.cii = value;
        else if (argument == "--masters")
            options.masters = value;
        else if (argument == "--manifest")
            options.manifest = value;
        else if (argument == "--work")
            options.work = value;
        else if (argument == "--runs")
            options.runs = std::max(1, int(number()));
        else if (argument == "--min-ratio")
            options.minRatio = number();
        else if (argument == "--min-mibps")
            options.minMibps = number();
        else if (argument == "--max-rss-mib")
            options.maxRssMib = number();
        else
            fail("unknown option " + argument);
    }
    if (options.ediconv.empty() || options.cii.empty() || options.masters.empty() || options.manifest.empty()
        || options.work.empty())
        fail("--ediconv, --cii, --masters, --manifest and --work are required");
    return options;
}

struct RunResult {
    int status = -1;      // exit status, or -1 after a signal
    double seconds = 0;   // wall time
    double peakRssMib = 0;
};

// Runs a program with stdout and stderr going to files. posix_spawn starts the child without a
// copy of this process's memory, so the peak resident set that wait4 reports is the program's.
RunResult run(const std::vector<std::string>& arguments, const std::string& stdoutPath, const std::string& stderrPath)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);

    timespec start{};
    timespec end{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    pid_t pid = 0;
    const int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        fail("cannot start " + arguments[0] + ": " + std::strerror(error));
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR)
            fail(std::string("wait4: ") + std::strerror(errno));
    }
    clock_gettime(CLOCK_MONOTONIC, &end);

    RunResult result;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.seconds = double(end.tv_sec - start.tv_sec) + double(end.tv_nsec - start.tv_nsec) / 1e9;
    result.peakRssMib = double(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
    return result;
}

std::string readText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
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

struct Check {
    long long position;  // 1-based in the line
    std::string bytes;
};

struct Manifest {
    long long bytes = 0;
    long long groups = 0;
    long long messages = 0;
    std::map<std::string, long long> classes;                             // lines per class
    std::map<std::string, std::map<long long, std::vector<Check>>> checks;  // class, line
    size_t checkCount = 0;
};

std::string fromHex(const std::string& hex)
{
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += char(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

Manifest readManifest(const std::string& path)
{
    std::ifstream in(path);
    if (!in)
        fail("cannot read " + path);
    Manifest manifest;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string kind;
        fields >> kind;
        if (kind == "bytes") {
            fields >> manifest.bytes;
        } else if (kind == "groups") {
            fields >> manifest.groups;
        } else if (kind == "messages") {
            fields >> manifest.messages;
        } else if (kind == "class") {
            std::string infoClass;
            long long count = 0;
            fields >> infoClass >> count;
            manifest.classes[infoClass] = count;
        } else if (kind == "check") {
            std::string infoClass;
            std::string hex;
            long long lineNumber = 0;
            long long position = 0;
            fields >> infoClass >> lineNumber >> position >> hex;
            manifest.checks[infoClass][lineNumber].push_back({position, fromHex(hex)});
            ++manifest.checkCount;
        }
    }
    return manifest;
}

std::string printable(const std::string& bytes)
{
    std::string out;
    for (const char c : bytes) {
        if (c >= 0x20 && c < 0x7F) {
            out += c;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", unsigned(static_cast<unsigned char>(c)));
            out += hex;
        }
    }
    return out;
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
