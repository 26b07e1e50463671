#include "ata/SimulatedBus.h"

#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>
#include <sys/inotify.h>
#include <thread>
#include <unistd.h>
#include <utility>

#include "ata/Identify.h"
#include "platform/IniFile.h"

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

// Sets or clears the bits of mask in IDENTIFY word `word` (little-endian).
void SetBits(SectorBuffer& page, int word, uint16_t mask, bool on) {
    const size_t at = static_cast<size_t>(word) * 2;
    uint16_t value = static_cast<uint16_t>(page[at] | (page[at + 1] << 8));
    value = on ? static_cast<uint16_t>(value | mask) : static_cast<uint16_t>(value & ~mask);
    page[at] = static_cast<uint8_t>(value);
    page[at + 1] = static_cast<uint8_t>(value >> 8);
}

} // namespace

// A decimal number, or a hexadecimal one after "0x". A leading zero does not
// make it octal and a sign is no number: "0100" is 100, "-1" is rejected.
std::optional<uint64_t> ParseDriveIniNumber(const std::string& text) {
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

std::string SimulatedCommandName(const AtaCommand& cmd) {
    return AtaCommandName(cmd.TaskFile);
}

SimulatedBus::SimulatedBus(std::string directory)
    : directory_(std::move(directory)), inotify_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}

SimulatedBus::~SimulatedBus() {
    if (inotify_ >= 0)
        ::close(inotify_);
}

std::string SimulatedBus::Describe() const {
    return "simulated drives in " + directory_;
}

// A page file holds one page, exactly: a shorter or longer file is no page
// (a drive folder put together by hand, a dump cut off or with a header),
// and is named rather than read in part.
std::optional<std::vector<uint8_t>> SimulatedBus::LoadBytes(const fs::path& path, size_t size,
                                                            const std::string& effect,
                                                            size_t entrySize) {
    std::error_code ec;
    const auto status = fs::status(path, ec);
    if (!fs::exists(status))
        return std::nullopt; // no page: the drive aborts the command, as drive.ini can ask
    const uintmax_t found = fs::is_regular_file(status) ? fs::file_size(path, ec) : 0;
    const bool fits = entrySize ? found > 0 && found <= size && found % entrySize == 0
                                : found == size;
    std::ifstream file(path, std::ios::binary);
    if (ec || !file || !fits) {
        std::string problem = path.string() + ": ";
        if (!fs::is_regular_file(status))
            problem += "not a file";
        else if (ec || !file)
            problem += "cannot be read";
        else if (entrySize)
            problem += std::to_string(found) + " bytes, a log file holds whole " +
                       std::to_string(entrySize) + "-byte entries up to " + std::to_string(size);
        else
            problem += std::to_string(found) + " bytes, a page file holds " + std::to_string(size);
        problems_.push_back(problem + "; " + effect);
        return std::nullopt;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(found));
    file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (file.gcount() != static_cast<std::streamsize>(bytes.size()))
        return std::nullopt; // cut short while being read
    return bytes;
}

std::optional<SectorBuffer> SimulatedBus::LoadPage(const fs::path& path,
                                                   const std::string& effect) {
    SectorBuffer page{};
    const auto bytes = LoadBytes(path, page.size(), effect);
    if (!bytes)
        return std::nullopt;
    std::copy(bytes->begin(), bytes->end(), page.begin());
    return page;
}

