// Everything the MBR window (TMBRForm) shows: its layout, the texts and
// states of the four partition groups, the bar diagram and the colour keys.
// The window copies these into its controls; it decides nothing itself.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "mbr/PartitionTable.h"

namespace quorvane {

// Colours are 0x00BBGGRR.
inline constexpr uint32_t MbrBlack = 0x000000;
inline constexpr uint32_t MbrWhite = 0xFFFFFF;
// Slots 1..4: red, yellow, green, blue.
inline constexpr std::array<uint32_t, PartitionSlots> PartitionColors = {0x0000FF, 0x00FFFF,
                                                                         0x008000, 0xFF0000};

// ---- Layout -------------------------------------------------------------

inline constexpr const char* MbrFormCaption = "MBR";
inline constexpr int MbrFormClientWidth = 417;
inline constexpr int MbrFormClientHeight = 332;
inline constexpr int MbrFormLeft = 355;
inline constexpr int MbrFormTop = 208;
inline constexpr int PartImageWidth = 409;
inline constexpr int PartImageHeight = 20;
inline constexpr int ColourKeySize = 10;

enum class MbrControlKind { GroupBox, Label, Image, List };
// Plain text, blue text, or red text (the Active and Dirty indicators).
enum class MbrLook { Plain, Blue, Red };

struct MbrControl {
    std::string Name;   // the objectName, e.g. "Part2FSL"
    std::string Parent; // a group box's name, or empty for the window itself
    MbrControlKind Kind = MbrControlKind::Label;
    int Left = 0, Top = 0;     // relative to the parent's client area
    int Width = 0, Height = 0; // 0 for a label that sizes itself
    std::string Caption;       // design caption
    MbrLook Look = MbrLook::Plain;
    bool Enabled = true;     // at design
    bool HandCursor = false; // the colour keys
};

// Every control of the window: the four groups with their controls, then
// the bar diagram and the Volume ID and Signature lines.
std::vector<MbrControl> MbrFormControls();

// Below them, shown for a GPT disk only, in a window that much taller: the
// "GPT: n partitions" caption, the notes on what was wrong with the table,
// and the list of every partition (it scrolls when they do not fit).
inline constexpr int GptFormClientHeight = 508;
std::vector<MbrControl> GptFormControls();
// The list's column titles, in the order of a row's cells.
std::vector<std::string> GptListColumns();

// ---- One reading ----------------------------------------------------------

// The cluster size as the window writes it: "4 K" for 8 sectors, "512 B"
// for one, "0 B" for none.
std::string ClusterSizeText(uint32_t clusterSize);

// The state of group N's controls after a reading. Field names are the
// control names without their "PartN" prefix.
struct PartitionGroup {
    bool ActiveLEnabled = false;
    bool DirtyLEnabled = false; // disabled for every empty slot
    std::string FSL;
    std::string DosLabelL;
    std::string DosLabelLHint; // tooltip: the mount points, one per line
    std::string VolumeLabelL;
    std::string SerialL;
    std::string ClusterSizeL;
    std::string StartL;
    std::string CountL;
    std::string VolumeL;
};

PartitionGroup FillPartitionGroup(const TPartition& partition);

// Group N's captions by control name ("Part2FSL" -> "NTFS 3.1"), in the
// order of the layout: FSL, DosLabelL, VolumeLabelL, SerialL, ClusterSizeL,
// StartL, CountL, VolumeL.
std::vector<std::pair<std::string, std::string>> GroupLabelTexts(int group,
                                                                 const PartitionGroup& texts);
// Group N's indicator states by control name: ActiveL, DirtyL.
std::vector<std::pair<std::string, bool>> GroupLabelStates(int group, const PartitionGroup& texts);

// One bar of the diagram as a rectangle fill: columns Left..Right-1 and rows
// Top..Bottom-1 of PartImage. Left > Right - 1 is an empty bar. The values
// are what the reading computes; drawing clips them to the image.
struct PartitionBar {
    int64_t Left = 1, Top = 1, Right = 0, Bottom = 0;
    uint32_t Color = 0;
    bool operator==(const PartitionBar&) const = default;
};
using PartitionBars = std::array<PartitionBar, PartitionSlots>;

// x rounded to the nearest integer, halves to the even neighbour.
double RoundHalfEven(double x);

// The four bars for a drive of `sectors` user-addressable sectors:
// left = round(Start / T x S) + 1, right = round((Start + Count) / T x S),
// S = width - 2, division first, Start + Count without wrapping. Nothing when
// sectors is 0 or less: then no bar is drawn.
std::optional<PartitionBars> ComputePartitionBars(const PartitionTable& table, int64_t sectors,
                                                  int width = PartImageWidth,
                                                  int height = PartImageHeight);

// A group showing a GPT partition: the type's name when no file system
// was recognised ("..." for a type without a name), the legacy BIOS
// bootable attribute as Active; serial and cluster size for FAT and NTFS
// only (the UUIDs of the others are in the list).
PartitionGroup FillGptGroup(const GptPartition& partition);

// "512 B", "100 MiB", "1.5 GiB": the largest binary unit with at least 1,
// one decimal unless it is 0.
std::string SizeText(uint64_t sectors);

// The bars of every GPT partition, coloured in turn as the four groups are
// (red, yellow, green, blue, red...): left = round(First / T x S) + 1,
// right = round((Last + 1) / T x S), clipped to a column beyond either end.
// Nothing when sectors is 0 or less.
std::optional<std::vector<PartitionBar>> ComputeGptBars(
    const std::vector<GptPartition>& partitions, int64_t sectors, int width = PartImageWidth,
    int height = PartImageHeight);

// The window's GPT part.
struct GptView {
    bool Used = false;    // the groups, list and bars show the GPT
    std::string CaptionL; // "GPT: 5 partitions", "GPT damaged"
    std::string NotesL;   // one note a line
    std::vector<std::vector<std::string>> Rows; // one per partition, cells as GptListColumns
    std::optional<std::vector<PartitionBar>> Bars;
};

GptView GptViewFor(const GptDisk& gpt, int64_t sectors);

// What the window shows after a reading. For a GPT disk whose table could
// be read, the groups show its first four partitions, Bars their bars and
// the Volume ID the disk's GUID; for a damaged one the protective MBR.
struct MbrWindowState {
    std::string PartVolumeIDL;
    std::string PartSignatureL;
    std::array<PartitionGroup, PartitionSlots> Groups{};
    std::optional<PartitionBars> Bars;
    std::optional<GptView> Gpt; // only for a disk with a protective entry
};

MbrWindowState MbrWindowFor(const PartitionTable& table, int64_t sectors);

// ---- Pictures ---------------------------------------------------------------

// Pixels in rows, top row first, each 0x00BBGGRR.
struct MbrBitmap {
    int Width = 0, Height = 0;
    std::vector<uint32_t> Pixels;
    uint32_t At(int x, int y) const {
        return Pixels[static_cast<size_t>(y) * static_cast<size_t>(Width) + static_cast<size_t>(x)];
    }
};

// The bar diagram of a reading: a black frame on columns 0..W-2 and rows
// 0..H-2, white inside and in the last column and row, then the bars of
// slots 1 to 4 in that order (a later slot paints over an earlier one),
// clipped to the image. The inside is white again for every reading, so the
// bars of a previous drive never remain. Without bars it is the empty frame.
MbrBitmap DrawPartImage(const std::optional<PartitionBars>& bars, int width = PartImageWidth,
                        int height = PartImageHeight);
MbrBitmap DrawPartImage(std::span<const PartitionBar> bars, int width = PartImageWidth,
                        int height = PartImageHeight);
// The diagram of a reading: every GPT partition's bar when the GPT is
// shown, the four slots' otherwise.
MbrBitmap DrawPartImage(const MbrWindowState& state);

// The 10 x 10 colour key of slot 1..4: a black outline on pixels 0..8, the
// slot's colour on pixels 1..7, white in column and row 9.
MbrBitmap DrawColourKey(int slot);

} // namespace quorvane
