// The simulated drive's drive.ini: every command a drive takes, sent to a
// drive whose drive.ini is the input.
#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "FuzzSupport.h"
#include "ata/Identify.h"
#include "ata/SimulatedBus.h"
#include "platform/IniFile.h"

using namespace quorvane;
namespace fs = std::filesystem;

namespace {

// One drive folder per fuzzing process, made on first use.
const fs::path& DriveFolder() {
    static const fs::path folder = [] {
        const fs::path root =
            fs::temp_directory_path() / ("quorvane-fuzz-drive-" + std::to_string(::getpid()));
        fs::create_directories(root / "drive0");
        SectorBuffer identify{};
        identify[86 * 2 + 1] = 0x04; // 48-bit addressing
        identify[85 * 2] = 0x01;     // S.M.A.R.T.
        identify[100 * 2] = 0x00;
        identify[100 * 2 + 1] = 0x10; // 4096 sectors
        std::ofstream(root / "drive0" / "identify.bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(identify.data()), identify.size());
        const std::string page(512, '\x01');
        std::ofstream(root / "drive0" / "smart-data.bin", std::ios::binary) << page;
        std::ofstream(root / "drive0" / "smart-thresholds.bin", std::ios::binary) << page;
        std::ofstream(root / "drive0" / "disk.img", std::ios::binary) << std::string(2048, 'D');
        std::atexit([] {
            fs::remove_all(fs::temp_directory_path() /
                           ("quorvane-fuzz-drive-" + std::to_string(::getpid())));
        });
        return root;
    }();
    return folder;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    // A drive told to take seconds per command only slows the run down.
    if (IniFile::Parse(text).Get("drive", "delay-ms"))
        return 0;
    const fs::path& root = DriveFolder();
    std::ofstream(root / "drive0" / "drive.ini", std::ios::binary | std::ios::trunc) << text;

    SimulatedBus bus(root.string());
    // A folder that says it is an NVMe controller is one: it takes no ATA
    // command, and its admin commands are answered or failed, never more.
    std::string kind = IniFile::Parse(text).Get("drive", "kind").value_or("");
    for (char& c : kind)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (kind == "nvme") {
        FUZZ_CHECK(!bus.OpenDrive(0));
        for (NvmeAdminCommand cmd : {NvmeAdminCommand::IdentifyController(),
                                     NvmeAdminCommand::HealthLog(), NvmeAdminCommand::ErrorLog(4),
                                     NvmeAdminCommand::SelfTestLog()}) {
            if (SendNvmeOnce(bus, 0, cmd) && cmd.Status == 0)
                FUZZ_CHECK(cmd.Answer().size() == cmd.DataLength);
        }
        FUZZ_CHECK(bus.OpenHandles() == 0);
        return 0;
    }
    const AtaCommand commands[] = {
        AtaCommand::SmartEnableOperations(0),   AtaCommand::IdentifyDevice(0),
        AtaCommand::SmartReturnStatus(0),       AtaCommand::SmartReadData(0),
        AtaCommand::SmartReadThresholds(0),     AtaCommand::SmartEnableAutoOffline(0),
        AtaCommand::SmartEnableAutosave(0),     AtaCommand::ReadNativeMaxAddressExt(0),
        AtaCommand::SetFeatures(0, 0x42, 0x9A), AtaCommand::SetFeatures(0, 0x05, 0x7F),
        AtaCommand::ReadSectors(0, 3),          AtaCommand::ReadSectorsExt(0, 2),
    };
    bool aamSet = false;
    for (const AtaCommand& prototype : commands) {
        AtaCommand cmd = prototype;
        const bool sent = SendOnce(bus, 0, cmd);
        FUZZ_CHECK(bus.OpenHandles() == 0);
        if (!AtaSucceeded(sent, cmd))
            continue;
        if (cmd.TaskFile.Command == AtaCmdReadNativeMaxExt ||
            prototype.TaskFile.Command == AtaCmdReadNativeMaxExt)
            FUZZ_CHECK(ReturnedLba48(cmd) < (uint64_t{1} << 48));
        if (prototype.TaskFile.Command == AtaCmdSetFeatures && prototype.TaskFile.Features == 0x42)
            aamSet = true;
        if (prototype.TaskFile.Command == AtaCmdReadSectors ||
            prototype.TaskFile.Command == AtaCmdReadSectorsExt)
            FUZZ_CHECK(cmd.Data[0] == 'D' && cmd.Data[511] == 'D');
    }
    // SET FEATURES leaves its level in the IDENTIFY words.
    AtaCommand identify = AtaCommand::IdentifyDevice(0);
    if (aamSet && AtaSucceeded(SendOnce(bus, 0, identify), identify))
        FUZZ_CHECK(IdentifyWord(identify.Data, 94) % 256 == 0x9A &&
                   (IdentifyWord(identify.Data, 86) & (1u << 9)) != 0);
    FUZZ_CHECK(bus.OpenHandles() == 0);
    FUZZ_CHECK(bus.OpenCount() == static_cast<int>(std::size(commands)) + (aamSet ? 1 : 0));
    return 0;
}
