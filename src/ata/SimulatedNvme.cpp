// The simulated drives' NVMe controllers: a folder with `kind = nvme` in its
// drive.ini answers Identify and Get Log Page from its page files.
#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

#include "ata/SimulatedBus.h"
#include "platform/IniFile.h"

namespace quorvane {
namespace fs = std::filesystem;

namespace {

// What a simulated controller answers to a command it aborts.
constexpr uint16_t InvalidField = 0x002;

} // namespace

class SimulatedBus::NvmeHandle final : public DriveHandle {
public:
    NvmeHandle(SimulatedBus& bus, Drive& drive) : bus_(bus), drive_(drive) {}
    ~NvmeHandle() override { ++bus_.closes_; }

protected:
    bool Send(AtaCommand&) override { return false; }
    bool SendNvme(NvmeAdminCommand& cmd) override {
        ++bus_.sentTotal_;
        if (!drive_.LogFile.empty())
            std::ofstream(drive_.LogFile, std::ios::app) << NvmeCommandName(cmd) << '\n';
        return bus_.ExecuteNvme(drive_, cmd);
    }

private:
    SimulatedBus& bus_;
    Drive& drive_;
};

void SimulatedBus::LoadNvme(Drive& drive, const std::string& name) {
    const fs::path folder = drive.Folder;
    NvmeState nvme;
    nvme.IdentifyController =
        LoadBytes(folder / "identify-ctrl.bin", NvmeIdentifySize,
                  name + " fails Identify Controller, so no scan finds it");
    nvme.IdentifyNamespace = LoadBytes(folder / "identify-ns.bin", NvmeIdentifySize,
                                       name + " fails Identify Namespace");
    nvme.HealthLog = LoadBytes(folder / "smart-log.bin", NvmeHealthLogSize,
                               name + " fails the SMART / Health Information log");
    nvme.ErrorLog = LoadBytes(folder / "error-log.bin", NvmeMaxDataLength,
                              name + " answers an empty Error Information log",
                              NvmeErrorEntrySize)
                        .value_or(std::vector<uint8_t>{});
    drive.Nvme = std::move(nvme);
    drive.IniTime = {}; // so that the first command reads the ini's live keys
    ReloadNvme(drive);
}

// critical-warning and temperature are read again whenever drive.ini
// changes, so a running program sees a controller raise a warning.
void SimulatedBus::ReloadNvme(Drive& drive) {
    const fs::path path = fs::path(drive.Folder) / "drive.ini";
    std::error_code ec;
    const auto time = fs::last_write_time(path, ec);
    if (ec || time == drive.IniTime)
        return;
    drive.IniTime = time;
    NvmeState& nvme = *drive.Nvme;
    nvme.CriticalWarning.reset();
    nvme.TemperatureK.reset();
    if (auto ini = IniFile::Load(path.string())) {
        if (auto bits = ParseDriveIniNumber(ini->Get("drive", "critical-warning").value_or(""));
            bits && *bits <= 0xFF)
            nvme.CriticalWarning = static_cast<uint8_t>(*bits);
        if (auto k = ParseDriveIniNumber(ini->Get("drive", "temperature").value_or(""));
            k && *k <= 0xFFFF)
            nvme.TemperatureK = static_cast<uint16_t>(*k);
    }
}

bool SimulatedBus::ExecuteNvme(Drive& drive, NvmeAdminCommand& cmd) {
    if (drive.DelayMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(drive.DelayMs));
    ReloadNvme(drive);
    const std::string name = NvmeCommandName(cmd);
    if (drive.Fail.count(name))
        return false;
    cmd.Data.fill(0);
    cmd.Result = 0;
    cmd.Status = 0;
    const NvmeState& nvme = *drive.Nvme;
    const std::optional<std::vector<uint8_t>>* page = nullptr;
    if (name == "identify-ctrl")
        page = &nvme.IdentifyController;
    else if (name == "identify-ns")
        page = &nvme.IdentifyNamespace;
    else if (name == "smart-log")
        page = &nvme.HealthLog;
    if (drive.Abort.count(name) || (page && !*page)) {
        cmd.Status = InvalidField;
        return true;
    }
    if (page) {
        std::copy((*page)->begin(), (*page)->end(), cmd.Data.begin());
    } else { // error-log: as many entries as asked for and the file holds
        const size_t n = std::min<size_t>(nvme.ErrorLog.size(), cmd.DataLength);
        std::copy_n(nvme.ErrorLog.begin(), n, cmd.Data.begin());
    }
    if (name == "smart-log") {
        if (nvme.CriticalWarning)
            cmd.Data[0] = *nvme.CriticalWarning;
        if (nvme.TemperatureK) {
            cmd.Data[1] = static_cast<uint8_t>(*nvme.TemperatureK);
            cmd.Data[2] = static_cast<uint8_t>(*nvme.TemperatureK >> 8);
        }
    }
    return true;
}

const std::vector<unsigned>& SimulatedBus::NvmeFolders() {
    if (!nvmeFolders_) {
        nvmeFolders_.emplace();
        for (unsigned n = 0; n <= MaxDriveNumber; ++n)
            if (const Drive* drive = Load(n); drive && drive->Nvme)
                nvmeFolders_->push_back(n);
    }
    return *nvmeFolders_;
}

std::unique_ptr<DriveHandle> SimulatedBus::OpenNvme(unsigned controller) {
    const auto& folders = NvmeFolders();
    if (controller >= folders.size())
        return nullptr;
    Drive* drive = Load(folders[controller]);
    ++opens_;
    return std::make_unique<NvmeHandle>(*this, *drive);
}

} // namespace quorvane
