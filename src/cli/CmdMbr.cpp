// quorvane-cli mbr SLOT [--json]: the MBR window's reading of a drive.
#include <cstdio>
#include <iostream>
#include <sstream>

#include "cli/CliScan.h"
#include "mbr/MbrReading.h"
#include "mbr/MbrWindow.h"
#include "platform/TerminalText.h"

namespace quorvane::cli {
namespace {

const char* Bool(bool value) {
    return value ? "true" : "false";
}

std::string PartitionJson(const TPartition& p) {
    std::ostringstream out;
    out << "{\"Active\": " << Bool(p.Active) << ", \"FS\": " << JsonString(p.FS)
        << ", \"Start\": " << p.Start << ", \"Count\": " << p.Count << ", \"Volume\": " << p.Volume
        << ", \"Serial\": " << JsonString(p.Serial) << ", \"ClusterSize\": " << p.ClusterSize
        << ", \"MFTCluster\": " << p.MFTCluster
        << ", \"VolumeLabel\": " << JsonString(p.VolumeLabel)
        << ", \"FSVersion\": " << JsonString(p.FSVersion) << ", \"Dirty\": " << Bool(p.Dirty)
        << ", \"DosLetter\": " << JsonString(std::string(1, p.DosLetter)) << "}";
    return out.str();
}

std::string GroupJson(int group, const PartitionGroup& g) {
    std::ostringstream out;
    const char* sep = "{";
    for (const auto& [name, enabled] : GroupLabelStates(group, g)) {
        out << sep << JsonString(name) << ": " << Bool(enabled);
        sep = ", ";
    }
    for (const auto& [name, text] : GroupLabelTexts(group, g))
        out << sep << JsonString(name) << ": " << JsonString(text);
    out << "}";
    return out.str();
}

const char* SourceName(GptSource source) {
    switch (source) {
    case GptSource::Primary:
        return "primary";
    case GptSource::Backup:
        return "backup";
    case GptSource::Damaged:
        break;
    }
    return "damaged";
}

std::string StringsJson(const std::vector<std::string>& texts) {
    std::string out = "[";
    for (size_t i = 0; i < texts.size(); ++i)
        out += (i ? ", " : "") + JsonString(texts[i]);
    return out + "]";
}

std::string GptPartitionJson(const GptPartition& p) {
    std::ostringstream out;
    out << "{\"Number\": " << p.Number << ", \"TypeGUID\": " << JsonString(p.TypeGuid)
        << ", \"TypeName\": " << JsonString(p.TypeName)
        << ", \"UniqueGUID\": " << JsonString(p.UniqueGuid) << ", \"FirstLBA\": " << p.FirstLba
        << ", \"LastLBA\": " << p.LastLba << ", \"Attributes\": " << p.Attributes
        << ", \"AttributesText\": " << JsonString(GptAttributesText(p.Attributes))
        << ", \"Name\": " << JsonString(p.Name) << ", \"PastDiskEnd\": " << Bool(p.PastDiskEnd)
        << ", \"FS\": " << JsonString(p.FS) << ", \"FSVersion\": " << JsonString(p.FSVersion)
        << ", \"VolumeLabel\": " << JsonString(p.VolumeLabel)
        << ", \"Serial\": " << JsonString(p.Serial) << ", \"UUID\": " << JsonString(p.Uuid)
        << ", \"ClusterSize\": " << p.ClusterSize << ", \"Dirty\": " << Bool(p.Dirty)
        << ", \"MountPoints\": " << StringsJson(p.MountPoints) << "}";
    return out.str();
}

std::string BarJson(const PartitionBar& bar) {
    return "[" + std::to_string(bar.Left) + ", " + std::to_string(bar.Right) + "]";
}

// The GPT as read and the window's caption, notes and bars for it.
std::string GptJson(const GptDisk& gpt, const GptView& view) {
    std::ostringstream out;
    out << "{\"Source\": " << JsonString(SourceName(gpt.Source))
        << ", \"HeaderLBA\": " << gpt.HeaderLba << ", \"DiskGUID\": " << JsonString(gpt.DiskGuid)
        << ", \"Caption\": " << JsonString(view.CaptionL)
        << ", \"Notes\": " << StringsJson(gpt.Notes) << ", \"partitions\": [";
    for (size_t i = 0; i < gpt.Partitions.size(); ++i)
        out << (i ? ", " : "") << GptPartitionJson(gpt.Partitions[i]);
    out << "], \"bars\": ";
    if (view.Bars) {
        out << "[";
        for (size_t i = 0; i < view.Bars->size(); ++i)
            out << (i ? ", " : "") << BarJson((*view.Bars)[i]);
        out << "]";
    } else {
        out << "null";
    }
    out << "}";
    return out.str();
}

void PrintJson(const PartitionTable& table, const MbrWindowState& state, int slot, bool simulated) {
    std::cout << "{\"simulated\": " << Bool(simulated) << ", \"slot\": " << slot
              << ", \"VolumeID\": " << JsonString(table.VolumeID)
              << ", \"Signature\": " << JsonString(table.Signature) << ", \"partitions\": [";
    for (int i = 0; i < PartitionSlots; ++i)
        std::cout << (i ? ", " : "") << PartitionJson(table.Partitions[static_cast<size_t>(i)]);
    std::cout << "], \"groups\": [";
    for (int i = 0; i < PartitionSlots; ++i)
        std::cout << (i ? ", " : "") << GroupJson(i + 1, state.Groups[static_cast<size_t>(i)]);
    std::cout << "], \"bars\": [";
    for (int i = 0; i < PartitionSlots; ++i) {
        std::cout << (i ? ", " : "");
        if (state.Bars) {
            const auto& bar = (*state.Bars)[static_cast<size_t>(i)];
            std::cout << BarJson(bar);
        } else {
            std::cout << "null";
        }
    }
    std::cout << "]";
    // Only a disk with a protective entry has the key.
    if (table.Gpt && state.Gpt)
        std::cout << ", \"gpt\": " << GptJson(*table.Gpt, *state.Gpt);
    std::cout << "}\n";
}

// The GPT caption, its notes and each partition's row as "column: value"
// lines.
void PrintGpt(const GptView& gpt) {
    std::printf("%s\n", gpt.CaptionL.c_str());
    std::string notes = gpt.NotesL;
    for (size_t at = 0; !notes.empty(); ) {
        const size_t end = notes.find('\n', at);
        std::printf("  Note: %s\n", notes.substr(at, end - at).c_str());
        if (end == std::string::npos)
            break;
        at = end + 1;
    }
    const auto columns = GptListColumns();
    for (const auto& row : gpt.Rows) {
        std::printf("GPT partition %s\n", TerminalText(row[0]).c_str());
        for (size_t i = 1; i < row.size() && i < columns.size(); ++i)
            if (!row[i].empty())
                std::printf("  %-14s %s\n", (columns[i] + ":").c_str(),
                            TerminalText(row[i]).c_str());
    }
}

// The window's lines, group by group.
void PrintText(const HDD& drive, const MbrWindowState& state) {
    std::printf("Drive: %s\n", DriveTerminalText(drive.ModelNumber).c_str());
    for (int i = 0; i < PartitionSlots; ++i) {
        const PartitionGroup& g = state.Groups[static_cast<size_t>(i)];
        std::printf("Partition %d\n", i + 1);
        std::string label = g.DosLabelL;
        if (!label.empty() && !g.VolumeLabelL.empty())
            label += " ";
        label += g.VolumeLabelL;
        label = TerminalText(label); // the disk's own bytes
        std::printf("  %-7s Filesystem:    %-22s Cluster Size:  %s\n",
                    g.ActiveLEnabled ? "Active" : "", g.FSL.c_str(), g.ClusterSizeL.c_str());
        std::printf("  %-7s Volume Label:  %-22s Start LBA:     %s\n", "", label.c_str(),
                    g.StartL.c_str());
        std::printf("  %-7s Serial Number: %-22s Sectors Count: %s  %s\n",
                    g.DirtyLEnabled ? "Dirty" : "", g.SerialL.c_str(), g.CountL.c_str(),
                    g.VolumeL.c_str());
        std::string hint = g.DosLabelLHint;
        for (auto& c : hint)
            if (c == '\n')
                c = ',';
        if (!hint.empty())
            std::printf("          Mounted on:    %s\n", TerminalText(hint).c_str());
    }
    std::printf("Volume ID: %s\n", state.PartVolumeIDL.c_str());
    std::printf("Signature: %s\n", state.PartSignatureL.c_str());
    if (state.Gpt)
        PrintGpt(*state.Gpt);
    if (!state.Bars) {
        std::printf("Bars: none (the drive reports no sectors)\n");
        return;
    }
    std::printf("Bars (columns of the %d-pixel diagram):", PartImageWidth);
    const bool gptBars = state.Gpt && state.Gpt->Used && state.Gpt->Bars;
    const std::span<const PartitionBar> bars =
        gptBars ? std::span<const PartitionBar>(*state.Gpt->Bars)
                : std::span<const PartitionBar>(*state.Bars);
    for (size_t i = 0; i < bars.size(); ++i) {
        const auto& bar = bars[i];
        // A GPT bar is named by its partition's number.
        const std::string name = gptBars && i < state.Gpt->Rows.size() ? state.Gpt->Rows[i][0]
                                                                       : std::to_string(i + 1);
        if (bar.Right > bar.Left)
            std::printf(" %s: %lld-%lld", name.c_str(), static_cast<long long>(bar.Left),
                        static_cast<long long>(bar.Right - 1));
        else
            std::printf(" %s: -", name.c_str());
    }
    std::printf("\n");
}

} // namespace

int RunMbr(CliContext& ctx) {
    const bool json = TakeFlag(ctx.Args, "--json");
    std::string problem = OperandProblem("mbr", ctx.Args, {"SLOT"});
    if (problem.empty())
        problem = SlotProblem(ctx.Args[0]);
    if (!problem.empty())
        return UsageError("mbr", problem, CommandUsage("mbr"));
    int slot = 0;
    ParseSlot(ctx.Args[0], slot);
    ProgramData& data = ctx.App().Data();
    if (!ScanForCommand(ctx, data, false))
        return ExitFailed;
    if (!data.IsDriveSlot(slot)) {
        std::cerr << "quorvane-cli: no drive in slot " << slot
                  << " (drives found: " << data.DriveCount << ")\n";
        return ExitUsage;
    }
    DriveBus& bus = ctx.Bus();
    const auto names = MakeVolumeNames(bus);
    const auto table = ReadMbr(bus, data, slot, *names);
    if (!table) {
        constexpr const char* Unreadable = "sector 0 could not be read";
        if (json)
            std::cout << "{\"simulated\": " << Bool(bus.IsSimulated()) << ", \"slot\": " << slot
                      << ", \"error\": " << JsonString(Unreadable) << "}\n";
        std::cerr << "quorvane-cli: slot " << slot << ": " << Unreadable << "\n";
        return ExitFailed;
    }
    const HDD& drive = data.Drives[slot];
    const MbrWindowState state = MbrWindowFor(*table, drive.Sectors);
    if (json) {
        PrintJson(*table, state, slot, bus.IsSimulated());
    } else {
        if (bus.IsSimulated())
            std::cout << SimulatedHeader(bus) << "\n";
        std::cout.flush();
        PrintText(drive, state);
    }
    std::fflush(stdout);
    return ExitOk;
}

} // namespace quorvane::cli