namespace {

// "ID RAW N": the id in hex, the raw value and the read as drive.ini numbers;
// nothing for anything else (a raw value past 48 bits included).
std::optional<SimulatedBusRaise> ParseRaisedRaw(const std::string& text) {
    std::istringstream words(text);
    std::string id, raw, from, extra;
    if (!(words >> id >> raw >> from) || (words >> extra))
        return std::nullopt;
    const auto value = ParseDriveIniNumber(raw);
    const auto read = ParseDriveIniNumber(from);
    const auto number = ParseDriveIniNumber(id.rfind("0x", 0) == 0 ? id : "0x" + id);
    if (!value || !read || !number || *number == 0 || *number > 0xFF || *value >> 48 != 0)
        return std::nullopt;
    return SimulatedBusRaise{static_cast<uint8_t>(*number), *value, std::max<uint64_t>(*read, 1)};
}

} // namespace

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
    drive.IniPath = (folder / "drive.ini").string();
    // Watched before it is read, so that no change slips in between.
    WatchIni(drive);
    drive.IniTime = fs::last_write_time(drive.IniPath, ec);
    const auto ini = IniFile::Load(drive.IniPath);
    if (ini && Lower(ini->Get("drive", "kind").value_or("ata")) == "nvme") {
        LoadNvme(drive, name);
    } else {
        drive.Identify = LoadPage(folder / "identify.bin",
                                  name + " aborts IDENTIFY DEVICE, so no scan finds it");
        drive.SmartData = LoadPage(folder / "smart-data.bin", name + " aborts SMART READ DATA");
        drive.SmartThresholds =
            LoadPage(folder / "smart-thresholds.bin", name + " aborts SMART READ THRESHOLDS");
    }
    if (ini) {
        drive.StatusExceeded = Lower(ini->Get("drive", "status").value_or("ok")) == "exceeded";
        drive.Power = ParsePower(ini->Get("drive", "power").value_or("active"));
        // A value that is no 48-bit address leaves the default.
        if (auto max = ini->Get("drive", "native-max")) {
            if (auto lba = ParseDriveIniNumber(*max); lba && *lba <= MaxLba48)
                drive.NativeMax = lba;
        }
        for (const auto& name : SplitList(ini->Get("drive", "fail").value_or("")))
            drive.Fail.insert(name);
        for (const auto& name : SplitList(ini->Get("drive", "abort").value_or("")))
            drive.Abort.insert(name);
        if (auto delay = ini->Get("drive", "delay-ms"))
            drive.DelayMs = static_cast<int>(ParseDriveIniNumber(*delay).value_or(0) % 10000);
        if (auto log = ini->Get("drive", "log"); log && !log->empty())
            drive.LogFile = (folder / *log).string();
        drive.Raise = ParseRaisedRaw(ini->Get("drive", "raise-raw").value_or(""));
    }
    LoadSelfTest(drive, ini ? &*ini : nullptr);
    return &drives_.emplace(driveNumber, std::move(drive)).first->second;
}

std::unique_ptr<DriveHandle> SimulatedBus::OpenDrive(unsigned driveNumber) {
    if (driveNumber > MaxDriveNumber)
        return nullptr;
    Drive* drive = Load(driveNumber);
    if (!drive || drive->Nvme)
        return nullptr;
    ++opens_;
    return std::make_unique<Handle>(*this, *drive, driveNumber);
}

// The folder is watched rather than the file, so that a drive.ini that is
// made, replaced by a rename or deleted is seen as well as one written.
void SimulatedBus::WatchIni(Drive& drive) {
    if (inotify_ < 0)
        return;
    constexpr uint32_t changes = IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE |
                                 IN_MOVED_FROM | IN_MOVED_TO;
    drive.IniWatch = inotify_add_watch(inotify_, drive.Folder.c_str(), changes);
}

// Marks the drives whose drive.ini an event names; a queue that overflowed
// lost events, so every drive counts as changed.
void SimulatedBus::TakeIniEvents() {
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(inotify_, buffer, sizeof buffer);
        if (got <= 0)
            return; // EAGAIN: nothing more has happened
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            const bool overflow = (event->mask & IN_Q_OVERFLOW) != 0;
            if (!overflow && (event->len == 0 || std::string_view(event->name) != "drive.ini"))
                continue;
            for (auto& [number, drive] : drives_)
                if (overflow || drive.IniWatch == event->wd)
                    drive.IniChanged = true;
        }
    }
}

