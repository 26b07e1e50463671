#include "nvme/NvmeHealth.h"

#include <cstdio>

#include "nvme/NvmeCommand.h"
#include "platform/LittleEndian.h"

namespace quorvane {
namespace {

uint32_t U32(std::span<const uint8_t> page, size_t offset) {
    return static_cast<uint32_t>(ReadLittleEndian(page, offset, 4).value_or(0));
}
uint16_t U16(std::span<const uint8_t> page, size_t offset) { return ReadU16Le(page, offset).value_or(0); }

constexpr std::array<const char*, 6> WarningNames{
    "available spare below threshold", "temperature threshold exceeded", "reliability degraded",
    "read-only", "volatile memory backup failed", "persistent memory region read-only",
};

} // namespace

std::optional<NvmeHealthLog> DecodeNvmeHealth(std::span<const uint8_t> page) {
    if (page.size() < NvmeHealthLogSize)
        return std::nullopt;
    NvmeHealthLog log;
    log.CriticalWarning = page[0];
    log.CompositeTemperatureK = U16(page, 1);
    log.AvailableSpare = page[3];
    log.SpareThreshold = page[4];
    log.PercentageUsed = page[5];
    log.EnduranceGroupWarning = page[6];
    log.DataUnitsRead = ReadU128Le(page, 32);
    log.DataUnitsWritten = ReadU128Le(page, 48);
    log.HostReadCommands = ReadU128Le(page, 64);
    log.HostWriteCommands = ReadU128Le(page, 80);
    log.ControllerBusyTime = ReadU128Le(page, 96);
    log.PowerCycles = ReadU128Le(page, 112);
    log.PowerOnHours = ReadU128Le(page, 128);
    log.UnsafeShutdowns = ReadU128Le(page, 144);
    log.MediaErrors = ReadU128Le(page, 160);
    log.ErrorLogEntries = ReadU128Le(page, 176);
    log.WarningTemperatureTime = U32(page, 192);
    log.CriticalTemperatureTime = U32(page, 196);
    for (size_t i = 0; i < log.SensorK.size(); ++i)
        log.SensorK[i] = U16(page, 200 + 2 * i);
    log.Tmt1Transitions = U32(page, 216);
    log.Tmt2Transitions = U32(page, 220);
    log.Tmt1Seconds = U32(page, 224);
    log.Tmt2Seconds = U32(page, 228);
    return log;
}

std::optional<int> NvmeCelsius(uint16_t kelvin) {
    if (kelvin == 0 || kelvin == 0xFFFF)
        return std::nullopt;
    return static_cast<int>(kelvin) - 273;
}

std::vector<std::string> NvmeCriticalWarningNames(uint8_t bits) {
    std::vector<std::string> names;
    for (size_t bit = 0; bit < WarningNames.size(); ++bit)
        if (bits & (1u << bit))
            names.emplace_back(WarningNames[bit]);
    if (bits & 0xC0)
        names.emplace_back("reserved warning bits set");
    return names;
}

std::vector<std::string> NvmeHealthConcerns(const NvmeHealthLog& log) {
    std::vector<std::string> concerns = NvmeCriticalWarningNames(log.CriticalWarning);
    if (log.PercentageUsed >= 100)
        concerns.push_back("percentage used " + std::to_string(log.PercentageUsed) + " %");
    if (log.AvailableSpare < log.SpareThreshold && !(log.CriticalWarning & NvmeWarnSpare))
        concerns.push_back("available spare " + std::to_string(log.AvailableSpare) +
                           " % below its threshold of " + std::to_string(log.SpareThreshold) +
                           " %");
    return concerns;
}

std::vector<NvmeErrorEntry> DecodeNvmeErrorLog(std::span<const uint8_t> bytes) {
    std::vector<NvmeErrorEntry> entries;
    for (size_t at = 0; at + NvmeErrorEntrySize <= bytes.size(); at += NvmeErrorEntrySize) {
        const auto e = bytes.subspan(at, NvmeErrorEntrySize);
        NvmeErrorEntry entry;
        entry.ErrorCount = ReadLittleEndian(e, 0, 8).value_or(0);
        if (entry.ErrorCount == 0)
            continue;
        entry.SubmissionQueue = U16(e, 8);
        entry.CommandId = U16(e, 10);
        entry.Status = static_cast<uint16_t>(U16(e, 12) >> 1);
        entry.ParameterErrorLocation = U16(e, 14);
        entry.Lba = ReadLittleEndian(e, 16, 8).value_or(0);
        entry.Namespace = U32(e, 24);
        entry.VendorInfo = e[28];
        entry.TransportType = e[29];
        entry.CommandSpecific = ReadLittleEndian(e, 32, 8).value_or(0);
        entries.push_back(entry);
    }
    return entries;
}

std::string NvmeErrorEntryText(const NvmeErrorEntry& e) {
    char command[16];
    std::snprintf(command, sizeof command, "0x%04X", static_cast<unsigned>(e.CommandId));
    std::string text = "error " + std::to_string(e.ErrorCount) + ": queue " +
                       std::to_string(e.SubmissionQueue) + ", command " + command + ", " +
                       NvmeStatusText(e.Status);
    // An LBA or namespace the controller left all ones (or 0) names none.
    if (e.Lba != UINT64_MAX && e.Lba != 0)
        text += ", LBA " + std::to_string(e.Lba);
    if (e.Namespace != 0 && e.Namespace != 0xFFFFFFFF)
        text += ", namespace " + std::to_string(e.Namespace);
    return text;
}

std::string NvmeStatusText(uint16_t status) {
    struct Known {
        uint16_t Code;
        const char* Name;
    };
    static constexpr Known known[] = {
        {0x000, "Successful Completion"},  {0x001, "Invalid Command Opcode"},
        {0x002, "Invalid Field in Command"}, {0x004, "Data Transfer Error"},
        {0x006, "Internal Error"},          {0x00B, "Invalid Namespace or Format"},
        {0x080, "LBA Out of Range"},        {0x109, "Invalid Log Page"},
        {0x280, "Write Fault"},             {0x281, "Unrecovered Read Error"},
        {0x282, "End-to-end Guard Check Error"}, {0x286, "Access Denied"},
    };
    const uint16_t code = status & 0x7FF;
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%03X", static_cast<unsigned>(code));
    for (const Known& k : known)
        if (k.Code == code)
            return std::string(k.Name) + " (" + hex + ")";
    return std::string("status ") + hex;
}

} // namespace quorvane

