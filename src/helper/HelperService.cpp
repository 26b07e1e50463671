#include "helper/HelperService.h"

#include <cerrno>
#include <systemd/sd-bus.h>

#include "ata/HelperProtocol.h"
#include "ata/SdBusScope.h"

namespace quorvane::helper {
namespace {

constexpr const char* PolkitName = "org.freedesktop.PolicyKit1";
constexpr const char* PolkitPath = "/org/freedesktop/PolicyKit1/Authority";
constexpr const char* PolkitInterface = "org.freedesktop.PolicyKit1.Authority";
// Lets polkit ask an authentication agent for a password.
constexpr uint32_t PolkitAllowUserInteraction = 1;
// Long enough for a password dialog; shorter than the program's own wait.
constexpr uint64_t PolkitTimeoutUsec = 110ull * 1000 * 1000;

using Message = SdBusMessage;
using Error = SdBusError;

} // namespace

HelperService::HelperService(sd_bus* bus, std::unique_ptr<DriveBus> drives)
    : bus_(bus), drives_(std::move(drives)), lastCall_(std::chrono::steady_clock::now()) {}

HelperService::~HelperService() {
    sd_bus_slot_unref(slot_);
}

int HelperService::Start() {
    static const sd_bus_vtable vtable[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_METHOD(HelperMethod, "uay", "bayay", &HelperService::OnSendAtaCommand,
                      SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_PROPERTY(HelperSimulatedProperty, "b", &HelperService::OnSimulated, 0,
                        SD_BUS_VTABLE_PROPERTY_CONST),
        SD_BUS_PROPERTY(HelperDescriptionProperty, "s", &HelperService::OnDescription, 0,
                        SD_BUS_VTABLE_PROPERTY_CONST),
        SD_BUS_VTABLE_END,
    };
    int r = sd_bus_add_object_vtable(bus_, &slot_, HelperObjectPath, HelperInterface, vtable, this);
    if (r < 0)
        return r;
    return sd_bus_request_name(bus_, HelperBusName, 0);
}

int HelperService::Run(std::chrono::seconds idleExit) {
    for (;;) {
        const int r = sd_bus_process(bus_, nullptr);
        if (r < 0)
            return r;
        if (r > 0)
            continue;
        const auto idle = std::chrono::steady_clock::now() - lastCall_;
        if (idle >= idleExit)
            break;
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(idleExit - idle);
        if (const int w = sd_bus_wait(bus_, static_cast<uint64_t>(left.count()));
            w < 0 && w != -EINTR)
            return w;
    }
    // Calls that reach the bus from now on start a new helper; the ones
    // already queued here are still answered.
    sd_bus_release_name(bus_, HelperBusName);
    while (sd_bus_process(bus_, nullptr) > 0) {
    }
    sd_bus_flush(bus_);
    return 0;
}

bool HelperService::Authorized(const char* sender, const char* actionId) {
    if (!sender)
        return false;
    Message call;
    if (sd_bus_message_new_method_call(bus_, &call.m, PolkitName, PolkitPath, PolkitInterface,
                                       "CheckAuthorization") < 0)
        return false;
    // Subject: the caller's unique bus name, which polkit resolves to the
    // calling process itself.
    if (sd_bus_message_append(call.m, "(sa{sv})sa{ss}us", "system-bus-name", 1, "name", "s", sender,
                              actionId, 0, PolkitAllowUserInteraction, "") < 0)
        return false;
    Message reply;
    Error error;
    if (sd_bus_call(bus_, call.m, PolkitTimeoutUsec, &error.e, &reply.m) < 0)
        return false; // no polkit, or it failed: nothing is allowed
    int authorized = 0;
    int challenge = 0;
    if (sd_bus_message_enter_container(reply.m, 'r', "bba{ss}") < 0 ||
        sd_bus_message_read(reply.m, "bb", &authorized, &challenge) < 0)
        return false;
    return authorized != 0;
}

int HelperService::OnSendAtaCommand(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    auto* self = static_cast<HelperService*>(userdata);
    self->Touch();
    uint32_t driveNumber = 0;
    const void* bytes = nullptr;
    size_t size = 0;
    if (int r = sd_bus_message_read(m, "u", &driveNumber); r < 0)
        return r;
    if (int r = sd_bus_message_read_array(m, 'y', &bytes, &size); r < 0)
        return r;
    auto request = CheckHelperRequest(
        driveNumber, std::span<const uint8_t>(static_cast<const uint8_t*>(bytes), size));
    if (!request)
        return sd_bus_error_set(error, HelperErrorNotAllowed,
                                "Only the commands of Quorvane's command table are carried");
    if (!self->Authorized(sd_bus_message_get_sender(m), HelperActionId(request->Access)))
        return sd_bus_error_set(error, HelperErrorNotAuthorized, "Not authorised");

    AtaCommand& cmd = request->Command;
    auto handle = self->drives_->OpenDrive(driveNumber);
    const bool ok = handle && handle->SendAtaCommand(cmd);
    handle.reset();
    self->Touch();

    Message reply;
    if (int r = sd_bus_message_new_method_return(m, &reply.m); r < 0)
        return r;
    const HelperRegisters registers = EncodeHelperRegisters(cmd);
    const size_t dataSize = ok && cmd.IsDataIn() ? AtaSectorSize : 0;
    int r = sd_bus_message_append(reply.m, "b", ok ? 1 : 0);
    if (r >= 0)
        r = sd_bus_message_append_array(reply.m, 'y', registers.data(), registers.size());
    if (r >= 0)
        r = sd_bus_message_append_array(reply.m, 'y', cmd.Data.data(), dataSize);
    if (r < 0)
        return r;
    return sd_bus_send(nullptr, reply.m, nullptr);
}

int HelperService::OnSimulated(sd_bus*, const char*, const char*, const char*,
                               sd_bus_message* reply, void* userdata, sd_bus_error*) {
    auto* self = static_cast<HelperService*>(userdata);
    self->Touch();
    return sd_bus_message_append(reply, "b", self->drives_->IsSimulated() ? 1 : 0);
}

int HelperService::OnDescription(sd_bus*, const char*, const char*, const char*,
                                 sd_bus_message* reply, void* userdata, sd_bus_error*) {
    auto* self = static_cast<HelperService*>(userdata);
    self->Touch();
    return sd_bus_message_append(reply, "s", self->drives_->Describe().c_str());
}

} // namespace quorvane::helper
