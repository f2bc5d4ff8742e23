// What the benchmark drivers share: starting a program with its outputs in files, its wall time
// and peak resident set, and reading a small file whole. Plain C++ without Qt, so that the
// drivers' own start-up stays small next to what they measure.
#pragma once

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <vector>

extern char** environ;

namespace bench {

// The name in front of the driver's messages.
inline const char* programName = "edi-bench";

[[noreturn]] inline void fail(const std::string& message, int status = 2)
{
    std::fprintf(stderr, "%s: %s\n", programName, message.c_str());
    std::exit(status);
}

struct RunResult {
    int status = -1;      // exit status, or -1 after a signal
    double seconds = 0;   // wall time
    double peakRssMib = 0;
};

// Runs a program with stdout and stderr going to files. posix_spawn starts the child without a
// copy of this process's memory, so the peak resident set that wait4 reports is the program's.
inline RunResult run(const std::vector<std::string>& arguments, const std::string& stdoutPath,
                     const std::string& stderrPath)
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

inline std::string readText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Bytes shown with everything outside printable ASCII as \xNN.
inline std::string printable(const std::string& bytes)
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

}  // namespace bench
