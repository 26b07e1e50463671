// Reading INI files of growing size: the time per parse, and per section, for
// files of 1,000 to 200,000 sections (two keys each, and every tenth section
// repeated under another case, which continues the first). When the time per
// section stays flat as the file grows, reading is linear.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/IniFile.h"

namespace {

std::string MakeIni(int sections) {
    std::string text;
    for (int i = 0; i < sections; ++i) {
        text += "[Drive" + std::to_string(i) +
                "]\nstatus = ok\nNative-Max = " + std::to_string(1000 + i) + "\n";
        if (i % 10 == 9)
            text += "[DRIVE" + std::to_string(i - 5) + "]\nextra = " + std::to_string(i) + "\n";
    }
    return text;
}

} // namespace

int main(int argc, char** argv) {
    const int largest = argc > 1 ? std::atoi(argv[1]) : 200000;
    std::printf("%10s %12s %14s %14s\n", "sections", "bytes", "ms per parse", "ns per section");
    for (int sections = 1000; sections <= largest; sections *= 2) {
        const std::string text = MakeIni(sections);
        // Small files are parsed more often, so every row takes a while.
        const int rounds = sections <= 20000 ? 20 : 3;
        const auto start = std::chrono::steady_clock::now();
        size_t found = 0;
        for (int r = 0; r < rounds; ++r) {
            const auto ini = quorvane::IniFile::Parse(text);
            found += ini.Get("drive" + std::to_string(sections - 1), "native-max").has_value();
        }
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count() /
            rounds;
        if (found != static_cast<size_t>(rounds)) {
            std::fprintf(stderr, "bench_ini: the last section was not read\n");
            return 1;
        }
        std::printf("%10d %12zu %14.2f %14.1f\n", sections, text.size(), ms, ms * 1e6 / sections);
        if (sections * 2 > largest && sections != largest)
            sections = largest / 2; // end on the largest size asked for
    }
    return 0;
}
