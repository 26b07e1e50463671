#include "monitor/TextIcon.h"

namespace quorvane {

uint32_t TextIconBackground(uint32_t color, uint32_t fontColor) {
    if (color == ColorNone || color == fontColor)
        return (fontColor ^ 0x00FFFFFFu) & 0x00FFFFFFu;
    return color;
}

std::vector<TextIconLine> LayoutTextIcon(const std::string& text, const MeasureText& measure,
                                         const TextIconOffsets& offsets) {
    const size_t firstCr = text.find('\r');
    if (firstCr == std::string::npos) {
        const TextExtent e = measure(text);
        return {{text, (TextIconCentre - e.Width) / 2 + offsets.OffsetX,
                 (TextIconCentre - e.Height) / 2 + offsets.OffsetY}};
    }

    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        const size_t cr = text.find('\r', start);
        lines.push_back(text.substr(start, cr == std::string::npos ? cr : cr - start));
        if (cr == std::string::npos)
            break;
        start = cr + 1;
    }
    const int lineHeight = measure(text.substr(firstCr)).Height + offsets.LineDistance;
    const int top =
        (TextIconCentre - static_cast<int>(lines.size()) * lineHeight) / 2 + offsets.OffsetY;
    std::vector<TextIconLine> placed;
    for (size_t i = 0; i < lines.size(); ++i)
        placed.push_back({lines[i],
                          (TextIconCentre - measure(lines[i]).Width) / 2 + offsets.OffsetX,
                          top + static_cast<int>(i) * lineHeight});
    return placed;
}

std::string TrayTooltip(const std::string& hint, bool showHint, bool simulated) {
    std::string tip = showHint ? hint.substr(0, TrayHintMax) : std::string();
    if (simulated)
        tip += tip.empty() ? SimulatedTrayNote : std::string("\n") + SimulatedTrayNote;
    return tip;
}

std::string BalloonTitle(const std::string& title) {
    return title.substr(0, BalloonTitleMax);
}
std::string BalloonText(const std::string& text) {
    std::string cut = text.substr(0, BalloonTextMax);
    for (char& c : cut)
        if (c == '\r')
            c = '\n';
    return cut;
}

std::string MainWindowTitle(bool simulated) {
    return simulated ? std::string(ProgramTitle) + " (simulated drives)" : ProgramTitle;
}

bool TrayCheckBoxState(const std::array<bool, 6>& checked, int slot) {
    if (slot < 1 || slot > 6)
        return false;
    const bool self = checked[static_cast<size_t>(slot - 1)];
    if (self)
        return true;
    for (int other = 1; other <= 6; ++other)
        if (other != slot && checked[static_cast<size_t>(other - 1)])
            return false;
    return true;
}

} // namespace quorvane
