#include "app/Scan.h"

#include <algorithm>

#include "app/FeatureLevels.h"
#include "ata/Identify.h"
#include "ata/PowerMode.h"
#include "nvme/NvmeCommand.h"

namespace quorvane {
namespace {

// The capability bits the scan looks at in the S.M.A.R.T. data page.
constexpr size_t OfflineCapabilityByte = 367;
constexpr size_t SmartCapabilityByte = 368;

void FillSlot(HDD& drive, unsigned n, const IdentifyInfo& id) {
    drive.DriveNumber = static_cast<uint8_t>(n);
    drive.SerialNumber = id.SerialNumber;
    drive.FirmwareRevision = id.FirmwareRevision;
    drive.ModelNumber = id.ModelNumber;
    // Reset before the prefix test, so a slot's new drive never keeps the
    // vendor of the drive that held the slot before.
    drive.Vendor = id.Vendor;
    drive.LBA48 = id.LBA48;
    drive.HPA = id.HPA;
    drive.Security = id.Security;
    drive.SMARTEnabled = id.SMARTEnabled;
    drive.Sectors = id.Sectors;
    drive.SizeGB = id.SizeGB;
    drive.HPASizeMB = -1;
    drive.HPASectors = -1;
    drive.SMARTStatusRead = false;
    drive.Reading = {};
}

// Measures the Host Protected Area from the native maximum address.
void MeasureHpa(DriveHandle& handle, HDD& drive, unsigned n) {
    if (!drive.HPA || !drive.LBA48)
        return;
    AtaCommand cmd = AtaCommand::ReadNativeMaxAddressExt(n);
    if (!AtaSucceeded(handle.SendAtaCommand(cmd), cmd))
        return;
    const auto nativeMax = static_cast<int64_t>(ReturnedLba48(cmd));
    // A native maximum below the last user sector is no measurement of a
    // hidden area (a page claiming more sectors than the drive has): the
    // size stays unmeasured instead of turning negative.
    if (nativeMax + 1 < drive.Sectors)
        return;
    drive.HPASectors = nativeMax - drive.Sectors + 1;
    drive.HPASizeMB = RoundHalfEvenDiv(drive.HPASectors, 2048);
}

// Switches on automatic off-line data collection and attribute autosave when
// the drive says it can do them; the answers are not examined.
void EnableOfflineAndAutosave(DriveHandle& handle, unsigned n) {
    AtaCommand read = AtaCommand::SmartReadData(n);
    if (!AtaSucceeded(handle.SendAtaCommand(read), read))
        return;
    if (read.Data[OfflineCapabilityByte] & 0x02) {
        AtaCommand offline = AtaCommand::SmartEnableAutoOffline(n);
        handle.SendAtaCommand(offline);
    }
    if (read.Data[SmartCapabilityByte] & 0x02) {
        AtaCommand autosave = AtaCommand::SmartEnableAutosave(n);
        handle.SendAtaCommand(autosave);
    }
}

// An NVMe controller in a slot: what Identify Controller and Identify
// Namespace told. The flags of ATA drives do not apply and stay clear.
void FillNvmeSlot(HDD& drive, unsigned controller, const NvmeControllerIdentity& id,
                  const std::optional<NvmeNamespaceIdentity>& ns) {
    drive = HDD{};
    drive.Kind = DriveKind::Nvme;
    drive.DriveNumber = static_cast<uint8_t>(controller);
    drive.SerialNumber = id.SerialNumber;
    drive.FirmwareRevision = id.FirmwareRevision;
    drive.ModelNumber = id.ModelNumber;
    drive.Vendor = VendorFromModel(id.ModelNumber);
    // The health log is always there: it takes the place of S.M.A.R.T.
    drive.SMARTEnabled = true;
    std::optional<Uint128> bytes = ns ? ns->SizeBytes() : std::nullopt;
    if (!bytes && id.TotalCapacity != 0)
        bytes = id.TotalCapacity;
    drive.SizeKnown = bytes.has_value();
    if (bytes) {
        drive.SizeGB = NvmeSizeGB(*bytes);
        drive.Sectors = static_cast<int64_t>(std::min<Uint128>(*bytes / 512, INT64_MAX));
    }
    drive.Nvme = NvmeDriveInfo{id, ns};
}

// The NVMe controllers after the ATA drives, into the slots left.
void ScanNvme(ProgramData& data, DriveBus& bus, ScanView& view, const Settings& settings) {
    for (unsigned c = 0; c <= MaxNvmeController && data.DriveCount < MaxDrives; ++c) {
        auto handle = bus.OpenNvme(c);
        if (!handle)
            continue;
        NvmeAdminCommand identify = NvmeAdminCommand::IdentifyController();
        if (!NvmeSucceeded(handle->SendNvmeAdmin(identify), identify))
            continue;
        const auto id = DecodeNvmeController(identify.Answer());
        if (!id)
            continue;
        NvmeAdminCommand nsIdentify = NvmeAdminCommand::IdentifyNamespace();
        std::optional<NvmeNamespaceIdentity> ns;
        if (NvmeSucceeded(handle->SendNvmeAdmin(nsIdentify), nsIdentify))
            ns = DecodeNvmeNamespace(nsIdentify.Answer());

        const int slot = ++data.DriveCount;
        HDD& drive = data.Drives[slot];
        FillNvmeSlot(drive, c, *id, ns);
        const TraySettings& tray = settings.TraySlot(slot);
        view.SetTrayColors(slot, tray.TrayFontColor, tray.TrayBackColor);
        view.EnableTrayCheckBox(slot, tray.TrayIcon);
        view.AddDriveListItem(drive.ModelNumber);
        view.SetTrayIcon(slot, drive.ModelNumber, tray.TrayIcon);
        InfoPanel& panel = data.Screen.Info;
        panel.HDDLBA48LEnabled = false;
        panel.HDDHPALEnabled = false;
        panel.HDDSecMLEnabled = false;
        panel.HDDSMARTLEnabled = true;
        panel.HDDHPAUL = NotMeasuredText;
        panel.HDDSizeL = DriveSizeText(drive);
    }
}

} // namespace

std::string DrivesBalloonText(const ProgramData& data) {
    std::string text;
    for (int slot = 1; slot <= data.DriveCount; ++slot) {
        const HDD& drive = data.Drives[slot];
        text += drive.ModelNumber + " " + DriveSizeText(drive) + " GB\r";
    }
    return text;
}

bool ScanDrives(ProgramData& data, DriveBus& bus, ScanView& view, const Settings& settings,
                ScanUse use) {
    InfoPanel& panel = data.Screen.Info;
    data.DriveCount = 0;
    view.SelectDriveListItem(-1);
    view.ClearDriveList();

    for (unsigned n = 0; n <= MaxDriveNumber && data.DriveCount < MaxDrives; ++n) {
        // With "Let Drives Sleep" a drive in standby is not spun up by the
        // scan either: it gets only what its electronics answer (its power
        // mode and IDENTIFY DEVICE), and its S.M.A.R.T. switches wait for a
        // later scan that finds it awake.
        const PowerMode power =
            settings.LetDrivesSleep ? CheckPowerMode(bus, n) : PowerMode::Unknown;
        const bool spunDown = IsSpunDown(power);
        auto handle = bus.OpenDrive(n);
        if (!handle)
            continue;
        AtaCommand enable = AtaCommand::SmartEnableOperations(n);
        if (!spunDown && !AtaSucceeded(handle->SendAtaCommand(enable), enable))
            continue;
        AtaCommand identify = AtaCommand::IdentifyDevice(n);
        if (!AtaSucceeded(handle->SendAtaCommand(identify), identify))
            continue;

        const int slot = ++data.DriveCount;
        HDD& drive = data.Drives[slot];
        const IdentifyInfo id = DecodeIdentify(identify.Data);
        FillSlot(drive, n, id);
        drive.Reading.Power = power;
        const TraySettings& tray = settings.TraySlot(slot);
        view.SetTrayColors(slot, tray.TrayFontColor, tray.TrayBackColor);
        view.EnableTrayCheckBox(slot, tray.TrayIcon);
        view.AddDriveListItem(id.ModelText);
        view.SetTrayIcon(slot, drive.ModelNumber, tray.TrayIcon);

        panel.HDDLBA48LEnabled = drive.LBA48;
        panel.HDDHPALEnabled = drive.HPA;
        panel.HDDSecMLEnabled = drive.Security;
        panel.HDDSMARTLEnabled = drive.SMARTEnabled;
        panel.HDDHPAUL = NotMeasuredText;
        panel.HDDSizeL = std::to_string(drive.SizeGB);

        if (spunDown)
            continue;
        MeasureHpa(*handle, drive, n);
        if (drive.HPASizeMB != -1)
            panel.HDDHPAUL = std::to_string(drive.HPASizeMB);
        if (drive.SMARTEnabled && use == ScanUse::Monitor)
            EnableOfflineAndAutosave(*handle, n);
    }

    ScanNvme(data, bus, view, settings);

    if (data.DriveCount == 0)
        return false;
    view.InfoPanelChanged(panel);
    if (settings.BalloonHints)
        view.ShowInfoBalloon(data.DriveCount, DrivesBalloonTitle, DrivesBalloonText(data),
                             BalloonSeconds);
    view.SelectDriveListItem(0);
    ShowDriveInfo(data, bus, 1, view, use);
    return true;
}

void ShowDriveInfo(ProgramData& data, DriveBus& bus, int slot, ScanView& view, ScanUse use) {
    if (data.DriveCount == 0 || !data.IsDriveSlot(slot))
        return;
    InfoPanel& panel = data.Screen.Info;
    const HDD& drive = data.Drives[slot];
    panel.LogoIndex = VendorLogoIndex(drive.Vendor);
    panel.HDDSNL = drive.SerialNumber;
    panel.HDDFirmwareL = drive.FirmwareRevision;
    panel.HDDModelL = drive.ModelNumber;
    panel.HDDLBA48LEnabled = drive.LBA48;
    // An NVMe drive has neither feature: both groups show as for a drive
    // without them, and nothing is sent.
    if (use == ScanUse::Monitor) {
        AAMGetExecute(panel.AAMGB, bus, data, slot);
        APMGetExecute(panel.APMGB, bus, data, slot);
    }
    panel.HDDSMARTLEnabled = drive.SMARTEnabled;
    panel.HDDSizeL = DriveSizeText(drive);
    panel.HDDHPALEnabled = drive.HPA;
    // A drive without an HPA leaves the greyed size caption as it was.
    if (drive.HPA)
        panel.HDDHPAUL = drive.HPASizeMB == -1 ? NotMeasuredText : std::to_string(drive.HPASizeMB);
    panel.HDDSecMLEnabled = drive.Security;
    panel.HDDTempEnabled = drive.SMARTEnabled;
    view.InfoPanelChanged(panel);
}

} // namespace quorvane
