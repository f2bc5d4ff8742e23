// The benchmark drivers' command lines: "--name value" pairs, each bound to a field of the
// driver's options as text or as a non-negative number.
#pragma once

#include "BenchProcess.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>

namespace bench {

class OptionTable {
public:
    explicit OptionTable(std::string usage) : usage_(std::move(usage)) {}

    void text(const std::string& name, std::string& target)
    {
        setters_[name] = [&target](const std::string&, const std::string& value) { target = value; };
    }

    void number(const std::string& name, double& target)
    {
        setters_[name] = [&target](const std::string& option, const std::string& value) {
            target = parseNumber(option, value);
        };
    }

    // A number of runs: at least one.
    void count(const std::string& name, int& target)
    {
        setters_[name] = [&target](const std::string& option, const std::string& value) {
            target = std::max(1, int(parseNumber(option, value)));
        };
    }

    // Reads the pairs from argv[first] on; a missing value or an unknown name ends the driver.
    void parse(int argc, char* argv[], int first) const
    {
        for (int i = first; i < argc; i += 2) {
            const auto setter = setters_.find(argv[i]);
            if (setter == setters_.end())
                fail("unknown option " + std::string(argv[i]) + "\n" + usage_);
            if (i + 1 >= argc)
                fail(std::string(argv[i]) + " needs a value\n" + usage_);
            setter->second(argv[i], argv[i + 1]);
        }
    }

private:
    static double parseNumber(const std::string& option, const std::string& value)
    {
        char* end = nullptr;
        const double number = std::strtod(value.c_str(), &end);
        if (end == value.c_str() || *end != '\0' || number < 0)
            fail(option + " needs a number");
        return number;
    }

    std::string usage_;
    std::map<std::string, std::function<void(const std::string&, const std::string&)>> setters_;
};

}  // namespace bench
