// A drive bus that puts one fault into the traffic of another: the open at a
// given position is refused, or the command at a given position fails (the
// platform call returns false) or is aborted by the drive (ERR with ABRT).
// It counts every open and close, so a test can tell that every handle
// opened was closed again.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ata/DriveBus.h"
#include "ata/SimulatedBus.h"

namespace quorvane::test {

enum class Fault { None, OpenRefused, CommandFails, CommandAborted };

inline const char* FaultName(Fault fault) {
    switch (fault) {
    case Fault::None:
        return "none";
    case Fault::OpenRefused:
        return "open refused";
    case Fault::CommandFails:
        return "command fails";
    case Fault::CommandAborted:
        return "command aborted";
    }
    return "?";
}

class FaultBus final : public DriveBus {
public:
    // One command as it was sent, and whether the fault hit it.
    struct Sent {
        unsigned DriveNumber;
        std::string Name; // SimulatedCommandName, e.g. "smart-status"
        bool Faulted;
    };

    // position counts opens for OpenRefused and commands otherwise, from 0.
    FaultBus(DriveBus& inner, Fault fault = Fault::None, int position = -1)
        : inner_(inner), fault_(fault), position_(position) {}

    std::unique_ptr<DriveHandle> OpenDrive(unsigned driveNumber) override {
        const int at = opensTried_++;
        if (fault_ == Fault::OpenRefused && at == position_) {
            refusedDrive_ = static_cast<int>(driveNumber);
            return nullptr;
        }
        auto handle = inner_.OpenDrive(driveNumber);
        if (!handle)
            return nullptr;
        ++opens_;
        return std::make_unique<Handle>(*this, std::move(handle), driveNumber);
    }
    bool IsSimulated() const override { return inner_.IsSimulated(); }
    bool PermissionDenied() const override { return inner_.PermissionDenied(); }
    std::string Describe() const override { return inner_.Describe(); }

    const std::vector<Sent>& Commands() const { return sent_; }
    int OpensTried() const { return opensTried_; }
    int OpenHandles() const { return opens_ - closes_; }
    // The drive whose open was refused, -1 when none was.
    int RefusedDrive() const { return refusedDrive_; }
    // The command the fault hit, nullptr when none was.
    const Sent* Faulted() const {
        for (const auto& s : sent_)
            if (s.Faulted)
                return &s;
        return nullptr;
    }

private:
    class Handle final : public DriveHandle {
    public:
        Handle(FaultBus& bus, std::unique_ptr<DriveHandle> inner, unsigned n)
            : bus_(bus), inner_(std::move(inner)), number_(n) {}
        ~Handle() override {
            inner_.reset();
            ++bus_.closes_;
        }

    protected:
        bool Send(AtaCommand& cmd) override {
            const int at = static_cast<int>(bus_.sent_.size());
            const bool hit = bus_.fault_ != Fault::None && bus_.fault_ != Fault::OpenRefused &&
                             at == bus_.position_;
            bus_.sent_.push_back({number_, SimulatedCommandName(cmd), hit});
            if (hit && bus_.fault_ == Fault::CommandFails)
                return false;
            if (hit && bus_.fault_ == Fault::CommandAborted) {
                cmd.TaskFile.Features = ErrorAbrt;
                cmd.TaskFile.Command = StatusDrdy | StatusDsc | StatusErr;
                return true;
            }
            return inner_->SendAtaCommand(cmd);
        }

    private:
        FaultBus& bus_;
        std::unique_ptr<DriveHandle> inner_;
        unsigned number_;
    };

    DriveBus& inner_;
    Fault fault_;
    int position_;
    std::vector<Sent> sent_;
    int opensTried_ = 0;
    int opens_ = 0;
    int closes_ = 0;
    int refusedDrive_ = -1;
};

// Every fault at every position of an operation that, without faults, opens
// `opens` times and sends `commands` commands.
struct FaultCase {
    Fault Kind;
    int Position;
};
inline std::vector<FaultCase> EveryFault(int opens, int commands) {
    std::vector<FaultCase> cases;
    for (int i = 0; i < opens; ++i)
        cases.push_back({Fault::OpenRefused, i});
    for (int i = 0; i < commands; ++i) {
        cases.push_back({Fault::CommandFails, i});
        cases.push_back({Fault::CommandAborted, i});
    }
    return cases;
}

} // namespace quorvane::test
