#include "drive/SimulatedBus.h"

#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "drive/Identify.h"
#include "shell/IniFile.h"

namespace quorvane {
namespace fs = std::filesystem;

namespace {

// One line per command, written and closed at once so that a reader in
// another process sees it as soon as the command was sent.
void AppendToLog(const std::string& path, const AtaCommand& cmd) {
    std::ofstream log(path, std::ios::app);
    std::string name = SimulatedCommandName(cmd);
    if (name.empty()) {
        static const char digits[] = "0123456789abcdef";
        name = std::string("0x") + digits[cmd.TaskFile.Command >> 4] +
               digits[cmd.TaskFile.Command & 0xF];
    }
    log << name << '\n';
}

} // namespace

class SimulatedBus::Handle final : public DriveHandle {
public:
    Handle(SimulatedBus& bus, Drive& drive, unsigned number)
        : bus_(bus), drive_(drive), number_(number) {}
    ~Handle() override { ++bus_.closes_; }

protected:
    bool Send(AtaCommand& cmd) override {
        bus_.sent_.push_back({number_, cmd.TaskFile, cmd.PreviousTaskFile, cmd.Flags});
        if (bus_.sent_.size() > SentLogLimit)
            bus_.sent_.pop_front();
        ++bus_.sentTotal_;
        if (!drive_.LogFile.empty())
            AppendToLog(drive_.LogFile, cmd);
        return bus_.Execute(drive_, cmd);
    }

private:
    SimulatedBus& bus_;
    Drive& drive_;
    unsigned number_;
};

namespace {

// A decimal number, or a hexadecimal one after "0x". A leading zero does not
// make it octal and a sign is no number: "0100" is 100, "-1" is rejected.
std::optional<uint64_t> ParseNumber(const std::string& text) {
    int base = 10;
    size_t at = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        at = 2;
    }
    if (at >= text.size())
        return std::nullopt;
    uint64_t value = 0;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0)
            return std::nullopt;
        if (value > (UINT64_MAX - static_cast<uint64_t>(digit)) / static_cast<uint64_t>(base))
            return std::nullopt;
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    }
    return value;
}

// The largest address READ NATIVE MAX ADDRESS EXT can answer with.
constexpr uint64_t MaxLba48 = (uint64_t{1} << 48) - 1;

void Abort(AtaCommand& cmd) {
    cmd.TaskFile.Features = ErrorAbrt;
    cmd.TaskFile.Command = StatusDrdy | StatusDsc | StatusErr;
}

void Complete(AtaCommand& cmd) {
    cmd.TaskFile.Features = 0;
    cmd.TaskFile.Command = StatusDrdy | StatusDsc;
}

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// drive.ini's power value; anything else is an active drive.
PowerMode ParsePower(const std::string& text) {
    const std::string value = Lower(text);
    if (value == "idle")
        return PowerMode::Idle;
    if (value == "standby")
        return PowerMode::Standby;
    if (value == "sleep")
        return PowerMode::Sleep;
    return PowerMode::Active;
}

uint8_t PowerModeCount(PowerMode mode) {
    switch (mode) {
    case PowerMode::Idle:
        return 0x80;
    case PowerMode::Standby:
    case PowerMode::Sleep:
        return 0x00;
    default:
        return 0xFF;
    }
}

void SetBit(SmartPage& page, int word, int bit, bool on) {
    const size_t at = static_cast<size_t>(word) * 2 + static_cast<size_t>(bit / 8);
    const auto mask = static_cast<uint8_t>(1u << (bit % 8));
    page[at] = on ? static_cast<uint8_t>(page[at] | mask) : static_cast<uint8_t>(page[at] & ~mask);
}

} // namespace

std::string SimulatedCommandName(const AtaCommand& cmd) {
    const auto& tf = cmd.TaskFile;
    switch (tf.Command) {
    case AtaCmdIdentify:
        return "identify";
    case AtaCmdReadNativeMaxExt:
        return "read-native-max";
    case AtaCmdSetFeatures:
        return "set-features";
    case AtaCmdReadSectors:
    case AtaCmdReadSectorsExt:
        return "read-sectors";
    case AtaCmdCheckPowerMode:
        return "check-power-mode";
    case AtaCmdSmart:
        switch (tf.Features) {
        case SmartEnableOperations:
            return "smart-enable";
        case SmartReturnStatus:
            return "smart-status";
        case SmartReadData:
            return "smart-read-data";
        case SmartReadThresholds:
            return "smart-read-thresholds";
        case SmartAutoOffline:
            return "auto-offline";
        case SmartAutosave:
            return "autosave";
        }
        return {};
    }
    return {};
}

SimulatedBus::SimulatedBus(std::string directory) : directory_(std::move(directory)) {}

std::string SimulatedBus::Describe() const {
    return "simulated drives in " + directory_;
}

