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
    if (nvme.IdentifyController && ((*nvme.IdentifyController)[256] & NvmeOacsSelfTest)) {
        nvme.SelfTestLog.assign(NvmeSelfTestLogSize, 0);
        for (size_t k = 0; k < 20; ++k)
            nvme.SelfTestLog[4 + k * 28] = 0x0F; // unused entries
    }
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
    NvmeState& nvme = *drive.Nvme;
    if (cmd.Opcode == NvmeAdminDeviceSelfTest || name == "selftest-log")
        return AnswerNvmeSelfTest(drive, cmd);
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

bool SimulatedBus::AnswerNvmeSelfTest(Drive& drive, NvmeAdminCommand& cmd) {
    NvmeState& nvme = *drive.Nvme;
    std::vector<uint8_t>& log = nvme.SelfTestLog;
    if (log.empty()) {
        cmd.Status = cmd.Opcode == NvmeAdminDeviceSelfTest ? 0x001 : InvalidField;
        return true;
    }
    if (cmd.Opcode == NvmeAdminDeviceSelfTest) {
        const uint8_t code = static_cast<uint8_t>(cmd.Cdw[0] & 0xF);
        if (code == 0xF) {
            if (log[0] != 0)
                LogNvmeResult(drive, 1); // aborted by a Device Self-test command
            return true;
        }
        if (log[0] != 0) {
            cmd.Status = 0x11D; // a test is in progress
            return true;
        }
        log[0] = code;
        log[1] = 0;
        nvme.SelfTestStepsLeft = drive.SelfTest.Steps;
        return true;
    }
    if (log[0] != 0 && --nvme.SelfTestStepsLeft <= 0)
        LogNvmeResult(drive, drive.SelfTest.Fail ? 7 : 0);
    else if (log[0] != 0)
        log[1] = static_cast<uint8_t>(100 - 100 * nvme.SelfTestStepsLeft /
                                                std::max(drive.SelfTest.Steps, 1));
    std::copy(log.begin(), log.end(), cmd.Data.begin());
    return true;
}

// The running test ends with result: a new newest entry, the rest move down.
void SimulatedBus::LogNvmeResult(Drive& drive, uint8_t result) {
    std::vector<uint8_t>& log = drive.Nvme->SelfTestLog;
    std::copy_backward(log.begin() + 4, log.begin() + 4 + 19 * 28, log.begin() + 4 + 20 * 28);
    uint8_t* e = log.data() + 4;
    std::fill(e, e + 28, 0);
    e[0] = static_cast<uint8_t>(log[0] << 4 | result);
    if (result == 7) {
        e[2] = 0x02; // the failing LBA is valid
        for (int i = 0; i < 8; ++i)
            e[16 + i] = static_cast<uint8_t>(drive.SelfTest.FailLba >> (8 * i));
    }
    log[0] = 0;
    log[1] = 0;
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
