#include "monitor/MonitorTick.h"

#include <array>

namespace quorvane {

const char* ActivityCaption(uint8_t counter) {
    static constexpr std::array<const char*, 4> captions = {"|", "/", "-", "\\"};
    return captions[counter % 4];
}

TickResult MonitoringTick(ProgramData& data, DriveBus& bus, SmartDisplay* display, int selectedSlot,
                          const AlertOptions& options, MonitorState& state, MonitorView& view,
                          WarningMail& mail) {
    TickResult result;
    const int count = data.DriveCount < MaxDrives ? data.DriveCount : MaxDrives;
    for (int slot = 1; slot <= count; ++slot) {
        HDD& drive = data.Drives[slot];
        if (!drive.SMARTEnabled) {
            if (drive.TrayIcon) {
                view.SetTrayIconText(slot, NoSmartTrayText);
                view.SetTrayIconBorderColor(slot, BorderColorNoSmart);
            }
            continue;
        }
        const bool ok = ReadSMART(data, bus, display, slot, slot == selectedSlot);
        ++result.DrivesRead;
        if (!ok)
            result.AllGood = false;
        if (drive.TrayIcon) {
            view.SetTrayIconText(slot, std::to_string(drive.Temperature));
            view.SetTrayIconBorderColor(slot, drive.SMARTStatusOK ? BorderColorHealthy
                                                                  : BorderColorFailing);
        }
    }

    view.SetActivityCaption(ActivityCaption(state.ActivityCounter));
    state.ActivityCounter = static_cast<uint8_t>((state.ActivityCounter + 1) % 8);

    if (!result.AllGood) {
        if (options.AlertSound)
            view.PlaySiren();
        if (options.BalloonHints && data.DriveCount >= 1)
            view.ShowErrorBalloon(count, FailureBalloonTitle, FailureBalloonText,
                                  FailureBalloonSeconds);
        if (options.SMTPWarnings)
            mail.SendReport();
    }
    return result;
}

} // namespace quorvane
