// The decisions behind a tray temperature icon.
#include <gtest/gtest.h>

#include "monitor/TextIcon.h"

namespace quorvane {
namespace {

TEST(TextIcon, BackgroundIsInvertedOnlyWhenItWouldHideTheText) {
    EXPECT_EQ(TextIconBackground(0x00000000, 0x0000FFFF), 0x00000000u);
    // Yellow on yellow becomes yellow on blue.
    EXPECT_EQ(TextIconBackground(0x0000FFFF, 0x0000FFFF), 0x00FF0000u);
    EXPECT_EQ(TextIconBackground(ColorNone, 0x00FFFFFF), 0x00000000u);
    EXPECT_EQ(TextIconBackground(ColorNone, 0x00123456), 0x00EDCBA9u);
    EXPECT_TRUE(TextIconTransparent(ColorNone));
    EXPECT_FALSE(TextIconTransparent(0x00000000));
}

// Fixed-pitch measure: 6 pixels a character, 11 high.
TextExtent Fixed(const std::string& text) {
    return {static_cast<int>(text.size()) * 6, 11};
}

TEST(TextIcon, OneLineIsCentredOn15AndTruncatedTowardZero) {
    EXPECT_EQ(LayoutTextIcon("38", Fixed), (std::vector<TextIconLine>{{"38", 1, 2}}));
    EXPECT_EQ(LayoutTextIcon("4", Fixed), (std::vector<TextIconLine>{{"4", 4, 2}}));
    // Three characters (18 wide): (15 - 18) / 2 = -1, cut off at the left.
    EXPECT_EQ(LayoutTextIcon("100", Fixed), (std::vector<TextIconLine>{{"100", -1, 2}}));
    // 16 wide: -1 / 2 truncates to 0, not -1.
    const auto sixteen = [](const std::string&) { return TextExtent{16, 16}; };
    EXPECT_EQ(LayoutTextIcon("x", sixteen), (std::vector<TextIconLine>{{"x", 0, 0}}));
    EXPECT_EQ(LayoutTextIcon("38", Fixed, {2, -1, 5}), (std::vector<TextIconLine>{{"38", 3, 1}}));
}

TEST(TextIcon, LinesSplitAtCarriageReturnsShareTheBlockHeight) {
    // Measure height by the text: the part from the first CR on is 5 high.
    const auto measure = [](const std::string& text) {
        return TextExtent{static_cast<int>(text.size()) * 3, text.front() == '\r' ? 5 : 7};
    };
    EXPECT_EQ(LayoutTextIcon("12\r3", measure),
              (std::vector<TextIconLine>{{"12", 4, 2}, {"3", 6, 7}}));
    // LineDistance widens the lines; OffsetY moves the block.
    EXPECT_EQ(LayoutTextIcon("a\rb\rc", measure, {0, 1, 1}),
              (std::vector<TextIconLine>{{"a", 6, 0}, {"b", 6, 6}, {"c", 6, 12}}));
    // A trailing CR gives an empty last line.
    EXPECT_EQ(LayoutTextIcon("7\r", measure).size(), 2u);
}

TEST(TextIcon, TooltipIsCutTo127AndSaysWhenDrivesAreSimulated) {
    const std::string longHint(200, 'M');
    EXPECT_EQ(TrayTooltip(longHint, true, false), std::string(127, 'M'));
    EXPECT_EQ(TrayTooltip("WDC WD20EARS", false, false), "");
    EXPECT_EQ(TrayTooltip("WDC WD20EARS", true, true), "WDC WD20EARS\n(simulated drive)");
    EXPECT_EQ(TrayTooltip("", true, true), "(simulated drive)");
    EXPECT_EQ(MainWindowTitle(false), "Quorvane");
    EXPECT_NE(MainWindowTitle(true).find("simulated"), std::string::npos);
}

TEST(TextIcon, BalloonTextsAreCutAndTheirLineBreaksKept) {
    EXPECT_EQ(BalloonTitle(std::string(80, 'T')).size(), 63u);
    EXPECT_EQ(BalloonText(std::string(300, 'x')).size(), 255u);
    EXPECT_EQ(BalloonText("A 149 GB\rB 1863 GB\r"), "A 149 GB\nB 1863 GB\n");
}

TEST(TextIcon, AtLeastOneIconStays) {
    // Box 3 was just unchecked and is the only one that was on: checked again.
    EXPECT_TRUE(TrayCheckBoxState({false, false, false, false, false, false}, 3));
    // Another box is on: the uncheck stands.
    EXPECT_FALSE(TrayCheckBoxState({false, false, false, false, false, true}, 3));
    // Checking is always allowed.
    EXPECT_TRUE(TrayCheckBoxState({false, false, true, false, false, false}, 3));
    EXPECT_FALSE(TrayCheckBoxState({true, true, true, true, true, true}, 0));
    EXPECT_FALSE(TrayCheckBoxState({true, true, true, true, true, true}, 7));
}

} // namespace
} // namespace quorvane