namespace quorvane {

std::optional<NvmeSelfTestLog> DecodeNvmeSelfTestLog(std::span<const uint8_t> page) {
    if (page.size() < NvmeSelfTestLogSize)
        return std::nullopt;
    NvmeSelfTestLog log;
    log.CurrentOperation = page[0] & 0x0F;
    log.CompletionPercent = page[1] & 0x7F;
    for (size_t k = 0; k < 20; ++k) {
        const auto e = page.subspan(4 + k * 28, 28);
        NvmeSelfTestResult r;
        r.Result = e[0] & 0x0F;
        if (r.Result == 0x0F)
            continue; // not used
        r.Code = e[0] >> 4;
        r.Segment = e[1];
        r.PowerOnHours = ReadLittleEndian(e, 4, 8).value_or(0);
        if (e[2] & 0x02)
            r.FailingLba = ReadLittleEndian(e, 16, 8).value_or(0);
        log.Results.push_back(r);
    }
    return log;
}

std::string NvmeSelfTestResultText(uint8_t result) {
    static constexpr const char* texts[] = {
        "Completed without error",
        "Aborted by a Device Self-test command",
        "Aborted by a controller reset",
        "Aborted by a namespace removal",
        "Aborted by a Format NVM command",
        "Fatal or unknown error",
        "Completed: unknown segment failure",
        "Completed: one or more segments failed",
        "Aborted for an unknown reason",
        "Aborted by a sanitize operation",
    };
    if (result < std::size(texts))
        return texts[result];
    char text[32];
    std::snprintf(text, sizeof text, "Unknown result (0x%X)", static_cast<unsigned>(result));
    return text;
}

} // namespace quorvane
