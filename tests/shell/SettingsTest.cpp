// The settings: defaults of a first start, the settings file and the autostart entry.
#include <gtest/gtest.h>

#include <stdexcept>

#include "shell/Settings.h"

namespace quorvane {
namespace {

TEST(Settings, AFirstStartMonitorsEveryFifteenSecondsWithYellowOnBlackIcons) {
    const Settings s;
    EXPECT_TRUE(s.SMARTMonitoring);
    EXPECT_EQ(s.RefreshInterval, 15);
    for (int slot = 1; slot <= SettingsSlots; ++slot) {
        EXPECT_TRUE(s.TraySlot(slot).TrayIcon) << slot;
        EXPECT_EQ(s.TraySlot(slot).TrayFontColor, 0x0000FFFFu) << slot;
        EXPECT_EQ(s.TraySlot(slot).TrayBackColor, 0u) << slot;
    }
    EXPECT_FALSE(s.SMTPReports);
    EXPECT_FALSE(s.SMTPWarnings);
    EXPECT_FALSE(s.SMTPAuthentication);
    EXPECT_EQ(s.SMTPPort, "25");
    EXPECT_EQ(s.SMTPPassword, "");
    EXPECT_EQ(s.SMTPDelay, 20);
    EXPECT_FALSE(s.AlertSound);
    EXPECT_FALSE(s.BalloonHints);
    EXPECT_EQ(s.SMTPWarningRepeat, 60);
    EXPECT_EQ(s.SMTPSecurity, SMTPSecurityMode::Auto);
    EXPECT_FALSE(s.LetDrivesSleep);
    EXPECT_FALSE(s.AutoRun);
}

TEST(Settings, TraySlotsAreNumberedOneToSix) {
    Settings s;
    s.TraySlot(6).TrayBackColor = 0x00112233;
    EXPECT_EQ(s.Tray[5].TrayBackColor, 0x00112233u);
    EXPECT_THROW(s.TraySlot(0), std::out_of_range);
    EXPECT_THROW(s.TraySlot(7), std::out_of_range);
}

} // namespace
} // namespace quorvane
