#include "monitor/MonitorSession.h"

#include <algorithm>
#include <array>

#include "drive/ReadSmart.h"
#include "monitor/SleepRule.h"

namespace quorvane {

const char* ActivityCaption(uint8_t counter) {
    static constexpr std::array<const char*, 4> captions = {"|", "/", "-", "\\"};
    return captions[counter % 4];
}

MonitorSession::MonitorSession(ProgramData& data, DriveBus& bus, const Settings& settings,
                               MonitorView& view, WarningMail& mail)
    : data_(data), bus_(bus), settings_(settings), view_(view), mail_(mail) {}

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
        if (LeaveUnread(data_, slot, settings_.LetDrivesSleep)) {
            result.SleepingSlots |= static_cast<uint8_t>(1u << (slot - 1));
            if (trayIcon)
                view_.SetTrayIconText(slot, SleepingTrayText);
            continue;
        }
        const bool ok = ReadSMART(data_, bus_, slot, slot == selectedSlot, format);
        ++result.DrivesRead;
        if (!ok) {
            result.AllGood = false;
            result.FailingSlots |= static_cast<uint8_t>(1u << (slot - 1));
        }
        if (trayIcon) {
            view_.SetTrayIconText(slot, std::to_string(drive.Temperature));
            view_.SetTrayIconBorderColor(slot, drive.SMARTStatusOK ? BorderColorHealthy
                                                                   : BorderColorFailing);
        }
    }

    data_.Screen.SMARTRunL = ActivityCaption(state_.ActivityCounter);
    state_.ActivityCounter = static_cast<uint8_t>((state_.ActivityCounter + 1) % 8);

    if (!result.AllGood) {
        if (settings_.AlertSound)
            view_.PlaySiren();
        if (settings_.BalloonHints && count >= 1)
            view_.ShowErrorBalloon(count, FailureBalloonTitle, FailureBalloonText,
                                   FailureBalloonSeconds);
        if (settings_.SMTPWarnings)
            mail_.SendReport();
    }

    running_ = wasRunning;
    return result;
}

} // namespace quorvane
