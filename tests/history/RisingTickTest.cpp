// The rising-counter rule in the monitoring tick, on simulated drives from the
// real pages whose reallocated sectors rise at their third read: a healthy
// drive's frame turns amber, a failing one's stays red, the tooltip says what
// rose, balloons and mails follow their switches, one per rise; the rule
// never turns a status to ERROR.
#include <gtest/gtest.h>

#include "app/Scan.h"
#include "ata/SimulatedBus.h"
#include "common/RecordingPorts.h"
#include "common/TestDrives.h"
#include "history/HistoryTestSupport.h"
#include "program/HistoryRecorder.h"

namespace quorvane {
namespace {

struct Switches {
    bool Warn, Balloons, Mails;
};

TEST(RisingTick, AmberFrameTooltipBalloonAndMailFollowTheSwitchesOncePerRise) {
    for (const Switches s : {Switches{true, true, true}, Switches{true, false, true},
                             Switches{true, true, false}, Switches{false, true, true}}) {
        SCOPED_TRACE(testing::Message() << "warn " << s.Warn << " balloons " << s.Balloons
                                        << " mails " << s.Mails);
        test::DriveDir dir;
        dir.AddRealDrive(0, "ST9160821AS--3.CLH", "raise-raw = 05 8 3");
        dir.AddRealDrive(1, "WDC_WD20EARS-00MVWB0", "status = exceeded\nraise-raw = 05 700 3");
        SimulatedBus bus(dir.Path());
        ProgramData data;
        Settings settings;
        settings.WarnOnRisingSectorCounts = s.Warn;
        settings.BalloonHints = s.Balloons;
        settings.SMTPWarnings = s.Mails;
        HeadlessScanView none;
        ASSERT_TRUE(ScanDrives(data, bus, none, settings));
        history::HistoryStore store(dir.Path() + "/history.db");
        history::Seconds now = test::HistoryStart;
        HistoryRecorder recorder(store, [&now] { return now; });
        test::RecordingTray view;
        test::CountingMail mail;
        MonitorSession session(data, bus, settings, view, mail);
        session.SetRecorder(&recorder);

        std::vector<TickResult> results;
        for (int tick = 0; tick < 4; ++tick, now += 15)
            results.push_back(session.Tick(0));

        const std::string seagate = "HDD1: 05h Reallocated Sector Count rose from 0 to 8 (";
        // This drive's 05h is below its threshold already (raw 655).
        const std::string wd = "HDD2: 05h Reallocated Sector Count rose from 655 to 700 (";
        // The rise is the second tick's (the scan read first).
        EXPECT_EQ(results[0].RisingSlots, 0);
        for (size_t t = 1; t < results.size(); ++t)
            EXPECT_EQ(results[t].RisingSlots, s.Warn ? 0b11 : 0) << t;
        ASSERT_EQ(results[1].Rises.size(), s.Warn ? 2u : 0u);
        if (s.Warn) {
            EXPECT_EQ(results[1].Rises[0].rfind(seagate, 0), 0u) << results[1].Rises[0];
            EXPECT_EQ(results[1].Rises[1].rfind(wd, 0), 0u) << results[1].Rises[1];
        }
        EXPECT_TRUE(results[2].Rises.empty());
        EXPECT_EQ(view.Borders[1], s.Warn ? BorderColorRising : BorderColorHealthy);
        EXPECT_EQ(view.Borders[2], BorderColorFailing);
        EXPECT_EQ(view.Notes[1].rfind(s.Warn ? seagate.substr(6) : "x", 0),
                  s.Warn ? 0u : std::string::npos)
            << view.Notes[1];
        EXPECT_EQ(view.Warnings.size(), s.Warn && s.Balloons ? 2u : 0u);
        EXPECT_EQ(mail.Rises.size(), s.Warn && s.Mails ? 2u : 0u);
        // Only the failing drive's own status is an error.
        EXPECT_TRUE(data.Drives[1].SMARTStatusOK);
        EXPECT_FALSE(data.Drives[2].SMARTStatusOK);
        for (const TickResult& r : results)
            EXPECT_EQ(r.FailingSlots, 0b10);
    }
}

} // namespace
} // namespace quorvane
