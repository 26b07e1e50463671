#include "helper/HelperService.h"

#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>
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

using Message = SdBusMessage;

// What polkit said; no answer, an error or a malformed one allows nothing.
bool Granted(sd_bus_message* answer) {
    if (sd_bus_message_is_method_error(answer, nullptr))
        return false;
    int authorized = 0;
    int challenge = 0;
    if (sd_bus_message_enter_container(answer, 'r', "bba{ss}") < 0 ||
        sd_bus_message_read(answer, "bb", &authorized, &challenge) < 0)
        return false;
    return authorized != 0;
}

} // namespace

struct HelperService::Check {
    HelperService* Service = nullptr;
    uint64_t Id = 0;
    std::string Caller;   // the caller's unique bus name
    std::string CancelId; // what polkit knows the check by
    Message Call;         // the caller's SendAtaCommand, answered later
    uint32_t DriveNumber = 0; // or the NVMe controller's number
    CommandAccess Access = CommandAccess::ReadSmart;
    std::optional<HelperRequest> Request;
    std::optional<HelperNvmeRequest> NvmeRequest;
    sd_bus_slot* Pending = nullptr; // the CheckAuthorization call under way
    ~Check() { sd_bus_slot_unref(Pending); }
};

HelperService::HelperService(sd_bus* bus, std::unique_ptr<DriveBus> drives,
                             std::chrono::microseconds polkitTimeout)
    : bus_(bus), drives_(std::move(drives)),
      polkitTimeoutUsec_(static_cast<uint64_t>(polkitTimeout.count())),
      lastCall_(std::chrono::steady_clock::now()) {}

HelperService::~HelperService() {
    // Checks still waiting are dropped unanswered with the connection.
    checks_.clear();
    sd_bus_slot_unref(slot_);
}

