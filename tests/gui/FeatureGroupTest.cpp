// The AAM and APM groups of the main window on simulated drives built from
// real IDENTIFY dumps: what they show for the selected drive, the bar's
// label before anything is sent, and a set that the drive then reports.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSlider>
#include <QToolButton>
#include <gtest/gtest.h>

#include "GuiTestSupport.h"
#include "common/FeatureDumps.h"
#include "common/TestDrives.h"
#include "ata/AtaCommand.h"
#include "gui/FeatureGroup.h"

namespace quorvane {
namespace {

using namespace test; // the feature dumps

struct Shown {
    bool Checked, CheckBoxEnabled;
    int Bar;
    bool BarEnabled;
    QString Current, Second;
    bool CurrentEnabled, GetEnabled, SetEnabled;
};

Shown ShownBy(const TFeatureGroup& g) {
    return {g.CB->isChecked(),          g.CB->isEnabledTo(g.Panel),
            g.LevelTB->value(),         g.LevelTB->isEnabled(),
            g.CurrentLevelL->text(),    g.RecommendedLevelL->text(),
            g.CurrentLevelL->isEnabled(), g.GetSB->isEnabled(),
            g.SetSB->isEnabled()};
}

class FeatureGroupWindow : public ::testing::Test {
protected:
    void Start() {
        f = std::make_unique<test::FormUnderTest>(dir.Path());
        ASSERT_TRUE((*f)->StartupSequence());
    }
    void Select(int slot) {
        TMainForm& form = *f->Form;
        form.HDDCB->setCurrentIndex(slot - 1);
        emit form.HDDCB->activated(slot - 1);
    }
    TFeatureGroup& Aam() const { return *(*f)->InformationGB->AAMGB; }
    TFeatureGroup& Apm() const { return *(*f)->InformationGB->APMGB; }
    size_t Sent() const { return f->Bus->SentCommands().size(); }

