// The manifest edi-benchgen writes beside a CII file: its size, message groups and messages, the
// local lines per information class, and sampled fields of local lines (see edi-benchgen.cpp).
#pragma once

#include "BenchProcess.h"

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace bench {

// A field of a local line the manifest gives.
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

inline std::string fromHex(const std::string& hex)
{
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += char(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

inline Manifest readManifest(const std::string& path)
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

}  // namespace bench
