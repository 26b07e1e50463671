// The decisions behind a tray temperature icon: its background, where its
// text lines go inside the 16 x 16 image, and the texts handed to the tray.
// The drawing itself is the desktop program's.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quorvane {

inline constexpr int TextIconSize = 16;
// Text is centred on 15, not 16: (15 - width) / 2, truncated toward zero.
inline constexpr int TextIconCentre = 15;
// The colour value that stands for "no colour": a transparent background.
inline constexpr uint32_t ColorNone = 0x1FFFFFFF;

inline constexpr uint32_t TextIconDefaultFontColor = 0x0000FFFF;   // yellow
inline constexpr uint32_t TextIconDefaultColor = 0x00000000;       // black
inline constexpr uint32_t TextIconDefaultBorderColor = 0x0000FF00; // lime
inline constexpr const char* TextIconDefaultText = "0";

// The colour the image is filled with: Color, except when it is none or the
// same as the font colour; then the font colour with its 24 colour bits
// inverted, so the text stays readable.
uint32_t TextIconBackground(uint32_t color, uint32_t fontColor);

// The image is made transparent (pixels of the background colour vanish)
// only when Color is none; otherwise it is fully opaque.
inline bool TextIconTransparent(uint32_t color) {
    return color == ColorNone;
}

struct TextIconOffsets {
    int OffsetX = 0;
    int OffsetY = 0;
    int LineDistance = 0;
    bool operator==(const TextIconOffsets&) const = default;
};

// Width and height of a text in the icon's font.
struct TextExtent {
    int Width = 0;
    int Height = 0;
};
using MeasureText = std::function<TextExtent(const std::string&)>;

// One line of text and the top-left corner it is drawn at.
struct TextIconLine {
    std::string Text;
    int X = 0;
    int Y = 0;
    bool operator==(const TextIconLine&) const = default;
};

// Places the text. Without a carriage return the text is one line centred as
// a whole. With carriage returns it is split into lines of height L = the
// height of the text from the first carriage return on plus LineDistance; the
// block starts at (15 - lines * L) / 2 + OffsetY and each line is centred on
// its own width.
std::vector<TextIconLine> LayoutTextIcon(const std::string& text, const MeasureText& measure,
                                         const TextIconOffsets& offsets = {});

// The tooltip handed to the tray: Hint cut to 127 characters when it is shown,
// else empty. On simulated drives a note says so after the hint.
inline constexpr size_t TrayHintMax = 127;
inline constexpr const char* SimulatedTrayNote = "(simulated drive)";
std::string TrayTooltip(const std::string& hint, bool showHint, bool simulated);

// A balloon's title and text as the tray takes them: at most 63 and 255
// characters. A carriage return, the line break of the drive list, becomes
// a line feed.
inline constexpr size_t BalloonTitleMax = 63;
inline constexpr size_t BalloonTextMax = 255;
std::string BalloonTitle(const std::string& title);
std::string BalloonText(const std::string& text);

// The window title; on simulated drives it says so.
inline constexpr const char* ProgramTitle = "Quorvane";
std::string MainWindowTitle(bool simulated);

// The show check boxes of the six icons: a box that is unchecked while none
// of the other five is checked is checked again, so at least one drive icon
// always stays. Returns the state box `slot` (1..6) ends with.
bool TrayCheckBoxState(const std::array<bool, 6>& checked, int slot);

} // namespace quorvane
