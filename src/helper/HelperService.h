// quorvane-helper: the one privileged part of Quorvane. It owns
// org.quorvane.Helper1 on the system bus and carries the program's ATA
// commands to the drives, only commands of the command table, each one
// authorised by polkit for the process that sent it.
#pragma once

#include <chrono>
#include <memory>
#include <systemd/sd-bus.h>

#include "ata/DriveBus.h"

namespace quorvane::helper {

class HelperService {
public:
    HelperService(sd_bus* bus, std::unique_ptr<DriveBus> drives);
    ~HelperService();
    HelperService(const HelperService&) = delete;
    HelperService& operator=(const HelperService&) = delete;

    // Publishes the object and takes the bus name; a negative errno when the
    // name cannot be had (another owner, or the bus policy says no).
    int Start();
    // Serves calls until idleExit has passed without one, then gives up the
    // name and answers what was already queued. A negative errno when the
    // connection failed.
    int Run(std::chrono::seconds idleExit);

private:
    static int OnSendAtaCommand(sd_bus_message* m, void* self, sd_bus_error* error);
    static int OnSimulated(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply,
                           void* self, sd_bus_error*);
    static int OnDescription(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply,
                             void* self, sd_bus_error*);
    // Asks polkit whether the sender of a call may have the access.
    bool Authorized(const char* sender, const char* actionId);
    void Touch() { lastCall_ = std::chrono::steady_clock::now(); }

    sd_bus* bus_;
    std::unique_ptr<DriveBus> drives_;
    sd_bus_slot* slot_ = nullptr;
    std::chrono::steady_clock::time_point lastCall_;
};

} // namespace quorvane::helper
