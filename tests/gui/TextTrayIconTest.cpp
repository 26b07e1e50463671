// The pixels of a rendered temperature icon.
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <gtest/gtest.h>

#include <QWidget>

#include "GuiTestSupport.h"
#include "common/RecordingPorts.h"
#include "common/TestDrives.h"
#include "app/Scan.h"
#include "gui/Fonts.h"
#include "gui/TextTrayIcon.h"
#include "gui/TrayBank.h"

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

// The enlargement for bigger trays is Qt's own nearest-neighbour scaling,
// pixel for pixel, at every size the icon carries, also for a transparent
// background and for a source that is not 16 x 16.
TEST(TextTrayIcon, EnlargementsMatchQtsFastScalingAtEverySize) {
    TextIconLook look;
    look.Text = "47";
    look.Font = TrayIconFont();
    QImage distinct(16, 16, QImage::Format_ARGB32);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            distinct.setPixel(x, y, qRgb(x * 16, y * 16, (x + y) * 8));
    TextIconLook clear = look;
    clear.Color = ColorNone;
    for (const QImage& image : {RenderTextIcon(look), RenderTextIcon(clear), distinct,
                                distinct.copy(0, 0, 16, 10)}) {
        for (int size : TextIconTraySizes) {
            const QImage qt = image.scaled(size, size, Qt::IgnoreAspectRatio,
                                           Qt::FastTransformation)
                                  .convertToFormat(QImage::Format_ARGB32);
            EXPECT_EQ(EnlargeTextIcon(image, size), qt) << size << " from " << image.height();
        }
    }
    const QIcon icon = TextIconToIcon(distinct);
    EXPECT_EQ(icon.availableSizes().size(), std::size(TextIconTraySizes));
    EXPECT_EQ(icon.pixmap(22, 22).toImage().convertToFormat(QImage::Format_ARGB32),
              EnlargeTextIcon(distinct, 22));
}

TEST(TextTrayIcon, SettersOnlyMarkAChangeAndOneApplyHandsItOver) {
    TTextTrayIcon icon(nullptr, nullptr);
    const int renders = icon.RenderCount();
    const int handOvers = icon.HandOverCount();
    // The same values again change nothing.
    icon.SetText("0");
    icon.SetBorderColor(TextIconDefaultBorderColor);
    icon.Apply();
    EXPECT_EQ(icon.RenderCount(), renders);
    EXPECT_EQ(icon.HandOverCount(), handOvers);
    // Text and frame together are one render and one icon for the tray,
    // whether applied by the caller or by the event loop.
    icon.SetText("41");
    icon.SetBorderColor(0x000000FF);
    icon.Apply();
    EXPECT_EQ(icon.RenderCount(), renders + 1);
    EXPECT_EQ(icon.HandOverCount(), handOvers + 1);
    icon.SetText("42");
    icon.SetFontColor(0x0000FFFF);
    QCoreApplication::processEvents();
    EXPECT_EQ(icon.RenderCount(), renders + 2);
    EXPECT_EQ(icon.HandOverCount(), handOvers + 2);
    EXPECT_EQ(icon.Icon().pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32),
              icon.Image());
    QCoreApplication::processEvents();
    EXPECT_EQ(icon.HandOverCount(), handOvers + 2);
}

// The bank as the monitoring session's view, six simulated drives ticking.
class TrayBankTick : public ::testing::Test {
protected:
    static constexpr const char* Model = "ST9160821AS--3.CLH"; // 38 C

    using NoMail = test::CountingMail;

    // Forwards to the drives of one folder or another, so that a tick can
    // find other pages than the tick before.
    class SwitchBus final : public DriveBus {
    public:
        DriveBus* Current = nullptr;
        std::unique_ptr<DriveHandle> OpenDrive(unsigned n) override {
            return Current->OpenDrive(n);
        }
        bool PermissionDenied() const override { return false; }
        bool IsSimulated() const override { return true; }
        std::string Describe() const override { return Current->Describe(); }
    };

    void SetUp() override {
        auto warm = test::PageOf(Model, "smart-data");
        // Attribute 194's first raw byte is the temperature.
        for (size_t at = 2; at + 12 <= 362; at += 12)
            if (warm[at] == 194)
                warm[at + 5] = 45;
        for (unsigned n = 0; n < 6; ++n) {
            same_.AddRealDrive(n, Model);
            warmer_.AddRealDrive(n, Model);
        }
        warmer_.WriteBytes(2, "smart-data.bin", warm);
        sameBus_ = std::make_unique<SimulatedBus>(same_.Path());
        warmerBus_ = std::make_unique<SimulatedBus>(warmer_.Path());
        bus_.Current = sameBus_.get();
        HeadlessScanView none;
        ASSERT_TRUE(ScanDrives(data_, bus_, none, settings_));
        ASSERT_EQ(data_.DriveCount, 6);
    }

    // Renders and hand-overs of each icon in one tick.
    std::array<std::pair<int, int>, MaxDrives> Tick() {
        std::array<std::pair<int, int>, MaxDrives> before{}, counted{};
        for (int slot = 1; slot <= MaxDrives; ++slot)
            before[slot - 1] = {bank_.Icon(slot)->RenderCount(), bank_.Icon(slot)->HandOverCount()};
        session_.Tick(1);
        for (int slot = 1; slot <= MaxDrives; ++slot)
            counted[slot - 1] = {bank_.Icon(slot)->RenderCount() - before[slot - 1].first,
                                 bank_.Icon(slot)->HandOverCount() - before[slot - 1].second};
        // The tick's end handed the icons over; the event loop has nothing left.
        QCoreApplication::processEvents();
        for (int slot = 1; slot <= MaxDrives; ++slot)
            EXPECT_EQ(bank_.Icon(slot)->HandOverCount(),
                      before[slot - 1].second + counted[slot - 1].second)
                << slot;
        return counted;
    }

    test::DriveDir same_, warmer_;
    std::unique_ptr<SimulatedBus> sameBus_, warmerBus_;
    SwitchBus bus_;
    ProgramData data_;
    Settings settings_;
    QWidget owner_;
    TTrayBank bank_{&owner_, false, true, nullptr};
    NoMail mail_;
    MonitorSession session_{data_, bus_, settings_, bank_, mail_};
};

TEST_F(TrayBankTick, OnlyAChangedIconIsRenderedAndHandedOver) {
    using Counts = std::pair<int, int>;
    // The first tick gives every icon its temperature (the frame stays
    // green): one render and one icon each.
    for (const Counts& counts : Tick())
        EXPECT_EQ(counts, Counts(1, 1));
    EXPECT_EQ(bank_.Icon(3)->Text(), "38");
    // Nothing changed: nothing is drawn.
    for (const Counts& counts : Tick())
        EXPECT_EQ(counts, Counts(0, 0));
    // Drive 2 (slot 3) is warmer: that icon alone.
    bus_.Current = warmerBus_.get();
    const auto counted = Tick();
    for (int slot = 1; slot <= MaxDrives; ++slot)
        EXPECT_EQ(counted[slot - 1], slot == 3 ? Counts(1, 1) : Counts(0, 0)) << slot;
    EXPECT_EQ(bank_.Icon(3)->Text(), "45");
    EXPECT_EQ(bank_.Icon(3)->Icon().pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32),
              bank_.Icon(3)->Image());
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
