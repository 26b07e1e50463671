// The monitoring session: on every tick each drive with S.M.A.R.T. is read
// again, each drive's tray icon gets its temperature and a frame in the
// colour of its health, and a failing drive raises the alerts. The desktop
// program forwards its timer to Tick; a headless monitor calls it from a loop.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ata/DriveBus.h"
#include "app/DriveTable.h"
#include "monitor/WarningRepeat.h"
#include "app/Settings.h"

namespace quorvane {

// Frame colours of a drive's tray icon, 0x00BBGGRR.
inline constexpr uint32_t BorderColorHealthy = 0x0000FF00; // green
inline constexpr uint32_t BorderColorFailing = 0x000000FF; // red
inline constexpr uint32_t BorderColorNoSmart = 0x00FF0000; // blue
// A sector counter rose while the drive still says O.K.
inline constexpr uint32_t BorderColorRising = 0x0000BFFF; // amber

inline constexpr const char* NoSmartTrayText = "---";
// A drive left unread in standby or asleep: its icon shows this and keeps its frame.
inline constexpr const char* SleepingTrayText = "zz";
inline constexpr const char* FailureBalloonTitle = "Error";
inline constexpr const char* FailureBalloonText = "S.M.A.R.T. failure detected!";
inline constexpr int FailureBalloonSeconds = 10;
inline constexpr const char* RisingBalloonTitle = "Rising sector count";
inline constexpr int RisingBalloonSeconds = 10;

// The refresh interval's step in seconds (HDDRefreshIntUD); its range is
// MinRefreshInterval..MaxRefreshInterval.
inline constexpr int RefreshIntervalStep = 15;

// What a tick shows on the tray and raises. The listener shows and plays
// what it is told; it never decides whether an alert is due.
class MonitorView {
public:
    virtual ~MonitorView() = default;
    virtual void SetTrayIconText(int slot, const std::string& text) = 0;
    virtual void SetTrayIconBorderColor(int slot, uint32_t color) = 0;
    // Whether the slot's drive was left unread asleep in this tick (its
    // tooltip says so); told for every drive with S.M.A.R.T. in every tick.
    virtual void SetTrayIconSleeping(int /*slot*/, bool /*sleeping*/) {}
    // What the drive's health log warns of, for the icon's tooltip (empty:
    // nothing); said after every read of an NVMe drive.
    virtual void SetTrayIconConcerns(int /*slot*/, const std::vector<std::string>& /*concerns*/) {}
    // Starts the siren and returns at once.
    virtual void PlaySiren() = 0;
    virtual void ShowErrorBalloon(int slot, const std::string& title, const std::string& text,
                                  int seconds) = 0;
    // A warning that is no failure (a sector counter that rose).
    virtual void ShowWarningBalloon(int /*slot*/, const std::string& /*title*/,
                                    const std::string& /*text*/, int /*seconds*/) {}
    // What the slot's tooltip says besides its temperature ("05h Reallocated
    // Sector Count rose from 0 to 8 (...)"); empty for nothing. Told for every
    // drive read in every tick.
    virtual void SetTrayIconNote(int /*slot*/, const std::string& /*note*/) {}
    // Said once: history is not being recorded and why, or is again.
    virtual void ShowHistoryNotice(const std::string& /*text*/) {}
    // Every icon of the tick has its text and frame: a display shows them now.
    virtual void TickShown() {}
};

// The warning mail: composes the report and sends it in the background.
class WarningMail {
public:
    virtual ~WarningMail() = default;
    virtual void SendReport() = 0;
    // The report, led by what rose: one mail per rise.
    virtual void SendRiseWarning(const std::string& rise) = 0;
};

// The activity indicator: 0 and 4 give "|", 1 and 5 "/", 2 and 6 "-", 3 and 7 "\".
const char* ActivityCaption(uint8_t counter);

// What one tick found.
struct TickResult {
    bool AllGood = true; // no read failed and no drive reported an exceeded threshold
    int DrivesRead = 0;
    // Bit slot - 1: the slot's read failed or its drive reported an exceeded
    // threshold in this tick.
    uint8_t FailingSlots = 0;
    // Bit slot - 1: the slot's drive was left unread in standby or asleep.
    uint8_t SleepingSlots = 0;
    bool WarningSent = false; // the warning mail was started
    // Bit slot - 1: a sector counter of the slot's drive rose within the
    // last 7 days (its frame is amber while the drive says O.K.).
    uint8_t RisingSlots = 0;
    std::vector<std::string> Rises; // the rises first seen in this tick, one text each
};

// The history's part of a tick: it records what the tick read and says what
// rose. The program's history store is the one real one.
struct HistoryVerdict {
    uint8_t RisingSlots = 0;                  // bit slot - 1
    std::array<std::string, MaxDrives> Notes; // the tooltip line of each slot
    struct Rise {
        int Slot = 0;
        std::string Text;
    };
    std::vector<Rise> NewRises; // one balloon and one mail each
    std::string Notice;         // said once (why history is not recorded)
};
class TickRecorder {
public:
    virtual ~TickRecorder() = default;
    virtual HistoryVerdict Record(const ProgramData& data, const TickResult& result) = 0;
};

// Any steady clock's reading, for the warning repeat time.
using SteadyNow = std::function<std::chrono::milliseconds()>;
std::chrono::milliseconds SteadyClockNow();

// The state a tick keeps from one run to the next.
struct MonitorState {
    uint8_t ActivityCounter = 0; // 0..7
};

class MonitorSession {
public:
    // The session reads its switches (alert sound, balloon hints, mail
    // warnings, refresh interval, monitoring, raw form, tray switches) from
    // settings at each call, so a change made between ticks counts at once.
    MonitorSession(ProgramData& data, DriveBus& bus, const Settings& settings, MonitorView& view,
                   WarningMail& mail, SteadyNow now = SteadyClockNow);