    test::DriveDir dir;
    std::unique_ptr<test::FormUnderTest> f;
};

TEST_F(FeatureGroupWindow, TheShownDriveDecidesWhatEachGroupShows) {
    dir.AddRealDrive(0, Samsung);
    dir.AddRealDrive(1, SamsungAamOff);
    dir.AddRealDrive(2, MaxtorApmOff);
    dir.AddRealDrive(3, HitachiNeither);
    Start();
    EXPECT_EQ(Aam().GetSB->toolTip(), "Get AAM");
    EXPECT_EQ(Aam().SetSB->toolTip(), "Set AAM");
    EXPECT_EQ(Apm().GetSB->toolTip(), QString());
    EXPECT_EQ(Apm().SetSB->toolTip(), QString());
    // The boxes only show: their panels stay disabled.
    EXPECT_FALSE(Aam().Panel->isEnabled());
    EXPECT_FALSE(Apm().Panel->isEnabled());

    // The scan shows slot 1: both features on at 128.
    Shown aam = ShownBy(Aam());
    EXPECT_TRUE(aam.Checked && aam.CheckBoxEnabled && aam.BarEnabled && aam.GetEnabled &&
                aam.SetEnabled);
    EXPECT_EQ(aam.Bar, 128);
    EXPECT_EQ(aam.Current, "128");
    EXPECT_EQ(aam.Second, "254");
    EXPECT_EQ(ShownBy(Apm()).Current, "128");

    // AAM supported but off: the box is unchecked but not greyed, bar and
    // current level greyed, the recommendation left as the last drive showed it.
    Select(2);
    aam = ShownBy(Aam());
    EXPECT_FALSE(aam.Checked);
    EXPECT_TRUE(aam.CheckBoxEnabled);
    EXPECT_EQ(aam.Bar, 0);
    EXPECT_FALSE(aam.BarEnabled);
    EXPECT_EQ(aam.Current, "...");
    EXPECT_FALSE(aam.CurrentEnabled);
    EXPECT_EQ(aam.Second, "254");
    EXPECT_TRUE(aam.GetEnabled && aam.SetEnabled);
    // No APM at all: the whole group is greyed.
    const Shown apm = ShownBy(Apm());
    EXPECT_FALSE(apm.Checked || apm.CheckBoxEnabled || apm.BarEnabled || apm.GetEnabled ||
                 apm.SetEnabled);
    EXPECT_EQ(apm.Current, "...");
    EXPECT_EQ(apm.Second, "...");

    // APM supported but off: unlike AAM its box is greyed too.
    Select(3);
    EXPECT_EQ(ShownBy(Aam()).Current, "192");
    EXPECT_FALSE(ShownBy(Apm()).Checked);
    EXPECT_FALSE(ShownBy(Apm()).CheckBoxEnabled);
    EXPECT_TRUE(ShownBy(Apm()).SetEnabled);

    Select(4);
    EXPECT_FALSE(ShownBy(Aam()).GetEnabled);
    EXPECT_FALSE(ShownBy(Apm()).GetEnabled);
}

TEST_F(FeatureGroupWindow, TheBarShowsItsLevelAndSetSendsItAndShowsTheDrivesAnswer) {
    dir.AddRealDrive(0, Samsung);
    Start();
    const size_t before = Sent();
    // Moved by the keyboard and then to 200: the label follows, nothing is sent.
    QTest::keyClick(Aam().LevelTB, Qt::Key_End);
    EXPECT_EQ(Aam().CurrentLevelL->text(), "254");
    Aam().LevelTB->setValue(200);
    EXPECT_EQ(Aam().CurrentLevelL->text(), "200");
    EXPECT_EQ(Aam().RecommendedLevelL->text(), "254");
    EXPECT_EQ(Sent(), before);

    QTest::mouseClick(Aam().SetSB, Qt::LeftButton);
    const auto& sent = f->Bus->SentCommands();
    ASSERT_EQ(sent.size(), before + 2);
    EXPECT_EQ(sent[before].TaskFile.Command, AtaCmdSetFeatures);
    EXPECT_EQ(sent[before].TaskFile.Features, 0x42);
    EXPECT_EQ(sent[before].TaskFile.SectorCount, 200);
    EXPECT_EQ(sent[before + 1].TaskFile.Command, AtaCmdIdentify);
    // What the drive now reports, read again.
    EXPECT_EQ(Aam().LevelTB->value(), 200);
    EXPECT_EQ(Aam().CurrentLevelL->text(), "200");
    EXPECT_EQ(f->App->Data().Screen.Info.AAMGB.CurrentLevelCaption, "200");

    // Get reads once more and changes nothing.
    QTest::mouseClick(Aam().GetSB, Qt::LeftButton);
    ASSERT_EQ(sent.size(), before + 3);
    EXPECT_EQ(sent[before + 2].TaskFile.Command, AtaCmdIdentify);
    EXPECT_EQ(Aam().CurrentLevelL->text(), "200");

    // APM's set on the same drive uses its own subcommand.
    Apm().LevelTB->setValue(64);
    QTest::mouseClick(Apm().SetSB, Qt::LeftButton);
    ASSERT_EQ(sent.size(), before + 5);
    EXPECT_EQ(sent[before + 3].TaskFile.Features, 0x05);
    EXPECT_EQ(sent[before + 3].TaskFile.SectorCount, 64);
    EXPECT_EQ(Apm().CurrentLevelL->text(), "64");
}

TEST_F(FeatureGroupWindow, AnAbortedSetShowsOnlyInTheReadThatFollows) {
    dir.AddRealDrive(0, Samsung, "abort = set-features");
    Start();
    Aam().LevelTB->setValue(200);
    QTest::mouseClick(Aam().SetSB, Qt::LeftButton);
    // No message; the drive still reports 128.
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(Aam().LevelTB->value(), 128);
    EXPECT_EQ(Aam().CurrentLevelL->text(), "128");
}

} // namespace
} // namespace quorvane
