// Helpers for the S.M.A.R.T. tests: hand-built pages, and the saved views of
// the real drives in tests/data/smart-pages (the output of the independent
// decoder skdump, and the grid rows decoded by hand).
#pragma once

#include <array>
#include <cstdint>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/TestDrives.h"
#include "smart/SmartGrid.h"

namespace quorvane::test {

// The real drives the tests read.
inline const std::vector<std::string> SmartTestDrives = {
    "Biwintech_SSD_SX500",
    "FUJITSU_MHY2120BH--0084000D",
    "Hitachi_HDS721010CLA632",
    "IBM_IC25N020ATCS04-0",
    "INTEL_SSDSA2CW120G3--4PC10302",
    "MCCOE64GEMPP--2.9.09",
    "Maxtor_6Y120P0",
    "Maxtor_96147H8--BAC51KJ0--2",
    "SAMSUNG_HD501LJ--CR100-12",
    "SAMSUNG_HS122JC",
    "ST320410A--3.39",
    "ST9100821AS--3.CME",
    "ST9160821AS--3.CLH",
    "TOSHIBA_MK1651GSY--38IGT0G5T",
    "WDC_WD20EARS-00MVWB0",
};

inline std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A page with the given 12-byte slots from offset 2.
struct PageSlot {
    uint8_t Id = 0;
    uint16_t Flags = 0;
    uint8_t Value = 0;
    uint8_t Worst = 0;
    std::array<uint8_t, 6> Raw{};
};
inline std::array<uint8_t, 512> MakeDataPage(const std::map<int, PageSlot>& slots) {
    std::array<uint8_t, 512> page{};
    for (const auto& [k, s] : slots) {
        uint8_t* p = page.data() + 2 + 12 * k;
        p[0] = s.Id;
        p[1] = static_cast<uint8_t>(s.Flags & 0xFF);
        p[2] = static_cast<uint8_t>(s.Flags >> 8);
        p[3] = s.Value;
        p[4] = s.Worst;
        for (int i = 0; i < 6; ++i)
            p[5 + i] = s.Raw[static_cast<size_t>(i)];
    }
    return page;
}
// A threshold page: slot k holds id and threshold.
inline std::array<uint8_t, 512>
MakeThresholdPage(const std::map<int, std::pair<uint8_t, uint8_t>>& slots) {
    std::array<uint8_t, 512> page{};
    for (const auto& [k, s] : slots) {
        page[2 + 12 * static_cast<size_t>(k)] = s.first;
        page[3 + 12 * static_cast<size_t>(k)] = s.second;
    }
    return page;
}

// One attribute line of skdump's table.
struct SkdumpAttribute {
    int Id = 0;
    // -1 where skdump prints "n/a": it takes a value only in 1..253.
    int Value = 0, Worst = 0, Threshold = 0;
    std::array<uint8_t, 6> Raw{}; // in page order, as skdump prints them
    bool Prefail = false;         // flag bit 0
    bool Online = false;          // flag bit 1
};

// A value as skdump shows it: the number, or "n/a" outside 1..253.
inline bool SkdumpShows(int skdump, int value) {
    return skdump >= 0 ? value == skdump : (value == 0 || value > 253);
}

inline std::vector<SkdumpAttribute> ReadSkdump(const std::string& drive) {
    std::istringstream in(ReadText(PagesDir() / (drive + ".skdump.txt")));
    std::vector<SkdumpAttribute> attributes;
    std::string line;
    bool table = false;
    while (std::getline(in, line)) {
        if (line.rfind("ID#", 0) == 0) {
            table = true;
            continue;
        }
        if (!table)
            continue;
        std::istringstream fields(line);
        std::vector<std::string> f;
        for (std::string word; fields >> word;)
            f.push_back(word);
        if (f.size() < 9)
            continue;
        SkdumpAttribute a;
        a.Id = std::stoi(f[0]);
        auto number = [](const std::string& text) { return text == "n/a" ? -1 : std::stoi(text); };
        a.Value = number(f[2]);
        a.Worst = number(f[3]);
        a.Threshold = number(f[4]);
        size_t raw = 5;
        while (raw < f.size() && !(f[raw].rfind("0x", 0) == 0 && f[raw].size() == 14))
            ++raw;
        if (raw + 2 >= f.size())
            continue;
        for (size_t i = 0; i < 6; ++i)
            a.Raw[i] = static_cast<uint8_t>(std::stoi(f[raw].substr(2 + 2 * i, 2), nullptr, 16));
        a.Prefail = f[raw + 1] == "prefail";
        a.Online = f[raw + 2] == "online";
        attributes.push_back(a);
    }
    return attributes;
}

// The hand-decoded grid of a drive: the rows in display order (seven cells,
// raw in HEX) with the DEC raw text, and the ids that sit behind an empty slot.
struct ExpectedGrid {
    std::vector<SmartGridRow> Rows;
    std::vector<std::string> DecimalRaw;
    std::vector<int> BehindEmptySlot;
};

inline ExpectedGrid ReadExpectedGrid(const std::string& drive) {
    std::istringstream in(ReadText(PagesDir() / (drive + ".grid.txt")));
    ExpectedGrid grid;
    const std::string lostPrefix = "# ids behind an empty slot (not found):";
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(lostPrefix, 0) == 0) {
            std::istringstream ids(line.substr(lostPrefix.size()));
            for (std::string id; ids >> id;)
                if (id != "none")
                    grid.BehindEmptySlot.push_back(std::stoi(id));
            continue;
        }
        if (line.empty() || line[0] == '#')
            continue;
        std::vector<std::string> cells;
        std::istringstream fields(line);
        for (std::string cell; std::getline(fields, cell, '|');)
            cells.push_back(cell);
        if (cells.size() != 8)
            continue;
        SmartGridRow row;
        for (size_t c = 0; c < row.size(); ++c)
            row[c] = cells[c];
        grid.Rows.push_back(row);
        grid.DecimalRaw.push_back(cells[7]);
    }
    return grid;
}

} // namespace quorvane::test