// A page file holds one page, exactly: a shorter or longer file is no page
// (a drive folder put together by hand, a dump cut off or with a header),
// and is named rather than read in part.
std::optional<SmartPage> SimulatedBus::LoadPage(const fs::path& path, const std::string& effect) {
    std::error_code ec;
    const auto status = fs::status(path, ec);
    if (!fs::exists(status))
        return std::nullopt; // no page: the drive aborts the command, as drive.ini can ask
    SmartPage page{};
    const uintmax_t size = fs::is_regular_file(status) ? fs::file_size(path, ec) : 0;
    std::ifstream file(path, std::ios::binary);
    if (ec || !file || size != page.size()) {
        std::string problem = path.string() + ": ";
        if (!fs::is_regular_file(status))
            problem += "not a file";
        else if (ec || !file)
            problem += "cannot be read";
        else
            problem +=
                std::to_string(size) + " bytes, a page file holds " + std::to_string(page.size());
        problems_.push_back(problem + "; " + effect);
        return std::nullopt;
    }
    file.read(reinterpret_cast<char*>(page.data()), static_cast<std::streamsize>(page.size()));
    if (file.gcount() != static_cast<std::streamsize>(page.size()))
        return std::nullopt; // cut short while being read
    return page;
}

SimulatedBus::Drive* SimulatedBus::Load(unsigned driveNumber) {
    if (auto it = drives_.find(driveNumber); it != drives_.end())
        return &it->second;
    const fs::path folder = fs::path(directory_) / ("drive" + std::to_string(driveNumber));
    std::error_code ec;
    if (!fs::is_directory(folder, ec))
        return nullptr;
    Drive drive;
    drive.Folder = folder.string();
    const std::string name = "drive " + std::to_string(driveNumber);
    drive.Identify =
        LoadPage(folder / "identify.bin", name + " aborts IDENTIFY DEVICE, so no scan finds it");
    drive.SmartData = LoadPage(folder / "smart-data.bin", name + " aborts SMART READ DATA");
    drive.SmartThresholds =
        LoadPage(folder / "smart-thresholds.bin", name + " aborts SMART READ THRESHOLDS");
    drive.IniTime = fs::last_write_time(folder / "drive.ini", ec);
    if (auto ini = IniFile::Load((folder / "drive.ini").string())) {
        drive.StatusExceeded = Lower(ini->Get("drive", "status").value_or("ok")) == "exceeded";
        drive.Power = ParsePower(ini->Get("drive", "power").value_or("active"));
        // A value that is no 48-bit address leaves the default.
        if (auto max = ini->Get("drive", "native-max")) {
            if (auto lba = ParseNumber(*max); lba && *lba <= MaxLba48)
                drive.NativeMax = lba;
        }
        for (const auto& name : SplitList(ini->Get("drive", "fail").value_or("")))
            drive.Fail.insert(name);
        for (const auto& name : SplitList(ini->Get("drive", "abort").value_or("")))
            drive.Abort.insert(name);
        if (auto delay = ini->Get("drive", "delay-ms"))
            drive.DelayMs = static_cast<int>(ParseNumber(*delay).value_or(0) % 10000);
        if (auto log = ini->Get("drive", "log"); log && !log->empty())
            drive.LogFile = (folder / *log).string();
    }
    return &drives_.emplace(driveNumber, std::move(drive)).first->second;
}

std::unique_ptr<DriveHandle> SimulatedBus::OpenDrive(unsigned driveNumber) {
    if (driveNumber > MaxDriveNumber)
        return nullptr;
    Drive* drive = Load(driveNumber);
    if (!drive)
        return nullptr;
    ++opens_;
    return std::make_unique<Handle>(*this, *drive, driveNumber);
}

void SimulatedBus::ReloadPower(Drive& drive) {
    const fs::path path = fs::path(drive.Folder) / "drive.ini";
    std::error_code ec;
    const auto time = fs::last_write_time(path, ec);
    if (ec || time == drive.IniTime)
        return;
    drive.IniTime = time;
    if (auto ini = IniFile::Load(path.string()))
        drive.Power = ParsePower(ini->Get("drive", "power").value_or("active"));
}

