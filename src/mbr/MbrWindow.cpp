#include "mbr/MbrWindow.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "mbr/BootSector.h"

namespace quorvane {
namespace {

constexpr const char* NotShownText = "...";

// One control of a group, positioned inside the group box.
struct GroupControl {
    const char* Suffix;
    MbrControlKind Kind;
    int Left, Top, Width, Height;
    const char* Caption;
    MbrLook Look;
    bool Enabled;
};

constexpr GroupControl GroupControls[] = {
    {"ColI", MbrControlKind::Image, 4, 16, ColourKeySize, ColourKeySize, "", MbrLook::Plain, true},
    {"ActiveL", MbrControlKind::Label, 4, 28, 0, 0, "Active", MbrLook::Red, false},
    {"DirtyL", MbrControlKind::Label, 4, 44, 0, 0, "Dirty", MbrLook::Red, false},
    {"FSNL", MbrControlKind::Label, 40, 12, 0, 0, "Filesystem:", MbrLook::Plain, true},
    {"FSL", MbrControlKind::Label, 112, 12, 0, 0, "...", MbrLook::Blue, true},
    {"VolumeLabelNL", MbrControlKind::Label, 40, 28, 0, 0, "Volume Label:", MbrLook::Plain, true},
    {"DosLabelL", MbrControlKind::Label, 112, 28, 0, 0, "...", MbrLook::Blue, true},
    {"VolumeLabelL", MbrControlKind::Label, 128, 28, 0, 0, "...", MbrLook::Blue, true},
    {"SerialNL", MbrControlKind::Label, 40, 44, 0, 0, "Serial Number:", MbrLook::Plain, true},
    {"SerialL", MbrControlKind::Label, 112, 44, 0, 0, "...", MbrLook::Plain, true},
    {"ClusterSizeNL", MbrControlKind::Label, 220, 12, 0, 0, "Cluster Size:", MbrLook::Plain, true},
    {"ClusterSizeL", MbrControlKind::Label, 292, 12, 0, 0, "...", MbrLook::Plain, true},
    {"StartNL", MbrControlKind::Label, 220, 28, 0, 0, "Start LBA:", MbrLook::Plain, true},
    {"StartL", MbrControlKind::Label, 292, 28, 0, 0, "...", MbrLook::Plain, true},
    {"CountNL", MbrControlKind::Label, 220, 44, 0, 0, "Sectors Count:", MbrLook::Plain, true},
    {"CountL", MbrControlKind::Label, 292, 44, 0, 0, "...", MbrLook::Plain, true},
    {"VolumeL", MbrControlKind::Label, 364, 44, 0, 0, "...", MbrLook::Blue, true},
};

constexpr int GroupTops[PartitionSlots] = {4, 68, 132, 196};
constexpr int GroupLeft = 4;
constexpr int GroupWidth = 409;
constexpr int GroupHeight = 65;

std::string GroupPrefix(int group) {
    return "Part" + std::to_string(group);
}

bool IsLetter(char c) {
    return c >= 'A' && c <= 'Z';
}

void Fill(MbrBitmap& bitmap, int64_t left, int64_t top, int64_t right, int64_t bottom,
          uint32_t color) {
    // Clip to the image, so no value, however large, reaches outside it.
    left = std::max<int64_t>(left, 0);
    top = std::max<int64_t>(top, 0);
    right = std::min<int64_t>(right, bitmap.Width);
    bottom = std::min<int64_t>(bottom, bitmap.Height);
    for (int64_t y = top; y < bottom; ++y)
        for (int64_t x = left; x < right; ++x)
            bitmap.Pixels[static_cast<size_t>(y * bitmap.Width + x)] = color;
}

// A pen-and-brush rectangle from (left, top) to (right, bottom): the outline
// on columns left..right-1 and rows top..bottom-1, the brush inside.
void Rectangle(MbrBitmap& bitmap, int left, int top, int right, int bottom, uint32_t pen,
               uint32_t brush) {
    Fill(bitmap, left, top, right, bottom, pen);
    Fill(bitmap, left + 1, top + 1, right - 1, bottom - 1, brush);
}

MbrBitmap WhiteBitmap(int width, int height) {
    MbrBitmap bitmap;
    bitmap.Width = std::max(width, 0);
    bitmap.Height = std::max(height, 0);
    bitmap.Pixels.assign(static_cast<size_t>(bitmap.Width) * static_cast<size_t>(bitmap.Height),
                         MbrWhite);
    return bitmap;
}

} // namespace

std::vector<MbrControl> MbrFormControls() {
    std::vector<MbrControl> controls;
    for (int group = 1; group <= PartitionSlots; ++group) {
        const std::string box = GroupPrefix(group) + "GB";
        controls.push_back({box, "", MbrControlKind::GroupBox, GroupLeft, GroupTops[group - 1],
                            GroupWidth, GroupHeight, "Partition " + std::to_string(group),
                            MbrLook::Plain, true, false});
        for (const auto& c : GroupControls)
            controls.push_back({GroupPrefix(group) + c.Suffix, box, c.Kind, c.Left, c.Top, c.Width,
                                c.Height, c.Caption, c.Look, c.Enabled,
                                c.Kind == MbrControlKind::Image});
    }
    controls.push_back({"PartImage", "", MbrControlKind::Image, 4, 268, PartImageWidth,
                        PartImageHeight, "", MbrLook::Plain, true, false});
    controls.push_back({"PartVolumeIDNL", "", MbrControlKind::Label, 4, 296, 0, 0,
                        "Volume ID:", MbrLook::Plain, true, false});
    controls.push_back({"PartVolumeIDL", "", MbrControlKind::Label, 60, 296, 0, 0, NotShownText,
                        MbrLook::Plain, true, false});
    controls.push_back({"PartSignatureNL", "", MbrControlKind::Label, 4, 312, 0, 0,
                        "Signature:", MbrLook::Plain, true, false});
    controls.push_back({"PartSignatureL", "", MbrControlKind::Label, 60, 312, 0, 0, NotShownText,
                        MbrLook::Plain, true, false});
    return controls;
}

std::vector<MbrControl> GptFormControls() {
    return {
        {"GptCaptionL", "", MbrControlKind::Label, 4, 330, 0, 0, NotShownText, MbrLook::Blue, true,
         false},
        {"GptNotesL", "", MbrControlKind::Label, 4, 344, PartImageWidth, 36, "", MbrLook::Red,
         true, false},
        {"GptList", "", MbrControlKind::List, 4, 382, PartImageWidth, 122, "", MbrLook::Plain, true,
         false},
    };
}

std::vector<std::string> GptListColumns() {
    return {"#",           "Type",          "Name",        "First LBA", "Last LBA",
            "Size",        "Attributes",    "File System", "Label",     "Serial / UUID",
            "Unique GUID", "Type GUID",     "Mounted On"};
}

std::string ClusterSizeText(uint32_t clusterSize) {
    if (clusterSize >= 2)
        return std::to_string(clusterSize / 2) + " K";
    return std::to_string(clusterSize * 512) + " B";
}

PartitionGroup FillPartitionGroup(const TPartition& p) {
    PartitionGroup g;
    g.ActiveLEnabled = p.Active;
    g.FSL = p.FS + p.FSVersion;
    if (p.Count != 0) {
        g.StartL = std::to_string(p.Start);
        g.CountL = std::to_string(p.Count);
        g.VolumeL = std::to_string(p.Volume) + " GB";
        g.DirtyLEnabled = p.Dirty;
        g.DosLabelL = IsLetter(p.DosLetter) ? std::string(1, p.DosLetter) + ":" : "";
        for (const auto& point : p.MountPoints)
            g.DosLabelLHint += (g.DosLabelLHint.empty() ? "" : "\n") + point;
    } else {
        g.StartL = g.CountL = g.VolumeL = g.DosLabelL = NotShownText;
        g.DirtyLEnabled = false;
    }
    if (p.FS == NtfsName || p.FS.starts_with("FAT")) {
        g.SerialL = p.Serial;
        g.ClusterSizeL = ClusterSizeText(p.ClusterSize);
        g.VolumeLabelL = p.VolumeLabel;
    } else {
        g.SerialL = g.ClusterSizeL = g.VolumeLabelL = NotShownText;
    }
    return g;
}

std::vector<std::pair<std::string, std::string>> GroupLabelTexts(int group,
                                                                 const PartitionGroup& g) {
    const std::string n = GroupPrefix(group);
    return {{n + "FSL", g.FSL},
            {n + "DosLabelL", g.DosLabelL},
            {n + "VolumeLabelL", g.VolumeLabelL},
            {n + "SerialL", g.SerialL},
            {n + "ClusterSizeL", g.ClusterSizeL},
            {n + "StartL", g.StartL},
            {n + "CountL", g.CountL},
            {n + "VolumeL", g.VolumeL}};
}

std::vector<std::pair<std::string, bool>> GroupLabelStates(int group, const PartitionGroup& g) {
    const std::string n = GroupPrefix(group);
    return {{n + "ActiveL", g.ActiveLEnabled}, {n + "DirtyL", g.DirtyLEnabled}};
}

PartitionGroup FillGptGroup(const GptPartition& p) {
    TPartition shown;
    shown.FS = !p.FS.empty()              ? p.FS
               : p.TypeName == p.TypeGuid ? UnknownPartitionName
                                          : p.TypeName;
    shown.FSVersion = p.FSVersion;
    shown.Active = (p.Attributes & GptAttributeLegacyBootable) != 0;
    shown.Serial = p.Serial;
    shown.ClusterSize = p.ClusterSize;
    shown.VolumeLabel = p.VolumeLabel;
    shown.Dirty = p.Dirty;
    shown.MountPoints = p.MountPoints;
    // Start and count may need 64 bits: the texts are written here.
    shown.Count = p.Sectors() != 0 ? 1 : 0;
    PartitionGroup g = FillPartitionGroup(shown);
    if (p.Sectors() != 0) {
        g.StartL = std::to_string(p.FirstLba);
        g.CountL = std::to_string(p.Sectors());
        g.VolumeL = std::to_string(p.Sectors() >> 21) + " GB";
    }
    if (p.FS == "XFS" || p.FS == "Btrfs" || p.FS.starts_with("ext"))
        g.VolumeLabelL = p.VolumeLabel;
    return g;
}

std::string SizeText(uint64_t sectors) {
    static constexpr const char* Units[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    if (sectors < 2)
        return std::to_string(sectors * 512) + " B";
    double value = static_cast<double>(sectors) / 2; // KiB
    size_t unit = 0;
    while (value >= 1024 && unit + 1 < std::size(Units)) {
        value /= 1024;
        ++unit;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", value);
    std::string text = buf;
    if (text.ends_with(".0"))
        text.resize(text.size() - 2);
    return text + " " + Units[unit];
}

double RoundHalfEven(double x) {
    const double lower = std::floor(x);
    const double fraction = x - lower;
    if (fraction < 0.5)
        return lower;
    if (fraction > 0.5)
        return lower + 1;
    return std::fmod(lower, 2.0) == 0 ? lower : lower + 1;
}

std::optional<PartitionBars> ComputePartitionBars(const PartitionTable& table, int64_t sectors,
                                                  int width, int height) {
    if (sectors <= 0)
        return std::nullopt;
    const double total = static_cast<double>(sectors);
    const double span = width - 2;
    // Start and Count are below 2^32 each, so with at least one sector the
    // products stay far inside int64_t.
    auto column = [&](uint64_t sector) {
        return static_cast<int64_t>(RoundHalfEven(static_cast<double>(sector) / total * span));
    };
    PartitionBars bars;
    for (size_t slot = 0; slot < PartitionSlots; ++slot) {
        const TPartition& p = table.Partitions[slot];
        bars[slot] = {column(p.Start) + 1, 1, column(uint64_t{p.Start} + p.Count), height - 2,
                      PartitionColors[slot]};
    }
    return bars;
}

std::optional<std::vector<PartitionBar>> ComputeGptBars(
    const std::vector<GptPartition>& partitions, int64_t sectors, int width, int height) {
    if (sectors <= 0)
        return std::nullopt;
    const double total = static_cast<double>(sectors);
    const double span = width - 2;
    // An entry may name any 64-bit sector: the column is clipped before it
    // becomes an integer.
    auto column = [&](double sector) {
        const double x = RoundHalfEven(sector / total * span);
        return static_cast<int64_t>(std::clamp(x, -1.0, span + 2));
    };
    std::vector<PartitionBar> bars;
    for (size_t i = 0; i < partitions.size(); ++i) {
        const GptPartition& p = partitions[i];
        PartitionBar bar; // empty for an entry that ends before it starts
        if (p.Sectors() != 0)
            bar = {column(static_cast<double>(p.FirstLba)) + 1, 1,
                   column(static_cast<double>(p.LastLba) + 1), height - 2, 0};
        bar.Color = PartitionColors[i % PartitionSlots];
        bars.push_back(bar);
    }
    return bars;
}

GptView GptViewFor(const GptDisk& gpt, int64_t sectors) {
    GptView view;
    view.Used = gpt.Used();
    const size_t n = gpt.Partitions.size();
    const std::string count = std::to_string(n) + (n == 1 ? " partition" : " partitions");
    switch (gpt.Source) {
    case GptSource::Primary:
        view.CaptionL = "GPT: " + count;
        break;
    case GptSource::Backup:
        view.CaptionL =
            "GPT: " + count + ", from the backup header at LBA " + std::to_string(gpt.HeaderLba);
        break;
    case GptSource::Damaged:
        view.CaptionL = "GPT damaged";
        break;
    }
    for (const auto& note : gpt.Notes)
        view.NotesL += (view.NotesL.empty() ? "" : "\n") + note;
    if (!view.Used)
        return view;
    for (const GptPartition& p : gpt.Partitions) {
        std::string mounted;
        for (const auto& point : p.MountPoints)
            mounted += (mounted.empty() ? "" : ", ") + point;
        view.Rows.push_back({std::to_string(p.Number), p.TypeName, p.Name,
                             std::to_string(p.FirstLba),
                             std::to_string(p.LastLba) +
                                 (p.PastDiskEnd ? " (beyond the disk's end)" : ""),
                             SizeText(p.Sectors()), GptAttributesText(p.Attributes),
                             p.FS + p.FSVersion, p.VolumeLabel, p.Uuid.empty() ? p.Serial : p.Uuid,
                             p.UniqueGuid, p.TypeGuid, mounted});
    }
    view.Bars = ComputeGptBars(gpt.Partitions, sectors);
    return view;
}

MbrWindowState MbrWindowFor(const PartitionTable& table, int64_t sectors) {
    MbrWindowState state;
    state.PartVolumeIDL = table.VolumeID;
    state.PartSignatureL = table.Signature;
    for (size_t slot = 0; slot < PartitionSlots; ++slot)
        state.Groups[slot] = FillPartitionGroup(table.Partitions[slot]);
    state.Bars = ComputePartitionBars(table, sectors);
    if (!table.Gpt)
        return state;
    state.Gpt = GptViewFor(*table.Gpt, sectors);
    if (!state.Gpt->Used)
        return state; // the protective MBR, as for any disk
    const auto& partitions = table.Gpt->Partitions;
    state.PartVolumeIDL = table.Gpt->DiskGuid;
    TPartition empty;
    empty.FS = EmptyPartitionName;
    for (size_t slot = 0; slot < PartitionSlots; ++slot) {
        const bool used = slot < partitions.size();
        state.Groups[slot] = used ? FillGptGroup(partitions[slot]) : FillPartitionGroup(empty);
        if (state.Bars)
            (*state.Bars)[slot] = used && state.Gpt->Bars ? (*state.Gpt->Bars)[slot]
                                                          : PartitionBar{1, 1, 0, 0,
                                                                         PartitionColors[slot]};
    }
    return state;
}

MbrBitmap DrawPartImage(std::span<const PartitionBar> bars, int width, int height) {
    MbrBitmap image = WhiteBitmap(width, height);
    Rectangle(image, 0, 0, width - 1, height - 1, MbrBlack, MbrWhite);
    for (const auto& bar : bars)
        Fill(image, bar.Left, bar.Top, bar.Right, bar.Bottom, bar.Color);
    return image;
}

MbrBitmap DrawPartImage(const std::optional<PartitionBars>& bars, int width, int height) {
    if (!bars)
        return DrawPartImage(std::span<const PartitionBar>{}, width, height);
    return DrawPartImage(std::span<const PartitionBar>(*bars), width, height);
}

MbrBitmap DrawPartImage(const MbrWindowState& state) {
    if (state.Gpt && state.Gpt->Used) {
        if (!state.Gpt->Bars)
            return DrawPartImage(std::span<const PartitionBar>{});
        return DrawPartImage(std::span<const PartitionBar>(*state.Gpt->Bars));
    }
    return DrawPartImage(state.Bars);
}

MbrBitmap DrawColourKey(int slot) {
    MbrBitmap key = WhiteBitmap(ColourKeySize, ColourKeySize);
    if (slot < 1 || slot > PartitionSlots)
        return key;
    Rectangle(key, 0, 0, ColourKeySize - 1, ColourKeySize - 1, MbrBlack, MbrWhite);
    Fill(key, 1, 1, ColourKeySize - 2, ColourKeySize - 2, PartitionColors[slot - 1]);
    return key;
}

} // namespace quorvane
