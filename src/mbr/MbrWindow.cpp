#include "mbr/MbrWindow.h"

#include <algorithm>
#include <cmath>

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

MbrWindowState MbrWindowFor(const PartitionTable& table, int64_t sectors) {
    MbrWindowState state;
    state.PartVolumeIDL = table.VolumeID;
    state.PartSignatureL = table.Signature;
    for (size_t slot = 0; slot < PartitionSlots; ++slot)
        state.Groups[slot] = FillPartitionGroup(table.Partitions[slot]);
    state.Bars = ComputePartitionBars(table, sectors);
    return state;
}

MbrBitmap DrawPartImage(const std::optional<PartitionBars>& bars, int width, int height) {
    MbrBitmap image = WhiteBitmap(width, height);
    Rectangle(image, 0, 0, width - 1, height - 1, MbrBlack, MbrWhite);
    if (bars)
        for (const auto& bar : *bars)
            Fill(image, bar.Left, bar.Top, bar.Right, bar.Bottom, bar.Color);
    return image;
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
