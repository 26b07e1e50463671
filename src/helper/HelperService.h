// quorvane-helper: the one privileged part of Quorvane. It owns
// org.quorvane.Helper1 on the system bus and carries the program's ATA
// commands to the drives, only commands of the command table, each one
// authorised by polkit for the process that sent it.
//
// polkit is asked without waiting for it: while one caller's check waits for
// a password, the other callers are served.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <systemd/sd-bus.h>

#include "ata/DriveBus.h"

namespace quorvane::helper {

class HelperService {
public:
    // Long enough for a password dialog; shorter than the program's own wait.
    static constexpr std::chrono::seconds DefaultPolkitTimeout{110};
    // Requests of one caller that may wait for polkit at once; more are
    // refused as busy.
    static constexpr unsigned MaxChecksPerCaller = 4;

    HelperService(sd_bus* bus, std::unique_ptr<DriveBus> drives,
                  std::chrono::microseconds polkitTimeout = DefaultPolkitTimeout);
    ~HelperService();
    HelperService(const HelperService&) = delete;
    HelperService& operator=(const HelperService&) = delete;

    // Publishes the object and takes the bus name; a negative errno when the
    // name cannot be had (another owner, or the bus policy says no).
    int Start();
    // Serves calls until idleExit has passed without one and no request
    // waits for polkit, then gives up the name and answers what was already
    // queued or waiting. A negative errno when the connection failed.
    int Run(std::chrono::seconds idleExit);

private:
    struct Check; // a request waiting for polkit's answer

    static int OnSendAtaCommand(sd_bus_message* m, void* self, sd_bus_error* error);
    static int OnSendNvmeAdmin(sd_bus_message* m, void* self, sd_bus_error* error);
    // What both methods do once the request passed its check: the caller's
    // limit, then polkit.
    int Admit(sd_bus_message* m, std::unique_ptr<Check> check, sd_bus_error* error);
    static int OnSimulated(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply,
                           void* self, sd_bus_error*);
    static int OnDescription(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply,
                             void* self, sd_bus_error*);
    static int OnCheckAnswered(sd_bus_message* answer, void* check, sd_bus_error*);
    // Asks polkit whether the sender of the call may have the request's
    // access; the call is answered when polkit is.
    int StartCheck(sd_bus_message* call, std::unique_ptr<Check> check, sd_bus_error* error);
    std::unique_ptr<Check> Forget(uint64_t id);
    void Cancel(const Check& check);
    // Sends the checked command to the drive and answers the call with it.
    int Carry(Check& check);
    int CarryNvme(Check& check);
    void Touch() { lastCall_ = std::chrono::steady_clock::now(); }

    sd_bus* bus_;
    std::unique_ptr<DriveBus> drives_;
    const uint64_t polkitTimeoutUsec_;
    sd_bus_slot* slot_ = nullptr;
    std::chrono::steady_clock::time_point lastCall_;
    uint64_t lastCheckId_ = 0;
    std::map<uint64_t, std::unique_ptr<Check>> checks_;
    std::map<std::string, unsigned> checksOf_; // waiting checks per caller
};

} // namespace quorvane::helper