int HelperService::Start() {
    static const sd_bus_vtable vtable[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_METHOD(HelperMethod, "uay", "bayay", &HelperService::OnSendAtaCommand,
                      SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_METHOD(HelperNvmeMethod, "uay", "bquay", &HelperService::OnSendNvmeAdmin,
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
    constexpr uint64_t Forever = UINT64_MAX;
    for (;;) {
        const int r = sd_bus_process(bus_, nullptr);
        if (r < 0)
            return r;
        if (r > 0)
            continue;
        // A caller waiting for polkit is no idleness.
        uint64_t wait = Forever;
        if (checks_.empty()) {
            const auto idle = std::chrono::steady_clock::now() - lastCall_;
            if (idle >= idleExit)
                break;
            wait = static_cast<uint64_t>(
                std::chrono::duration_cast<std::chrono::microseconds>(idleExit - idle).count());
        }
        if (const int w = sd_bus_wait(bus_, wait); w < 0 && w != -EINTR)
            return w;
    }
    // Calls that reach the bus from now on start a new helper; the ones
    // already queued here are still answered, after polkit if need be.
    sd_bus_release_name(bus_, HelperBusName);
    for (;;) {
        const int r = sd_bus_process(bus_, nullptr);
        if (r < 0)
            return r;
        if (r > 0)
            continue;
        if (checks_.empty())
            break;
        if (const int w = sd_bus_wait(bus_, Forever); w < 0 && w != -EINTR)
            return w;
    }
    sd_bus_flush(bus_);
    return 0;
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
    auto check = std::make_unique<Check>();
    check->DriveNumber = driveNumber;
    check->Access = request->Access;
    check->Request = *request;
    return self->Admit(m, std::move(check), error);
}

int HelperService::OnSendNvmeAdmin(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    auto* self = static_cast<HelperService*>(userdata);
    self->Touch();
    uint32_t controller = 0;
    const void* bytes = nullptr;
    size_t size = 0;
    if (int r = sd_bus_message_read(m, "u", &controller); r < 0)
        return r;
    if (int r = sd_bus_message_read_array(m, 'y', &bytes, &size); r < 0)
        return r;
    auto request = CheckHelperNvmeRequest(
        controller, std::span<const uint8_t>(static_cast<const uint8_t*>(bytes), size));
    if (!request)
        return sd_bus_error_set(error, HelperErrorNotAllowed,
                                "Only the commands of Quorvane's command table are carried");
    auto check = std::make_unique<Check>();
    check->DriveNumber = controller;
    check->Access = request->Access;
    check->NvmeRequest = *request;
    return self->Admit(m, std::move(check), error);
}

int HelperService::Admit(sd_bus_message* m, std::unique_ptr<Check> check, sd_bus_error* error) {
    const char* sender = sd_bus_message_get_sender(m);
    if (!sender)
        return sd_bus_error_set(error, HelperErrorNotAuthorized, "Not authorised");
    if (auto waiting = checksOf_.find(sender);
        waiting != checksOf_.end() && waiting->second >= MaxChecksPerCaller)
        return sd_bus_error_set(error, HelperErrorBusy,
                                "Too many commands of this caller wait for authorisation");
    check->Caller = sender;
    return StartCheck(m, std::move(check), error);
}

int HelperService::StartCheck(sd_bus_message* m, std::unique_ptr<Check> check,
                              sd_bus_error* error) {
    check->Service = this;
    check->Id = ++lastCheckId_;
    check->CancelId = "quorvane-helper-" + std::to_string(check->Id);
    Message call;
    // Subject: the caller's unique bus name, which polkit resolves to the
    // calling process itself.
    if (sd_bus_message_new_method_call(bus_, &call.m, PolkitName, PolkitPath, PolkitInterface,
                                       "CheckAuthorization") < 0 ||
        sd_bus_message_append(call.m, "(sa{sv})sa{ss}us", "system-bus-name", 1, "name", "s",
                              check->Caller.c_str(), HelperActionId(check->Access), 0,
                              PolkitAllowUserInteraction, check->CancelId.c_str()) < 0 ||
        sd_bus_call_async(bus_, &check->Pending, call.m, &HelperService::OnCheckAnswered,
                          check.get(), polkitTimeoutUsec_) < 0)
        // No polkit to ask: nothing is allowed.
        return sd_bus_error_set(error, HelperErrorNotAuthorized, "Not authorised");
    check->Call.m = sd_bus_message_ref(m);
    ++checksOf_[check->Caller];
    const uint64_t id = check->Id;
    checks_.emplace(id, std::move(check));
    return 1; // answered when polkit is
}

std::unique_ptr<HelperService::Check> HelperService::Forget(uint64_t id) {
    auto found = checks_.find(id);
    if (found == checks_.end())
        return nullptr;
    std::unique_ptr<Check> check = std::move(found->second);
    checks_.erase(found);
    auto count = checksOf_.find(check->Caller);
    if (count != checksOf_.end() && --count->second == 0)
        checksOf_.erase(count);
    return check;
}

void HelperService::Cancel(const Check& check) {
    // polkit would otherwise keep the check, and its password dialog, open.
    sd_bus_call_method_async(bus_, nullptr, PolkitName, PolkitPath, PolkitInterface,
                             "CancelCheckAuthorization", nullptr, nullptr, "s",
                             check.CancelId.c_str());
}

int HelperService::OnCheckAnswered(sd_bus_message* answer, void* userdata, sd_bus_error*) {
    auto* waiting = static_cast<Check*>(userdata);
    HelperService* self = waiting->Service;
    const std::unique_ptr<Check> check = self->Forget(waiting->Id);
    if (!check)
        return 0;
    self->Touch();
    // A caller that has gone meanwhile gets no answer; nothing else is done
    // about it.
    if (sd_bus_message_is_method_error(answer, SD_BUS_ERROR_NO_REPLY)) {
        // No answer in time: our own time-out, or the bus gave up waiting.
        self->Cancel(*check);
        sd_bus_reply_method_errorf(check->Call.m, HelperErrorNotAuthorized,
                                   "Not authorised: polkit did not answer in time");
    } else if (!Granted(answer)) {
        sd_bus_reply_method_errorf(check->Call.m, HelperErrorNotAuthorized, "Not authorised");
    } else if (const int r = check->NvmeRequest ? self->CarryNvme(*check) : self->Carry(*check);
               r < 0) {
        sd_bus_reply_method_errno(check->Call.m, r, nullptr);
    }
    return 0;
}

int HelperService::Carry(Check& check) {
    AtaCommand& cmd = check.Request->Command;
    auto handle = drives_->OpenDrive(check.DriveNumber);
    const bool ok = handle && handle->SendAtaCommand(cmd);
    handle.reset();
    Touch();

    Message reply;
    if (int r = sd_bus_message_new_method_return(check.Call.m, &reply.m); r < 0)
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

int HelperService::CarryNvme(Check& check) {
    NvmeAdminCommand& cmd = check.NvmeRequest->Command;
    auto handle = drives_->OpenNvme(check.DriveNumber);
    const bool ok = handle && handle->SendNvmeAdmin(cmd);
    handle.reset();
    Touch();

    Message reply;
    if (int r = sd_bus_message_new_method_return(check.Call.m, &reply.m); r < 0)
        return r;
    const size_t dataSize = ok && cmd.Status == 0 ? cmd.DataLength : 0;
    int r = sd_bus_message_append(reply.m, "bqu", ok ? 1 : 0, ok ? cmd.Status : uint16_t{0},
                                  ok ? cmd.Result : 0u);
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