    // One monitoring tick. selectedSlot is the drive list's item index + 1
    // (0 when nothing is selected); only that drive's read is the one the
    // windows show (data.Screen.Smart). The tick turns the activity
    // indicator (data.Screen.SMARTRunL).
    //
    // Every drive with S.M.A.R.T. is read in every tick, also after another
    // drive has failed in the same tick: skipping the rest would leave their
    // icons with stale temperatures and a red frame for as long as the
    // failure lasts. The alerts are raised once per tick, however many drives
    // fail; the warning mail goes out (with warnings switched on) when a
    // drive fails that did not fail in the tick before, and while failures
    // last once per "SMTP Warning Repeat" minutes. While the tick runs the session counts as
    // stopped; afterwards it is running again exactly when it was before.
    //
    // With "Let Drives Sleep" on, every drive with S.M.A.R.T. is first asked
    // its power mode (CHECK POWER MODE never spins it up), and a drive in
    // standby or asleep is not read: its icon shows SleepingTrayText and keeps its
    // frame, and its last pages stay as they were.
    TickResult Tick(int selectedSlot);

    // Running: ticks are due every IntervalMs().
    void Start() { running_ = true; }
    void Stop() { running_ = false; }
    bool IsRunning() const { return running_; }
    // The monitoring switch was changed: with drives found, the session runs
    // exactly when the switch is on; without drives nothing changes.
    void ApplyMonitoringSwitch();
    // The refresh interval in milliseconds, kept inside its range.
    int IntervalMs() const;

    const MonitorState& State() const { return state_; }

    // Where each tick is recorded (none: nowhere); it must outlive the session.
    void SetRecorder(TickRecorder* recorder) { recorder_ = recorder; }

private:
    ProgramData& data_;
    DriveBus& bus_;
    const Settings& settings_;
    MonitorView& view_;
    WarningMail& mail_;
    SteadyNow now_;
    void ShowHistory(TickResult& result, int count);

    TickRecorder* recorder_ = nullptr;
    WarningRepeat warnings_;
    MonitorState state_;
    bool running_ = false;
};

} // namespace quorvane
