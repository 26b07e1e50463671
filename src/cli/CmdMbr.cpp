// quorvane-cli mbr SLOT [--json]: the MBR window's reading of a drive.
#include <cstdio>
#include <iostream>
#include <sstream>

#include "cli/CliJson.h"
#include "cli/CliScan.h"
#include "mbr/MbrReading.h"
#include "mbr/MbrWindow.h"
#include "platform/TerminalText.h"

namespace quorvane::cli {
namespace {

// A text the reading may have left empty (no boot sector, no label).
std::optional<std::string> Text(const std::string& text) {
    return text.empty() ? std::nullopt : std::optional<std::string>(text);
}
template <typename T>
std::optional<T> Counted(T value) {
    return value != 0 ? std::optional<T>(value) : std::nullopt;
}

void WriteStrings(JsonWriter& json, std::string_view key, const std::vector<std::string>& texts) {
    json.BeginArray(key);
    for (const std::string& text : texts)
        json.Item(text);
    json.End();
}

void WriteBar(JsonWriter& json, const std::optional<PartitionBar>& bar) {
    if (!bar) {
        json.Item(std::nullopt);
        return;
    }
    json.BeginObject().Field("left", bar->Left).Field("right", bar->Right).End();
}

// A primary entry and what its boot sector told.
void WritePartition(JsonWriter& json, int number, const TPartition& p) {
    json.BeginObject()
        .Field("number", number)
        .Field("active", p.Active)
        .Field("type", int{p.Type})
        .Field("type_name", p.FS)
        .Field("start_lba", p.Start)
        .Field("sectors", p.Count)
        .Field("size_gib", p.Volume)
        .Field("serial", Text(p.Serial))
        .Field("cluster_sectors", Counted(p.ClusterSize))
        .Field("mft_cluster", Counted(p.MFTCluster))
        .Field("volume_label", Text(p.VolumeLabel))
        .Field("fs_version", Text(p.FSVersion))
        .Field("dirty", p.Dirty);
    if (p.DosLetter >= 'A' && p.DosLetter <= 'Z')
        json.Field("dos_letter", std::string(1, p.DosLetter));
    else
        json.Field("dos_letter", std::nullopt);
    WriteStrings(json, "mount_points", p.MountPoints);
    json.End();
}

// A group's captions by control name, as the window shows them.
void WriteGroup(JsonWriter& json, int group, const PartitionGroup& g) {
    json.BeginObject();
    for (const auto& [name, enabled] : GroupLabelStates(group, g))
        json.Field(name, enabled);
    for (const auto& [name, text] : GroupLabelTexts(group, g))
        json.Field(name, text);
    json.End();
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

void WriteGptPartition(JsonWriter& json, const GptPartition& p) {
    json.BeginObject()
        .Field("number", p.Number)
        .Field("type_guid", p.TypeGuid)
        .Field("type_name", p.TypeName)
        .Field("unique_guid", p.UniqueGuid)
        .Field("first_lba", p.FirstLba)
        .Field("last_lba", p.LastLba)
        .Field("sectors", p.Sectors());
    json.BeginObject("attributes")
        .Field("value", p.Attributes)
        .Field("string", GptAttributesText(p.Attributes))
        .End();
    json.Field("name", p.Name)
        .Field("past_disk_end", p.PastDiskEnd)
        .Field("file_system", Text(p.FS))
        .Field("fs_version", Text(p.FSVersion))
        .Field("volume_label", Text(p.VolumeLabel))
        .Field("serial", Text(p.Serial))
        .Field("uuid", Text(p.Uuid))
        .Field("cluster_sectors", Counted(p.ClusterSize))
        .Field("dirty", p.Dirty);
    WriteStrings(json, "mount_points", p.MountPoints);
    json.End();
}

// The GPT as read and the window's caption, notes and bars for it.
void WriteGpt(JsonWriter& json, const GptDisk& gpt, const GptView& view) {
    json.BeginObject("gpt")
        .Field("source", SourceName(gpt.Source))
        .Field("header_lba", gpt.HeaderLba)
        .Field("disk_guid", Text(gpt.DiskGuid))
        .Field("caption", view.CaptionL);
    WriteStrings(json, "notes", gpt.Notes);
    json.BeginArray("partitions");
    for (const GptPartition& p : gpt.Partitions)
        WriteGptPartition(json, p);
    json.End();
    if (view.Bars) {
        json.BeginArray("bars");
        for (const PartitionBar& bar : *view.Bars)
            WriteBar(json, bar);
        json.End();
    } else {
        json.Field("bars", std::nullopt);
    }
    json.End();
}

void PrintJson(CliContext& ctx, const HDD& drive, const PartitionTable& table,
               const MbrWindowState& state, int slot) {
    JsonWriter json = BeginJsonDocument(ctx);
    json.Field("slot", slot);
    json.BeginObject("device").Field("name", DeviceName(drive)).Field("type", drive.IsNvme() ? "nvme" : "ata").End();
    json.BeginObject("mbr")
        .Field("disk_signature", table.VolumeID)
        .Field("boot_signature", table.Signature);
    json.BeginArray("partitions");
    for (int i = 0; i < PartitionSlots; ++i)
        WritePartition(json, i + 1, table.Partitions[static_cast<size_t>(i)]);
    json.End().End();
    json.BeginObject("window")
        .Field("volume_id", state.PartVolumeIDL)
        .Field("signature", state.PartSignatureL);
    json.BeginArray("groups");
    for (int i = 0; i < PartitionSlots; ++i)
        WriteGroup(json, i + 1, state.Groups[static_cast<size_t>(i)]);
    json.End();
    // The MBR's four bars; null when the drive reports no sectors.
    if (state.Bars) {
        json.BeginArray("bars");
        for (const PartitionBar& bar : *state.Bars)
            WriteBar(json, bar);
        json.End();
    } else {
        json.Field("bars", std::nullopt);
    }
    json.End();
    // Only a disk with a protective entry has the key.
    if (table.Gpt && state.Gpt)
        WriteGpt(json, *table.Gpt, *state.Gpt);
    PrintJsonDocument(json);
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
        return NoDriveInSlot(ctx, data, slot, json);
    }
    DriveBus& bus = ctx.Bus();
    const auto names = MakeVolumeNames(bus);
    const auto table = ReadMbr(bus, data, slot, *names);
    if (!table) {
        constexpr const char* Unreadable = "sector 0 could not be read";
        if (json)
            PrintJsonError(ctx, slot, {"read_failed", Unreadable, "sector 0", ""});
        std::cerr << "quorvane-cli: slot " << slot << ": " << Unreadable << "\n";
        return ExitFailed;
    }
    const HDD& drive = data.Drives[slot];
    const MbrWindowState state = MbrWindowFor(*table, drive.Sectors);
    if (json) {
        PrintJson(ctx, drive, *table, state, slot);
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
