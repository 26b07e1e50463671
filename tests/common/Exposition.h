// Reads Prometheus exposition text back into samples, for tests.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace quorvane::test {

// One sample line: name, labels, value.
struct Sample {
    std::string Name;
    std::map<std::string, std::string> Labels;
    std::string Value;
};

// Reads the exposition text back, label escapes included; comment lines are
// skipped. A line that is not a sample fails the test.
inline std::vector<Sample> ParseExposition(const std::string& text) {
    std::vector<Sample> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        auto bad = [&] { ADD_FAILURE() << "not a sample: " << line; };
        Sample s;
        size_t at = line.find_first_of("{ ");
        if (at == std::string::npos) {
            bad();
            continue;
        }
        s.Name = line.substr(0, at);
        bool ok = true;
        if (line[at] == '{') {
            ++at;
            while (ok && at < line.size() && line[at] != '}') {
                const size_t eq = line.find('=', at);
                if (eq == std::string::npos || eq + 1 >= line.size() || line[eq + 1] != '"') {
                    ok = false;
                    break;
                }
                const std::string key = line.substr(at, eq - at);
                std::string value;
                size_t i = eq + 2;
                for (; i < line.size() && line[i] != '"'; ++i) {
                    if (line[i] == '\\' && i + 1 < line.size()) {
                        ++i;
                        value += line[i] == 'n' ? '\n' : line[i];
                    } else {
                        value += line[i];
                    }
                }
                if (i >= line.size()) {
                    ok = false;
                    break;
                }
                s.Labels[key] = value;
                at = i + 1;
                if (at < line.size() && line[at] == ',')
                    ++at;
            }
            ok = ok && at < line.size();
            ++at;
        }
        if (!ok || at >= line.size() || line[at] != ' ') {
            bad();
            continue;
        }
        s.Value = line.substr(at + 1);
        out.push_back(s);
    }
    return out;
}

} // namespace quorvane::test
