// Shared pieces of the fuzz targets: reading the input in pieces, checking
// properties, and a drive bus whose drives answer from the input.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "ata/DriveBus.h"

// A broken property is a finding like a crash: print it and abort, so
// libFuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "property broken at %s:%d: %s\n", __FILE__, __LINE__,             \
                         #condition);                                                              \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

namespace quorvane::fuzz {

// Takes the input front to back; past the end every read gives zeros.
class InputReader {
public:
    InputReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    size_t Remaining() const { return size_ - at_; }
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    uint16_t Word() { return static_cast<uint16_t>(Byte() | (Byte() << 8)); }
    uint64_t Bytes48() {
        uint64_t value = 0;
        for (int i = 0; i < 6; ++i)
            value |= static_cast<uint64_t>(Byte()) << (8 * i);
        return value;
    }
    // Exactly n bytes, zero-padded when the input ends first.
    std::vector<uint8_t> Block(size_t n) {
        std::vector<uint8_t> block(n, 0);
        const size_t take = std::min(n, Remaining());
        if (take > 0)
            std::memcpy(block.data(), data_ + at_, take);
        at_ += take;
        return block;
    }
    // The rest, as a heap copy of its exact size (reads past it are caught).
    std::vector<uint8_t> Rest() { return Block(Remaining()); }
    std::string RestText() {
        const auto rest = Rest();
        return {rest.begin(), rest.end()};
    }
    // Up to n bytes as text.
    std::string Text(size_t n) {
        const auto block = Block(std::min(n, Remaining()));
        return {block.begin(), block.end()};
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// Drives whose every answer comes from the input. Layout:
//
//   0..1      which drive numbers 0..15 exist (bit N)
//   2..3      LBA Mid / High SMART RETURN STATUS answers with
//   4..9      the native max address, 48 bits little-endian
//   10        the Status byte a successful command ends with (ERR cleared)
//   11        the Error byte of an aborted command
//   12..523   IDENTIFY DEVICE data
//   524..1035 SMART READ DATA
//   1036..    SMART READ THRESHOLDS (512 bytes)
//   then      one byte per command sent, in order: 0 the request goes
//             through, 1 it fails, 2 the drive aborts it (ERR); a command
//             beyond these bytes goes through
//
// Sectors of READ SECTOR(S) come from `Sectors` (LBA -> 512 bytes); an
// unlisted sector is aborted.
class InputBus final : public DriveBus {
public:
    InputBus(const uint8_t* data, size_t size) {
        InputReader in(data, size);
        mask_ = in.Word();
        statusMid_ = in.Byte();
        statusHigh_ = in.Byte();
        nativeMax_ = in.Bytes48();
        okStatus_ = static_cast<uint8_t>(in.Byte() & ~StatusErr);
        abortError_ = in.Byte();
        std::ranges::copy(in.Block(512), Identify.begin());
        std::ranges::copy(in.Block(512), SmartData.begin());
        std::ranges::copy(in.Block(512), SmartThresholds.begin());
        outcomes_ = in.Rest();
    }

    std::unique_ptr<DriveHandle> OpenDrive(unsigned driveNumber) override {
        if (driveNumber > 15 || (mask_ & (1u << driveNumber)) == 0)
            return nullptr;
        ++opens_;
        return std::make_unique<Handle>(*this, driveNumber);
    }
    bool IsSimulated() const override { return true; }
    bool PermissionDenied() const override { return false; }
    std::string Describe() const override { return "fuzz input"; }

    int OpenHandles() const { return opens_ - closes_; }
    int Commands() const { return static_cast<int>(sent_); }

    std::array<uint8_t, 512> Identify{}, SmartData{}, SmartThresholds{};
    std::vector<std::pair<uint32_t, std::array<uint8_t, 512>>> Sectors;

private:
    class Handle final : public DriveHandle {
    public:
        Handle(InputBus& bus, unsigned number) : bus_(bus), number_(number) {}
        ~Handle() override { ++bus_.closes_; }

    protected:
        bool Send(AtaCommand& cmd) override { return bus_.Answer(cmd, number_); }

    private:
        InputBus& bus_;
        unsigned number_;
    };

    bool Answer(AtaCommand& cmd, unsigned) {
        const uint8_t outcome = sent_ < outcomes_.size() ? outcomes_[sent_] % 3 : 0;
        ++sent_;
        if (outcome == 1)
            return false;
        AtaRegisters& tf = cmd.TaskFile;
        if (outcome == 2) {
            tf.Features = abortError_;
            tf.Command = static_cast<uint8_t>(okStatus_ | StatusErr);
            return true;
        }
        const uint8_t command = tf.Command;
        const uint8_t sub = tf.Features;
        tf.Features = 0;
        tf.Command = okStatus_;
        auto give = [&](std::span<const uint8_t> page) {
            std::copy(page.begin(), page.end(), cmd.Data.begin());
        };
        if (command == AtaCmdIdentify) {
            give(Identify);
        } else if (command == AtaCmdSmart && sub == SmartReadData) {
            give(SmartData);
        } else if (command == AtaCmdSmart && sub == SmartReadThresholds) {
            give(SmartThresholds);
        } else if (command == AtaCmdSmart && sub == SmartReturnStatus) {
            tf.LbaMid = statusMid_;
            tf.LbaHigh = statusHigh_;
        } else if (command == AtaCmdReadNativeMaxExt) {
            tf.LbaLow = static_cast<uint8_t>(nativeMax_);
            tf.LbaMid = static_cast<uint8_t>(nativeMax_ >> 8);
            tf.LbaHigh = static_cast<uint8_t>(nativeMax_ >> 16);
            cmd.PreviousTaskFile.LbaLow = static_cast<uint8_t>(nativeMax_ >> 24);
            cmd.PreviousTaskFile.LbaMid = static_cast<uint8_t>(nativeMax_ >> 32);
            cmd.PreviousTaskFile.LbaHigh = static_cast<uint8_t>(nativeMax_ >> 40);
        } else if (command == AtaCmdReadSectors || command == AtaCmdReadSectorsExt) {
            uint64_t lba = tf.LbaLow | (tf.LbaMid << 8) | (uint64_t{tf.LbaHigh} << 16);
            if (command == AtaCmdReadSectorsExt)
                lba |= (uint64_t{cmd.PreviousTaskFile.LbaLow} << 24) |
                       (uint64_t{cmd.PreviousTaskFile.LbaMid} << 32) |
                       (uint64_t{cmd.PreviousTaskFile.LbaHigh} << 40);
            else
                lba |= uint64_t{static_cast<uint8_t>(tf.Device & 0x0F)} << 24;
            const auto found = std::ranges::find_if(
                Sectors, [&](const auto& sector) { return sector.first == lba; });
            if (found == Sectors.end()) {
                tf.Features = ErrorAbrt;
                tf.Command = static_cast<uint8_t>(okStatus_ | StatusErr);
                return true;
            }
            give(found->second);
        }
        return true;
    }

    uint16_t mask_ = 0;
    uint8_t statusMid_ = 0, statusHigh_ = 0, okStatus_ = 0, abortError_ = 0;
    uint64_t nativeMax_ = 0;
    std::vector<uint8_t> outcomes_;
    size_t sent_ = 0;
    int opens_ = 0, closes_ = 0;
};

} // namespace quorvane::fuzz
