#include "smart/SelfTestLog.h"

#include <algorithm>
#include <cstdio>
#include <numeric>

#include "nvme/NvmeHealth.h"
#include "platform/LittleEndian.h"

namespace quorvane {
namespace {

constexpr size_t PageSize = 512;

// The entries of a circular log, newest first: back from the 1-based index
// of the newest one, round past the first entry; none for index 0. At most
// limit of them.
std::vector<std::span<const uint8_t>> NewestFirst(std::span<const uint8_t> page, size_t first,
                                                  size_t size, size_t count, size_t index,
                                                  size_t limit) {
    std::vector<std::span<const uint8_t>> entries;
    for (size_t k = 0; index != 0 && k < count && k < limit; ++k)
        entries.push_back(page.subspan(first + ((index - 1 + count - k) % count) * size, size));
    return entries;
}

// Lower-case hex, as smartctl prints unknown codes: "0xa", "0x05".
std::string Hex(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*x", digits, value);
    return text;
}

bool Unused(std::span<const uint8_t> entry) {
    return std::all_of(entry.begin(), entry.end(), [](uint8_t b) { return b == 0; });
}

uint16_t U16(std::span<const uint8_t> b, size_t at) { return ReadU16Le(b, at).value_or(0); }

} // namespace

SelfTestExecution DecodeSelfTestExecution(std::span<const uint8_t> page) {
    SelfTestExecution e;
    if (page.size() < PageSize)
        return e;
    e.Status = page[363] >> 4;
    if (e.Running())
        e.PercentRemaining = (page[363] & 0x0F) * 10;
    return e;
}

SelfTestCapabilities DecodeSelfTestCapabilities(std::span<const uint8_t> page) {
    SelfTestCapabilities c;
    if (page.size() < PageSize)
        return c;
    c.SelfTest = page[367] & 0x10;
    c.Conveyance = page[367] & 0x20;
    c.Selective = page[367] & 0x40;
    c.ErrorLogging = page[370] & 0x01;
    c.ShortMinutes = page[372];
    // 0xFF in the byte: the time is the word at 375-376.
    c.ExtendedMinutes = page[373] == 0xFF ? U16(page, 375) : page[373];
    c.ConveyanceMinutes = page[374];
    return c;
}

std::string SelfTestStatusText(uint8_t status) {
    static constexpr const char* texts[] = {
        "Completed without error",       "Aborted by host",
        "Interrupted (host reset)",      "Fatal or unknown error",
        "Completed: unknown failure",    "Completed: electrical failure",
        "Completed: servo/seek failure", "Completed: read failure",
        "Completed: handling damage??",
    };
    if (status < std::size(texts))
        return texts[status];
    if (status == 15)
        return "Self-test routine in progress";
    return "Unknown status (" + Hex(status, 1) + ")";
}

bool EntryFailed(const SelfTestEntry& e) {
    return e.Nvme ? e.Status >= 5 && e.Status <= 7 : SelfTestFailed(e.Status);
}

std::string EntryKindText(const SelfTestEntry& e) {
    if (!e.Nvme)
        return SelfTestKindText(e.Subcommand);
    return e.Subcommand == 1 ? "Short" : e.Subcommand == 2 ? "Extended" : "Vendor (" + Hex(e.Subcommand, 1) + ")";
}

std::string EntryStatusText(const SelfTestEntry& e) {
    return e.Nvme ? NvmeSelfTestResultText(e.Status) : SelfTestStatusText(e.Status);
}

std::string SelfTestKindText(uint8_t sub) {
    switch (sub) {
    case 0: return "Offline";
    case 1: return "Short offline";
    case 2: return "Extended offline";
    case 3: return "Conveyance offline";
    case 4: return "Selective offline";
    case 0x81: return "Short captive";
    case 0x82: return "Extended captive";
    case 0x83: return "Conveyance captive";
    case 0x84: return "Selective captive";
    case 0x7F: return "Abort offline test";
    default:
        // 40h-7Eh and 90h-FFh are the vendors'; the rest is reserved.
        if ((sub >= 0x40 && sub <= 0x7E) || sub >= 0x90)
            return "Vendor (" + Hex(sub, 2) + ")";
        return "Reserved (" + Hex(sub, 2) + ")";
    }
}

bool LogChecksumOk(std::span<const uint8_t> page) {
    if (page.size() < PageSize)
        return false;
    return std::accumulate(page.begin(), page.begin() + PageSize, 0u) % 256 == 0;
}

std::optional<std::vector<SelfTestEntry>> DecodeSelfTestLog(std::span<const uint8_t> page,
                                                            bool ext) {
    if (!LogChecksumOk(page))
        return std::nullopt;
    const size_t count = ext ? 19 : 21;
    const size_t size = ext ? 26 : 24;
    const size_t first = ext ? 4 : 2;
    // The index names the newest entry, 1-based; 0 when the log is empty.
    const size_t index = ext ? U16(page, 2) : page[508];
    if (index > count)
        return std::nullopt;
    std::vector<SelfTestEntry> entries;
    for (const auto d : NewestFirst(page, first, size, count, index, count)) {
        // Unused: the log has not wrapped yet, or (some drives) a blank
        // entry between used ones, which must not hide the older ones.
        if (Unused(d))
            continue;
        SelfTestEntry e;
        e.Subcommand = d[0];
        e.Status = d[1] >> 4;
        e.PercentRemaining = (d[1] & 0x0F) * 10;
        e.PowerOnHours = U16(d, 2);
        const uint64_t lba = ext ? ReadLittleEndian(d, 5, 6).value_or(0)
                                 : ReadLittleEndian(d, 5, 4).value_or(0);
        // A failing LBA is kept only where the drive gives one: a failure
        // with an address other than the all-ones "none".
        const uint64_t none = ext ? 0xFFFFFFFFFFFFull : 0xFFFFFFFFull;
        if (SelfTestFailed(e.Status) && lba != none)
            e.FirstFailingLba = lba;
        entries.push_back(e);
    }
    return entries;
}

std::optional<ErrorLog> DecodeErrorLog(std::span<const uint8_t> page, bool ext) {
    if (!LogChecksumOk(page))
        return std::nullopt;
    const size_t count = ext ? 4 : 5;
    const size_t size = ext ? 124 : 90;
    const size_t first = ext ? 4 : 2;
    const size_t index = ext ? U16(page, 2) : page[1];
    if (index > count)
        return std::nullopt;
    ErrorLog log;
    log.ErrorCount = U16(page, ext ? 500 : 452);
    for (const auto d : NewestFirst(page, first, size, count, index, log.ErrorCount)) {
        if (Unused(d))
            continue; // zero-filled: an entry the drive never wrote
        ErrorLogEntry e;
        if (ext) {
            // Five command structures of 18 bytes, the one the error is
            // reported for last; then the error structure (34 bytes). The
            // 48-bit LBA comes in the order 7:0, 31:24, 15:8, 39:32, 23:16,
            // 47:40.
            const auto cmd = d.subspan(4 * 18, 18);
            e.Features = static_cast<uint16_t>(cmd[1] | cmd[2] << 8);
            e.SectorCount = static_cast<uint16_t>(cmd[3] | cmd[4] << 8);
            e.Lba = cmd[5] | (uint64_t{cmd[7]} << 8) | (uint64_t{cmd[9]} << 16) |
                    (uint64_t{cmd[6]} << 24) | (uint64_t{cmd[8]} << 32) |
                    (uint64_t{cmd[10]} << 40);
            e.Device = cmd[11];
            e.Command = cmd[12];
            const auto err = d.subspan(90, 34);
            e.Error = err[1];
            e.Status = err[11];
            e.State = err[31];
            e.PowerOnHours = U16(err, 32);
        } else {
            const auto cmd = d.subspan(4 * 12, 12);
            e.Features = cmd[1];
            e.SectorCount = cmd[2];
            e.Lba = cmd[3] | (uint64_t{cmd[4]} << 8) | (uint64_t{cmd[5]} << 16) |
                    (uint64_t{cmd[6] & 0x0Fu} << 24);
            e.Device = cmd[6];
            e.Command = cmd[7];
            const auto err = d.subspan(60, 30);
            e.Error = err[1];
            e.Status = err[7];
            e.State = err[27];
            e.PowerOnHours = U16(err, 28);
        }
        log.Entries.push_back(e);
    }
    return log;
}

std::string ErrorStateText(uint8_t state) {
    switch (state & 0x0F) {
    case 0: return "Unknown";
    case 1: return "Sleep";
    case 2: return "Standby";
    case 3: return "Active or idle";
    case 4: return "Off-line or self-test";
    default: return "Vendor (" + Hex(state & 0x0Fu, 1) + ")";
    }
}

int LogPages(std::span<const uint8_t> directory, uint8_t address) {
    if (address == 0)
        return 1;
    return U16(directory, 2u * address);
}

} // namespace quorvane