bool SimulatedBus::Execute(Drive& drive, AtaCommand& cmd) {
    if (drive.DelayMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(drive.DelayMs));
    ReloadPower(drive);
    auto& tf = cmd.TaskFile;
    if (drive.Power == PowerMode::Sleep) {
        // Not listening; the reset that reaches it leaves it in standby.
        drive.Power = PowerMode::Standby;
        return false;
    }
    const std::string name = SimulatedCommandName(cmd);
    if (!name.empty() && drive.Fail.count(name))
        return false;
    if (name.empty() || drive.Abort.count(name)) {
        Abort(cmd);
        return true;
    }
    if (tf.Command == AtaCmdCheckPowerMode) {
        tf.SectorCount = PowerModeCount(drive.Power);
        Complete(cmd);
        return true;
    }
    if (tf.Command != AtaCmdIdentify)
        drive.Power = PowerMode::Active; // spins up for the command
    auto dataIn = [&](const std::optional<SmartPage>& page) {
        if (!page || !cmd.IsDataIn()) {
            Abort(cmd);
            return true;
        }
        cmd.Data = *page;
        Complete(cmd);
        return true;
    };
    if (tf.Command == AtaCmdSmart) {
        // SMART commands carry the key in LBA Mid/High; without it the drive aborts.
        if (tf.LbaMid != SmartKeyMid || tf.LbaHigh != SmartKeyHigh) {
            Abort(cmd);
            return true;
        }
        switch (tf.Features) {
        case SmartReadData:
            return dataIn(drive.SmartData);
        case SmartReadThresholds:
            return dataIn(drive.SmartThresholds);
        case SmartReturnStatus:
            if (drive.StatusExceeded) {
                tf.LbaMid = SmartExceededMid;
                tf.LbaHigh = SmartExceededHigh;
            }
            break;
        default:
            break;
        }
        Complete(cmd);
        return true;
    }
    switch (tf.Command) {
    case AtaCmdIdentify:
        return dataIn(drive.Identify);
    case AtaCmdReadNativeMaxExt: {
        if (!drive.Identify || !cmd.Is48Bit()) {
            Abort(cmd);
            return true;
        }
        const auto identity = DecodeIdentify(*drive.Identify);
        const uint64_t sectors = static_cast<uint64_t>(identity.Sectors);
        const uint64_t max = drive.NativeMax.value_or(sectors == 0 ? 0 : sectors - 1);
        tf.LbaLow = static_cast<uint8_t>(max);
        tf.LbaMid = static_cast<uint8_t>(max >> 8);
        tf.LbaHigh = static_cast<uint8_t>(max >> 16);
        cmd.PreviousTaskFile.LbaLow = static_cast<uint8_t>(max >> 24);
        cmd.PreviousTaskFile.LbaMid = static_cast<uint8_t>(max >> 32);
        cmd.PreviousTaskFile.LbaHigh = static_cast<uint8_t>(max >> 40);
        Complete(cmd);
        return true;
    }
    case AtaCmdSetFeatures: {
        if (!drive.Identify) {
            Abort(cmd);
            return true;
        }
        SmartPage& id = *drive.Identify;
        const uint8_t level = tf.SectorCount;
        // A drive aborts the subcommands of a feature it does not support
        // (word 83: bit 9 AAM, bit 3 APM).
        const uint16_t supported = IdentifyWord(id, 83);
        const bool aam = tf.Features == 0x42 || tf.Features == 0xC2;
        const bool apm = tf.Features == 0x05 || tf.Features == 0x85;
        if ((aam && !(supported & (1u << 9))) || (apm && !(supported & (1u << 3)))) {
            Abort(cmd);
            return true;
        }
        switch (tf.Features) {
        case 0x42: // enable AAM: word 86 bit 9, level in the low byte of word 94
            SetBit(id, 86, 9, true);
            id[94 * 2] = level;
            break;
        case 0xC2: // disable AAM
            SetBit(id, 86, 9, false);
            break;
        case 0x05: // enable APM: word 86 bit 3, level in the low byte of word 91
            SetBit(id, 86, 3, true);
            id[91 * 2] = level;
            break;
        case 0x85: // disable APM
            SetBit(id, 86, 3, false);
            break;
        default:
            Abort(cmd);
            return true;
        }
        Complete(cmd);
        return true;
    }
    case AtaCmdReadSectors:
    case AtaCmdReadSectorsExt: {
        if (!cmd.IsDataIn() || tf.SectorCount != 1) {
            Abort(cmd);
            return true;
        }
        uint64_t lba =
            uint64_t{tf.LbaLow} | (uint64_t{tf.LbaMid} << 8) | (uint64_t{tf.LbaHigh} << 16);
        if (tf.Command == AtaCmdReadSectorsExt) {
            lba |= (uint64_t{cmd.PreviousTaskFile.LbaLow} << 24) |
                   (uint64_t{cmd.PreviousTaskFile.LbaMid} << 32) |
                   (uint64_t{cmd.PreviousTaskFile.LbaHigh} << 40);
        } else {
            lba |= uint64_t{tf.Device & 0x0Fu} << 24;
        }
        std::ifstream image(fs::path(drive.Folder) / "disk.img", std::ios::binary);
        if (!image || !image.seekg(static_cast<std::streamoff>(lba * AtaSectorSize))) {
            Abort(cmd);
            return true;
        }
        image.read(reinterpret_cast<char*>(cmd.Data.data()), AtaSectorSize);
        if (image.gcount() != static_cast<std::streamsize>(AtaSectorSize)) {
            Abort(cmd); // outside the image
            return true;
        }
        Complete(cmd);
        return true;
    }
    }
    Abort(cmd);
    return true;
}

} // namespace quorvane
