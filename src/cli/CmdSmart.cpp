// quorvane-cli smart SLOT [--dec] [--json]: the S.M.A.R.T. window of one slot.
#include <algorithm>
#include <iostream>

#include "cli/CliScan.h"
#include "smart/NvmeHealthGrid.h"
#include "app/NvmeLogs.h"
#include "app/ReadSmart.h"
#include "platform/TerminalText.h"

namespace quorvane::cli {
namespace {

void PrintJson(bool simulated, int slot, bool result, const SmartScreen& screen) {
    const TemperatureCaptions& t = screen.Temperatures;
    std::cout << "{\"simulated\": " << (simulated ? "true" : "false") << ", \"slot\": " << slot
              << ", \"status\": " << JsonString(screen.SMARTStatusL)
              << ", \"result\": " << (result ? "true" : "false") << ", \"temperatures\": {"
              << "\"HDDTempL\": " << JsonString(t.HDDTempL)
              << ", \"HDDTempLoL\": " << JsonString(t.HDDTempLoL)
              << ", \"HDDTempHiL\": " << JsonString(t.HDDTempHiL)
              << ", \"HDDAirTempL\": " << JsonString(t.HDDAirTempL) << "}, \"rows\": [";
    const auto& rows = screen.SMARTSG.Rows;
    for (size_t r = 1; r < rows.size(); ++r) {
        std::cout << (r > 1 ? ", " : "") << "[";
        for (size_t c = 0; c < rows[r].size(); ++c)
            std::cout << (c > 0 ? ", " : "") << JsonString(Latin1ToUtf8(rows[r][c]));
        std::cout << "]";
    }
    std::cout << "]}\n";
}

// Columns on a terminal: a UTF-8 continuation byte takes none.
size_t TextWidth(const std::string& text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// The columns the grid uses (an NVMe grid leaves the attribute columns
// empty), each as wide as its widest cell, two blanks between them.
void PrintGrid(const SmartGridModel& grid) {
    std::array<size_t, SmartGridColumns> widths{};
    for (const auto& row : grid.Rows)
        for (size_t c = 0; c < row.size(); ++c)
            widths[c] = std::max(widths[c], TextWidth(Latin1ToUtf8(row[c])));
    for (const auto& row : grid.Rows) {
        std::string line;
        for (size_t c = 0; c < row.size(); ++c) {
            if (!GridColumnUsed(grid, static_cast<int>(c)))
                continue;
            if (!line.empty())
                line += "  ";
            const std::string cell = Latin1ToUtf8(row[c]);
            line += cell;
            line.append(widths[c] - TextWidth(cell), ' ');
        }
        line.erase(line.find_last_not_of(' ') + 1);
        std::cout << line << "\n";
    }
}

void PrintText(const HDD& drive, int slot, const SmartScreen& screen) {
    const TemperatureCaptions& t = screen.Temperatures;
    std::cout << "Slot " << slot << ": " << DriveTerminalText(drive.ModelNumber) << "\n"
              << "S.M.A.R.T.: " << screen.SMARTStatusL << "\n";
    if (const auto concerns = DriveConcerns(drive); !concerns.empty()) {
        std::cout << "Warnings:";
        for (size_t i = 0; i < concerns.size(); ++i)
            std::cout << (i ? ", " : " ") << concerns[i];
        std::cout << "\n";
    }
    std::cout << "Temperature, °C: " << t.HDDTempL << "  Low: " << t.HDDTempLoL
              << "  High: " << t.HDDTempHiL << "  Airflow: " << t.HDDAirTempL << "\n"
              << "RAW Values: " << (screen.RAWValuesRG == RawValueFormat::Dec ? "DEC" : "HEX")
              << "\n\n";
    PrintGrid(screen.SMARTSG);
}

} // namespace

int RunSmart(CliContext& ctx) {
    const bool json = TakeFlag(ctx.Args, "--json");
    const bool dec = TakeFlag(ctx.Args, "--dec");
    std::string problem = OperandProblem("smart", ctx.Args, {"SLOT"});
    if (problem.empty())
        problem = SlotProblem(ctx.Args[0]);
    if (!problem.empty())
        return UsageError("smart", problem, CommandUsage("smart"));
    int slot = 0;
    ParseSlot(ctx.Args[0], slot);
    ProgramData& data = ctx.App().Data();
    if (!ScanForSlot(ctx, data, slot, !json))
        return ExitUsage;
    const bool result =
        ReadSMART(data, ctx.Bus(), slot, true, dec ? RawValueFormat::Dec : RawValueFormat::Hex);
    const SmartScreen& screen = data.Screen.Smart;
    // Without both pages there is no grid and no temperature to show, and the
    // status caption alone would read like a healthy drive: the read is an
    // error then, named on standard error (and as the JSON answer).
    const std::string lost = UnreadReason(data.Drives[slot]);
    if (!lost.empty()) {
        if (json)
            std::cout << "{\"simulated\": " << (ctx.Bus().IsSimulated() ? "true" : "false")
                      << ", \"slot\": " << slot << ", \"error\": " << JsonString(lost) << "}\n";
        std::cerr << "quorvane-cli: slot " << slot << ": " << lost << "\n";
        return ExitFailed;
    }
    if (json)
        PrintJson(ctx.Bus().IsSimulated(), slot, result, screen);
    else
        PrintText(data.Drives[slot], slot, screen);
    return result ? ExitOk : ExitFailed;
}

} // namespace quorvane::cli