bool SimulatedBus::IniChanged(Drive& drive) {
    if (drive.IniWatch >= 0) {
        TakeIniEvents();
        return std::exchange(drive.IniChanged, false);
    }
    std::error_code ec;
    const auto time = fs::last_write_time(drive.IniPath, ec);
    if (ec || time == drive.IniTime)
        return false;
    drive.IniTime = time;
    return true;
}

void SimulatedBus::ReloadPower(Drive& drive) {
    if (!IniChanged(drive))
        return;
    if (auto ini = IniFile::Load(drive.IniPath))
        drive.Power = ParsePower(ini->Get("drive", "power").value_or("active"));
}

// The power model and the faults drive.ini asks for, before the command
// itself: true when they settled the command, with its outcome in sent.
bool SimulatedBus::Intercept(Drive& drive, AtaCommand& cmd, bool& sent) {
    if (drive.DelayMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(drive.DelayMs));
    ReloadPower(drive);
    if (drive.Power == PowerMode::Sleep) {
        // Not listening; the reset that reaches it leaves it in standby.
        drive.Power = PowerMode::Standby;
        sent = false;
        return true;
    }
    const std::string name = SimulatedCommandName(cmd);
    if (!name.empty() && drive.Fail.count(name)) {
        sent = false;
        return true;
    }
    sent = true;
    if (name.empty() || drive.Abort.count(name)) {
        Abort(cmd);
        return true;
    }
    if (cmd.TaskFile.Command == AtaCmdCheckPowerMode) {
        cmd.TaskFile.SectorCount = PowerModeCount(drive.Power);
        Complete(cmd);
        return true;
    }
    if (cmd.TaskFile.Command != AtaCmdIdentify)
        drive.Power = PowerMode::Active; // spins up for the command
    return false;
}

bool SimulatedBus::Execute(Drive& drive, AtaCommand& cmd) {
    bool sent = true;
    if (Intercept(drive, cmd, sent))
        return sent;
    switch (cmd.TaskFile.Command) {
    case AtaCmdSmart:
        AnswerSmart(drive, cmd);
        break;
    case AtaCmdIdentify:
        AnswerPage(drive.Identify, cmd);
        break;
    case AtaCmdReadNativeMaxExt:
        AnswerNativeMax(drive, cmd);
        break;
    case AtaCmdSetFeatures:
        AnswerSetFeatures(drive, cmd);
        break;
    case AtaCmdReadSectors:
    case AtaCmdReadSectorsExt:
        AnswerReadSector(drive, cmd);
        break;
    default:
        Abort(cmd);
    }
    return true;
}

void SimulatedBus::AnswerPage(const std::optional<SectorBuffer>& page, AtaCommand& cmd) {
    if (!page || !cmd.IsDataIn())
        return Abort(cmd);
    cmd.Data = *page;
    Complete(cmd);
}

// The data page, with the raised raw value from the read raise-raw names on.
void SimulatedBus::AnswerData(Drive& drive, AtaCommand& cmd) {
    ++drive.DataReads;
    if (!drive.SmartData || !drive.Raise || drive.DataReads < drive.Raise->FromRead)
        return AnswerPage(drive.SmartData, cmd);
    SectorBuffer page = *drive.SmartData;
    for (size_t at = 2; at + 12 <= 2 + 30 * 12; at += 12) {
        if (page[at] != drive.Raise->Id)
            continue;
        for (size_t b = 0; b < 6; ++b)
            page[at + 5 + b] = static_cast<uint8_t>(drive.Raise->Raw >> (8 * b));
        break;
    }
    AnswerPage(page, cmd);
}

