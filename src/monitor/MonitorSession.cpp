#include "monitor/MonitorSession.h"

#include <algorithm>
#include <array>

#include "app/NvmeLogs.h"
#include "app/ReadSmart.h"
#include "app/SelfTests.h"
#include "monitor/SleepRule.h"

namespace quorvane {

const char* ActivityCaption(uint8_t counter) {
    static constexpr std::array<const char*, 4> captions = {"|", "/", "-", "\\"};
    return captions[counter % 4];
}

std::chrono::milliseconds SteadyClockNow() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
}

MonitorSession::MonitorSession(ProgramData& data, DriveBus& bus, const Settings& settings,
                               MonitorView& view, WarningMail& mail, SteadyNow now)
    : data_(data), bus_(bus), settings_(settings), view_(view), mail_(mail), now_(std::move(now)) {}

int MonitorSession::IntervalMs() const {
    return std::clamp(settings_.RefreshInterval, MinRefreshInterval, MaxRefreshInterval) * 1000;
}

void MonitorSession::ApplyMonitoringSwitch() {
    if (data_.DriveCount == 0)
        return;
    running_ = settings_.SMARTMonitoring;
}

TickResult MonitorSession::Tick(int selectedSlot) {
    const bool wasRunning = running_;
    running_ = false;

    TickResult result;
    bool newFailedSelfTest = false;
    const RawValueFormat format = RawValueFormatOf(settings_.RAWValues);
    const int count = std::clamp(data_.DriveCount, 0, MaxDrives);
    for (int slot = 1; slot <= count; ++slot) {
        HDD& drive = data_.Drives[slot];
        const bool trayIcon = settings_.TraySlot(slot).TrayIcon;
        if (!drive.SMARTEnabled) {
            if (trayIcon) {
                view_.SetTrayIconText(slot, NoSmartTrayText);
                view_.SetTrayIconBorderColor(slot, BorderColorNoSmart);
            }
            continue;
        }
        // Without the rule a tick sends what it always sent.
        if (settings_.LetDrivesSleep)
            AskPowerMode(data_, bus_, slot);
        const bool sleeping = LeaveUnread(data_, slot, settings_.LetDrivesSleep);
        view_.SetTrayIconSleeping(slot, sleeping);
        if (sleeping) {
            result.SleepingSlots |= static_cast<uint8_t>(1u << (slot - 1));
            if (trayIcon)
                view_.SetTrayIconText(slot, SleepingTrayText);
            continue;
        }
        bool ok = ReadSMART(data_, bus_, slot, slot == selectedSlot, format);
        // The drive's own tests: a failed one counts as a failing drive while
        // it is the newest, and each new one is mailed.
        if (FollowDriveLogs(bus_, drive).NewFailedSelfTest)
            newFailedSelfTest = true;
        if (drive.Reading.Logs.SelfTestFailing)
            ok = false;
        // The S.M.A.R.T. window follows the selected drive's test.
        if (slot == selectedSlot)
            ShowSelfTests(data_, bus_, slot, false);
        ++result.DrivesRead;
        if (!ok) {
            result.AllGood = false;
            result.FailingSlots |= static_cast<uint8_t>(1u << (slot - 1));
        }
        if (trayIcon) {
            view_.SetTrayIconText(slot, DriveTemperatureText(drive));
            // The tooltip names what the drive's logs warn of.
            view_.SetTrayIconConcerns(slot, DriveConcerns(drive));
            const bool healthy = drive.SMARTStatusOK && !drive.Reading.Logs.SelfTestFailing;
            view_.SetTrayIconBorderColor(slot, healthy ? BorderColorHealthy : BorderColorFailing);
        }
    }

    ShowHistory(result, count);
    view_.TickShown();
    data_.Screen.SMARTRunL = ActivityCaption(state_.ActivityCounter);
    state_.ActivityCounter = static_cast<uint8_t>((state_.ActivityCounter + 1) % 8);

    if (!result.AllGood) {
        if (settings_.AlertSound)
            view_.PlaySiren();
        if (settings_.BalloonHints && count >= 1)
            view_.ShowErrorBalloon(count, FailureBalloonTitle, FailureBalloonText,
                                   FailureBalloonSeconds);
    }
    // Asked in every tick with warnings on, so that the end of a failure is
    // seen and its return counts as new.
    const bool due = settings_.SMTPWarnings &&
                     warnings_.Due(result.FailingSlots, now_(), settings_.SMTPWarningRepeat);
    if (settings_.SMTPWarnings && (due || newFailedSelfTest)) {
        result.WarningSent = true;
        mail_.SendReport();
    }

    running_ = wasRunning;
    return result;
}

// The tick goes into the history; a drive whose sector counter rose gets the
// amber frame while it says O.K. (a failing drive stays red), its tooltip
// says what rose, and each new rise brings one balloon and one mail. Nothing
// here changes a drive's S.M.A.R.T. status.
void MonitorSession::ShowHistory(TickResult& result, int count) {
    if (recorder_ == nullptr)
        return;
    const HistoryVerdict verdict = recorder_->Record(data_, result);
    if (!verdict.Notice.empty())
        view_.ShowHistoryNotice(verdict.Notice);
    const bool warn = settings_.WarnOnRisingSectorCounts;
    for (int slot = 1; slot <= count; ++slot) {
        const uint8_t bit = static_cast<uint8_t>(1u << (slot - 1));
        const HDD& drive = data_.Drives[slot];
        if (!drive.SMARTEnabled || (result.SleepingSlots & bit) != 0)
            continue;
        const bool rising = warn && (verdict.RisingSlots & bit) != 0;
        view_.SetTrayIconNote(slot, rising ? verdict.Notes[static_cast<size_t>(slot - 1)] : "");
        if (!rising)
            continue;
        result.RisingSlots |= bit;
        if (settings_.TraySlot(slot).TrayIcon && drive.SMARTStatusOK &&
            (result.FailingSlots & bit) == 0)
            view_.SetTrayIconBorderColor(slot, BorderColorRising);
    }
    if (!warn)
        return;
    for (const HistoryVerdict::Rise& rise : verdict.NewRises) {
        result.Rises.push_back(rise.Text);
        if (settings_.BalloonHints && DriveTable::IsSlot(rise.Slot))
            view_.ShowWarningBalloon(rise.Slot, RisingBalloonTitle, rise.Text,
                                     RisingBalloonSeconds);
        if (settings_.SMTPWarnings)
            mail_.SendRiseWarning(rise.Text);
    }
}

} // namespace quorvane
