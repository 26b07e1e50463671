// The pixels of a rendered temperature icon.
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <gtest/gtest.h>

#include "GuiTestSupport.h"
#include "gui/Fonts.h"
#include "gui/TextTrayIcon.h"

namespace quorvane {
namespace {

using test::Rgb;

TextIconLook Look(const QString& text, uint32_t font, uint32_t back, uint32_t border) {
    TextIconLook look;
    look.Text = text;
    look.Font = TrayIconFont();
    look.FontColor = font;
    look.Color = back;
    look.BorderColor = border;
    return look;
}

int CountPixels(const QImage& image, const QColor& color, int inset) {
    int n = 0;
    for (int y = inset; y < 16 - inset; ++y)
        for (int x = inset; x < 16 - inset; ++x)
            n += image.pixelColor(x, y) == color;
    return n;
}

TEST(TextTrayIcon, FrameBackgroundAndDigitsAreWhereTheyBelong) {
    const QImage image = RenderTextIcon(Look("38", 0x00FFFFFF, 0x00000000, 0x000000FF));
    ASSERT_EQ(image.size(), QSize(16, 16));
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(image.pixelColor(i, 0), Rgb(0x000000FF)) << i;
        EXPECT_EQ(image.pixelColor(i, 15), Rgb(0x000000FF)) << i;
        EXPECT_EQ(image.pixelColor(0, i), Rgb(0x000000FF)) << i;
        EXPECT_EQ(image.pixelColor(15, i), Rgb(0x000000FF)) << i;
    }
    // Opaque everywhere, white digits on black inside the frame, only those
    // two colours (no smoothing), and the digits stay off the frame.
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(image.pixelColor(x, y).alpha(), 255);
    const int white = CountPixels(image, Qt::white, 1);
    const int black = CountPixels(image, Qt::black, 1);
    EXPECT_GT(white, 12);
    EXPECT_EQ(white + black, 14 * 14);
    // Both digits: ink on the left and on the right half.
    bool left = false, right = false;
    for (int y = 1; y < 15; ++y) {
        for (int x = 1; x < 8; ++x)
            left |= image.pixelColor(x, y) == Qt::white;
        for (int x = 8; x < 15; ++x)
            right |= image.pixelColor(x, y) == Qt::white;
    }
    EXPECT_TRUE(left);
    EXPECT_TRUE(right);
}

TEST(TextTrayIcon, BackgroundEqualToTheFontColourIsInverted) {
    const QImage image = RenderTextIcon(Look("44", 0x0000FFFF, 0x0000FFFF, 0x0000FF00));
    EXPECT_EQ(image.pixelColor(1, 1), Rgb(0x00FF0000)); // blue behind yellow
    EXPECT_GT(CountPixels(image, Rgb(0x0000FFFF), 1), 8);
}

TEST(TextTrayIcon, OnlyANoneBackgroundIsTransparent) {
    const QImage image = RenderTextIcon(Look("30", 0x00FFFFFF, ColorNone, 0x0000FF00));
    // The inverse of white is black: it vanishes; frame and digits stay.
    EXPECT_EQ(image.pixelColor(1, 1).alpha(), 0);
    EXPECT_EQ(image.pixelColor(0, 0), Rgb(0x0000FF00));
    EXPECT_GT(CountPixels(image, Qt::white, 1), 12);
    int transparent = 0;
    for (int y = 1; y < 15; ++y)
        for (int x = 1; x < 15; ++x)
            transparent += image.pixelColor(x, y).alpha() == 0;
    EXPECT_EQ(transparent + CountPixels(image, Qt::white, 1), 14 * 14);
}

TEST(TextTrayIcon, WithoutBorderTheEdgeIsBackground) {
    TextIconLook look = Look("7", 0x00FFFFFF, 0x00808080, 0x000000FF);
    look.Border = false;
    const QImage image = RenderTextIcon(look);
    EXPECT_EQ(image.pixelColor(0, 0), Rgb(0x00808080));
    EXPECT_EQ(image.pixelColor(15, 15), Rgb(0x00808080));
}

TEST(TextTrayIcon, EveryChangeRendersAgainAndReachesTheTray) {
    TTextTrayIcon icon(nullptr, nullptr);
    EXPECT_EQ(icon.Text(), "0");
    EXPECT_EQ(icon.Image().pixelColor(0, 0), Rgb(0x0000FF00)); // lime frame at creation
    icon.SetBorderColor(0x000000FF);
    EXPECT_EQ(icon.Image().pixelColor(0, 0), Rgb(0x000000FF));
    EXPECT_EQ(icon.Icon().pixmap(16, 16).toImage().pixelColor(0, 0), Rgb(0x000000FF));
    // Larger tray sizes are pixel copies: the frame stays one source pixel wide.
    const QImage big = icon.Icon().pixmap(32, 32).toImage();
    ASSERT_EQ(big.size(), QSize(32, 32));
    EXPECT_EQ(big.pixelColor(1, 1), Rgb(0x000000FF));
    EXPECT_EQ(big.pixelColor(2, 2), Rgb(0));
    const QImage before = icon.Image();
    icon.SetText("47");
    EXPECT_NE(icon.Image(), before);
}

TEST(CoolTrayIcon, HintIsCutAndBalloonsNeedAVisibleIcon) {
    TCoolTrayIcon icon(nullptr, nullptr);
    icon.SetHint(QString(200, 'M'));
    EXPECT_EQ(icon.ToolTip(), QString(127, 'M'));
    icon.SetShowHint(false);
    EXPECT_EQ(icon.ToolTip(), "");

    QSignalSpy balloons(&icon, &TCoolTrayIcon::BalloonHintShow);
    icon.ShowBalloon("Error", "S.M.A.R.T. failure detected!", 10,
                     TCoolTrayIcon::BalloonIcon::Error);
    EXPECT_EQ(balloons.count(), 0);
    icon.SetIconVisible(true);
    icon.ShowBalloon(QString(70, 'T'), QString(300, 'x'), 10,
                     TCoolTrayIcon::BalloonIcon::Information);
    ASSERT_EQ(balloons.count(), 1);
    EXPECT_EQ(balloons[0][0].toString().size(), 63);
    EXPECT_EQ(balloons[0][1].toString().size(), 255);

    // The limits count characters, also those beyond ASCII in the 8-bit texts.
    const QChar eAcute(0xE9);
    icon.SetShowHint(true);
    icon.SetHint(QString(200, eAcute));
    EXPECT_EQ(icon.ToolTip(), QString(127, eAcute));
    icon.ShowBalloon(QString(70, eAcute), QString(300, eAcute), 10,
                     TCoolTrayIcon::BalloonIcon::Information);
    ASSERT_EQ(balloons.count(), 2);
    EXPECT_EQ(balloons[1][0].toString(), QString(63, eAcute));
    EXPECT_EQ(balloons[1][1].toString(), QString(255, eAcute));
}

TEST(CoolTrayIcon, ALeftClickIsOneClickUnlessTheIconIsDisabled) {
    TCoolTrayIcon icon(nullptr, nullptr);
    auto* tray = icon.findChild<QSystemTrayIcon*>();
    ASSERT_NE(tray, nullptr);
    QSignalSpy clicks(&icon, &TCoolTrayIcon::Click);
    emit tray->activated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(clicks.count(), 1);
    // The right button opens the menu; it is no click.
    emit tray->activated(QSystemTrayIcon::Context);
    EXPECT_EQ(clicks.count(), 1);
    // A disabled icon ignores the mouse.
    icon.SetEnabled(false);
    emit tray->activated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(clicks.count(), 1);
}

} // namespace
} // namespace quorvane
