// Decoding of the Identify Controller and Identify Namespace pages.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "nvme/Uint128.h"

namespace quorvane {

struct NvmeControllerIdentity {
    uint16_t PciVendor = 0;
    uint16_t PciSubsystemVendor = 0;
    std::string SerialNumber; // trimmed, control characters kept out
    std::string ModelNumber;
    std::string FirmwareRevision;
    uint32_t Version = 0; // major in bits 16-31, minor 8-15, tertiary 0-7
    uint16_t Oacs = 0;    // optional admin commands
    uint8_t Lpa = 0;      // log page attributes
    uint8_t Elpe = 0;     // error log entries the controller keeps, less one
    uint16_t WarningTemperatureK = 0;  // WCTEMP, 0 when not reported
    uint16_t CriticalTemperatureK = 0; // CCTEMP
    Uint128 TotalCapacity = 0;         // bytes, 0 when not reported
    uint32_t NamespaceCount = 0;
};

struct NvmeNamespaceIdentity {
    uint64_t SizeBlocks = 0;     // NSZE
    uint64_t CapacityBlocks = 0; // NCAP
    uint64_t UsedBlocks = 0;     // NUSE
    uint32_t LbaSize = 0;        // bytes of the formatted LBA size; 0 when unusable
    // The size in bytes; nullopt when the page gives no usable size.
    std::optional<Uint128> SizeBytes() const;
};

// nullopt for a page shorter than 4096 bytes.
std::optional<NvmeControllerIdentity> DecodeNvmeController(std::span<const uint8_t> page);
// nullopt for a page shorter than 4096 bytes or a namespace of size 0 (an
// inactive namespace answers with zeros).
std::optional<NvmeNamespaceIdentity> DecodeNvmeNamespace(std::span<const uint8_t> page);

// "1.4", or "1.3.1" when the tertiary number is set; empty for 0 (an NVMe
// 1.0 controller leaves VER clear).
std::string NvmeVersionText(uint32_t version);

// The controller keeps the Error Information log's entries (1..64 of them
// read at once).
unsigned NvmeErrorLogEntries(const NvmeControllerIdentity& id);

// GB of 2^30 bytes, rounded half to even, as the ATA drives' sizes are.
int64_t NvmeSizeGB(Uint128 bytes);

} // namespace quorvane
