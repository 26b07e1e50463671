// The scan, IDENTIFY decoding, the S.M.A.R.T. read and the monitoring tick
// on drives whose every answer is the input.
#include <string>

#include "FuzzSupport.h"
#include "ata/Identify.h"
#include "app/ReadSmart.h"
#include "app/Scan.h"
#include "monitor/MonitorSession.h"

using namespace quorvane;

namespace {

struct TrayRecorder final : MonitorView {
    std::string Texts[MaxDrives + 1];
    void SetTrayIconText(int slot, const std::string& text) override {
        FUZZ_CHECK(DriveTable::IsSlot(slot));
        Texts[slot] = text;
    }
    void SetTrayIconBorderColor(int slot, uint32_t) override {
        FUZZ_CHECK(DriveTable::IsSlot(slot));
    }
    void PlaySiren() override {}
    void ShowErrorBalloon(int slot, const std::string&, const std::string&, int) override {
        FUZZ_CHECK(DriveTable::IsSlot(slot));
    }
};

struct NoMail final : WarningMail {
    void SendReport() override {}
    void SendRiseWarning(const std::string&) override {}
};

bool IsDecimal(const std::string& text) {
    if (text.empty())
        return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] >= '0' && text[i] <= '9') && !(i == 0 && text[i] == '-' && text.size() > 1))
            return false;
    return true;
}

void CheckIdentity(const IdentifyInfo& id) {
    FUZZ_CHECK(id.Sectors >= 0);
    FUZZ_CHECK(id.SizeGB >= 0);
    FUZZ_CHECK(id.SizeGB == SizeGBFromSectors(id.Sectors));
    // Round to nearest: the size lies within half a GB of the count.
    const int64_t gb = int64_t{1} << 21;
    const int64_t wholeGB = id.Sectors / gb;
    FUZZ_CHECK(id.SizeGB == wholeGB || id.SizeGB == wholeGB + 1);
    FUZZ_CHECK(id.SerialNumber.size() <= 20);
    FUZZ_CHECK(id.FirmwareRevision.size() <= 8);
    FUZZ_CHECK(id.ModelText.size() == 40);
    FUZZ_CHECK(id.ModelNumber.size() <= 40);
    FUZZ_CHECK(TrimAtaString(id.ModelNumber) == id.ModelNumber);
}

void CheckCaption(const std::string& caption) {
    FUZZ_CHECK(caption == NotMeasuredText || IsDecimal(caption));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InputBus bus(data, size);
    CheckIdentity(DecodeIdentify(bus.Identify));

    ProgramData program;
    const InfoPanel& panel = program.Screen.Info;
    HeadlessScanView view;
    const bool found = ScanDrives(program, bus, view, Settings{});
    FUZZ_CHECK(bus.OpenHandles() == 0);
    FUZZ_CHECK(found == (program.DriveCount > 0));
    FUZZ_CHECK(program.DriveCount >= 0 && program.DriveCount <= MaxDrives);
    for (int slot = 1; slot <= program.DriveCount; ++slot) {
        const HDD& drive = program.Drives[slot];
        FUZZ_CHECK(drive.DriveNumber <= MaxDriveNumber);
        FUZZ_CHECK(drive.Sectors >= 0 && drive.SizeGB == SizeGBFromSectors(drive.Sectors));
        FUZZ_CHECK(drive.HPASizeMB >= -1);
        ShowDriveInfo(program, bus, slot, view);
        FUZZ_CHECK(panel.HDDModelL == drive.ModelNumber);
        FUZZ_CHECK(panel.HDDSizeL == std::to_string(drive.SizeGB));
        CheckCaption(panel.HDDHPAUL);
        FUZZ_CHECK(panel.HDDHPAUL[0] != '-');
    }
    const std::string balloon = DrivesBalloonText(program);
    FUZZ_CHECK(static_cast<int>(std::count(balloon.begin(), balloon.end(), '\r')) >=
               program.DriveCount);

    for (int slot = 0; slot <= MaxDrives + 1; ++slot) {
        program.Screen.Smart = SmartScreen{};
        const bool ok = ReadSMART(program, bus, slot, true);
        const SmartScreen& screen = program.Screen.Smart;
        FUZZ_CHECK(bus.OpenHandles() == 0);
        FUZZ_CHECK(screen.SMARTStatusL == NotMeasuredText || screen.SMARTStatusL == "O.K." ||
                   screen.SMARTStatusL == "ERROR");
        FUZZ_CHECK(!ok || screen.SMARTStatusL == "O.K.");
        CheckCaption(screen.Temperatures.HDDTempL);
        CheckCaption(screen.Temperatures.HDDTempLoL);
        CheckCaption(screen.Temperatures.HDDTempHiL);
        CheckCaption(screen.Temperatures.HDDAirTempL);
        FUZZ_CHECK(screen.SMARTSG.RowCount() >= 1 &&
                   screen.SMARTSG.RowCount() <= 1 + static_cast<int>(SMARTAttributeNames.size()));
    }

    TrayRecorder tray;
    NoMail mail;
    Settings settings; // every tray icon on
    settings.AlertSound = settings.BalloonHints = settings.SMTPWarnings = true;
    MonitorSession session(program, bus, settings, tray, mail);
    const TickResult tick = session.Tick(1);
    FUZZ_CHECK(program.Screen.SMARTRunL.size() == 1);
    FUZZ_CHECK(bus.OpenHandles() == 0);
    FUZZ_CHECK(tick.DrivesRead >= 0 && tick.DrivesRead <= program.DriveCount);
    for (int slot = 1; slot <= program.DriveCount; ++slot) {
        const std::string& text = tray.Texts[slot];
        FUZZ_CHECK(text.empty() || text == NoSmartTrayText || IsDecimal(text));
        FUZZ_CHECK(text.size() <= 3);
    }
    return 0;
}
