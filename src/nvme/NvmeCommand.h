// One NVMe admin command and, once sent, its answer; and the table of every
// admin command the system sends.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "ata/CommandAccess.h"

namespace quorvane {

// Controllers 0..15: /dev/nvme0../dev/nvme15.
inline constexpr unsigned MaxNvmeController = 15;

inline constexpr uint8_t NvmeAdminGetLogPage = 0x02;
inline constexpr uint8_t NvmeAdminIdentify = 0x06;
inline constexpr uint8_t NvmeAdminDeviceSelfTest = 0x14;
inline constexpr uint8_t NvmeLogSelfTest = 0x06;
inline constexpr uint32_t NvmeSelfTestLogSize = 564;
// Identify Controller's OACS bit 4: the controller has Device Self-test.
inline constexpr uint16_t NvmeOacsSelfTest = 0x10;
// Device Self-test's codes (dword 10): short, extended, abort.
enum class NvmeSelfTestCode : uint8_t { Short = 0x1, Extended = 0x2, Abort = 0xF };
inline constexpr uint32_t NvmeCnsNamespace = 0x00;
inline constexpr uint32_t NvmeCnsController = 0x01;
inline constexpr uint8_t NvmeLogError = 0x01;
inline constexpr uint8_t NvmeLogHealth = 0x02;
inline constexpr uint32_t NvmeAllNamespaces = 0xFFFFFFFF;

inline constexpr uint32_t NvmeIdentifySize = 4096;
inline constexpr uint32_t NvmeHealthLogSize = 512;
inline constexpr uint32_t NvmeErrorEntrySize = 64;
// The largest answer any command of the table asks for.
inline constexpr uint32_t NvmeMaxDataLength = 4096;
inline constexpr unsigned NvmeMaxErrorEntries = NvmeMaxDataLength / NvmeErrorEntrySize;
inline constexpr int NvmeTimeoutSeconds = 2;

struct NvmeAdminCommand {
    uint8_t Opcode = 0;
    uint32_t Nsid = 0;
    std::array<uint32_t, 6> Cdw{}; // command dwords 10..15
    uint32_t DataLength = 0;       // bytes the controller is to hand over
    std::array<uint8_t, NvmeMaxDataLength> Data{};
    // The completion: dword 0, and the status field (status code type in
    // bits 8-10, status code in bits 0-7; 0 is success).
    uint32_t Result = 0;
    uint16_t Status = 0;
    int TimeoutSeconds = NvmeTimeoutSeconds;

    std::span<const uint8_t> Answer() const { return {Data.data(), DataLength}; }

    static NvmeAdminCommand IdentifyController();
    static NvmeAdminCommand IdentifyNamespace();
    // The SMART / Health Information log of the whole controller.
    static NvmeAdminCommand HealthLog();
    // The newest `entries` entries of the Error Information log (1..64).
    static NvmeAdminCommand ErrorLog(unsigned entries);
    // Device Self-test of every namespace, and the Device Self-test log.
    static NvmeAdminCommand DeviceSelfTest(NvmeSelfTestCode code);
    static NvmeAdminCommand SelfTestLog();
};

// One row of the NVMe command table. Get Log Page carries the log id in
// bits 0-7 of dword 10 and the number of dwords less one in bits 16-31; a
// row with FreeLength lets the caller choose that number, in whole entries
// of EntrySize bytes up to DataLength.
struct NvmeCommandRow {
    const char* Name;
    uint8_t Opcode;
    uint32_t Nsid;
    uint32_t Cdw10; // the fixed bits; for FreeLength rows without the count
    uint32_t DataLength;
    bool FreeLength;
    uint32_t EntrySize;
    CommandAccess Access;
};

std::span<const NvmeCommandRow> NvmeCommandTable();

// The row a command is exactly an instance of, nullptr for any other: the
// opcode, namespace and dword 10 of a row, dwords 11-15 zero, and the data
// length the row (or, for a free length, dword 10's count) says.
const NvmeCommandRow* FindNvmeCommandRow(const NvmeAdminCommand& cmd);
// The row's name of a command ("smart-log"), empty for none.
const char* NvmeCommandName(const NvmeAdminCommand& cmd);

// Every bus runs this before touching a device.
inline bool NvmeCommandIsCarriable(const NvmeAdminCommand& cmd) {
    return FindNvmeCommandRow(cmd) != nullptr;
}

// A command went through and the controller completed it with success.
inline bool NvmeSucceeded(bool sent, const NvmeAdminCommand& cmd) {
    return sent && cmd.Status == 0;
}

} // namespace quorvane