void SimulatedBus::AnswerSmart(Drive& drive, AtaCommand& cmd) {
    auto& tf = cmd.TaskFile;
    // SMART commands carry the key in LBA Mid/High; without it the drive aborts.
    if (tf.LbaMid != SmartKeyMid || tf.LbaHigh != SmartKeyHigh)
        return Abort(cmd);
    if (tf.Features == SmartExecuteOffline)
        return AnswerSelfTest(drive, cmd);
    if (tf.Features == SmartReadLog)
        return AnswerReadLog(drive, cmd);
    if (tf.Features == SmartReadData) {
        StepSelfTest(drive);
        return AnswerData(drive, cmd);
    }
    if (tf.Features == SmartReadThresholds)
        return AnswerPage(drive.SmartThresholds, cmd);
    if (tf.Features == SmartReturnStatus && drive.StatusExceeded) {
        tf.LbaMid = SmartExceededMid;
        tf.LbaHigh = SmartExceededHigh;
    }
    Complete(cmd);
}

void SimulatedBus::AnswerNativeMax(const Drive& drive, AtaCommand& cmd) {
    if (!drive.Identify || !cmd.Is48Bit())
        return Abort(cmd);
    const auto identity = DecodeIdentify(*drive.Identify);
    const uint64_t sectors = static_cast<uint64_t>(identity.Sectors);
    const uint64_t max = drive.NativeMax.value_or(sectors == 0 ? 0 : sectors - 1);
    auto& tf = cmd.TaskFile;
    tf.LbaLow = static_cast<uint8_t>(max);
    tf.LbaMid = static_cast<uint8_t>(max >> 8);
    tf.LbaHigh = static_cast<uint8_t>(max >> 16);
    cmd.PreviousTaskFile.LbaLow = static_cast<uint8_t>(max >> 24);
    cmd.PreviousTaskFile.LbaMid = static_cast<uint8_t>(max >> 32);
    cmd.PreviousTaskFile.LbaHigh = static_cast<uint8_t>(max >> 40);
    Complete(cmd);
}

// The drive keeps what SET FEATURES switched in its IDENTIFY words, as a
// real one does, and aborts the subcommands of a feature it does not support.
void SimulatedBus::AnswerSetFeatures(Drive& drive, AtaCommand& cmd) {
    const AtaFeatureRow* feature = FeatureRowOfSubcommand(cmd.TaskFile.Features);
    if (!drive.Identify || !feature)
        return Abort(cmd);
    SectorBuffer& id = *drive.Identify;
    if (!(IdentifyWord(id, FeatureSupportedWord) & feature->Mask))
        return Abort(cmd);
    const bool enable = cmd.TaskFile.Features == feature->EnableSubcommand;
    SetBits(id, FeatureEnabledWord, feature->Mask, enable);
    if (enable)
        id[static_cast<size_t>(feature->LevelWord) * 2] = cmd.TaskFile.SectorCount;
    Complete(cmd);
}

void SimulatedBus::AnswerReadSector(const Drive& drive, AtaCommand& cmd) {
    const auto& tf = cmd.TaskFile;
    if (!cmd.IsDataIn() || tf.SectorCount != 1)
        return Abort(cmd);
    uint64_t lba = uint64_t{tf.LbaLow} | (uint64_t{tf.LbaMid} << 8) | (uint64_t{tf.LbaHigh} << 16);
    if (tf.Command == AtaCmdReadSectorsExt) {
        lba |= (uint64_t{cmd.PreviousTaskFile.LbaLow} << 24) |
               (uint64_t{cmd.PreviousTaskFile.LbaMid} << 32) |
               (uint64_t{cmd.PreviousTaskFile.LbaHigh} << 40);
    } else {
        lba |= uint64_t{tf.Device & 0x0Fu} << 24;
    }
    std::ifstream image(fs::path(drive.Folder) / "disk.img", std::ios::binary);
    if (!image || !image.seekg(static_cast<std::streamoff>(lba * AtaSectorSize)))
        return Abort(cmd);
    image.read(reinterpret_cast<char*>(cmd.Data.data()), AtaSectorSize);
    if (image.gcount() != static_cast<std::streamsize>(AtaSectorSize))
        return Abort(cmd); // outside the image
    Complete(cmd);
}

} // namespace quorvane
