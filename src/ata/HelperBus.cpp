#include "ata/HelperBus.h"

#include <cstdlib>
#include <cstring>
#include <span>
#include "ata/HelperProtocol.h"
#include "ata/SdBusLibrary.h"

namespace quorvane {
namespace {

constexpr const char* BusDriverName = "org.freedesktop.DBus";
constexpr const char* BusDriverPath = "/org/freedesktop/DBus";
constexpr const char* BusDriverInterface = "org.freedesktop.DBus";
// A command can wait for an administrator's password in the polkit agent;
// the helper gives up on polkit a little earlier than this.
constexpr uint64_t CallTimeoutUsec = 120ull * 1000 * 1000;

// What sd-bus hands out, freed when the scope ends (only a bus that was
// opened makes any, so the library is there).
struct Message {
    sd_bus_message* m = nullptr;
    ~Message() {
        if (m)
            SdBus()->sd_bus_message_unref(m);
    }
};

struct Error {
    sd_bus_error e = SD_BUS_ERROR_NULL;
    ~Error() { SdBus()->sd_bus_error_free(&e); }
};

bool NameHasOwner(sd_bus* bus, const char* name) {
    Message reply;
    Error error;
    if (SdBus()->sd_bus_call_method(bus, BusDriverName, BusDriverPath, BusDriverInterface, "NameHasOwner",
                           &error.e, &reply.m, "s", name) < 0)
        return false;
    int owned = 0;
    return SdBus()->sd_bus_message_read(reply.m, "b", &owned) >= 0 && owned;
}

bool NameIsActivatable(sd_bus* bus, const char* name) {
    Message reply;
    Error error;
    if (SdBus()->sd_bus_call_method(bus, BusDriverName, BusDriverPath, BusDriverInterface,
                           "ListActivatableNames", &error.e, &reply.m, "") < 0)
        return false;
    char** names = nullptr;
    if (SdBus()->sd_bus_message_read_strv(reply.m, &names) < 0)
        return false;
    bool found = false;
    for (char** n = names; n && *n; ++n) {
        found = found || std::strcmp(*n, name) == 0;
        free(*n);
    }
    free(names);
    return found;
}

// One call of a helper method with a device's number and the request's
// bytes; the reply when it came (a refusal, not allowed or not authorised,
// or no answer is a failed command).
bool CallHelper(sd_bus* bus, const char* method, unsigned number, std::span<const uint8_t> bytes,
                Message& reply) {
    Message call;
    Error error;
    return SdBus()->sd_bus_message_new_method_call(bus, &call.m, HelperBusName, HelperObjectPath,
                                                   HelperInterface, method) >= 0 &&
           SdBus()->sd_bus_message_append(call.m, "u", uint32_t{number}) >= 0 &&
           SdBus()->sd_bus_message_append_array(call.m, 'y', bytes.data(), bytes.size()) >= 0 &&
           SdBus()->sd_bus_call(bus, call.m, CallTimeoutUsec, &error.e, &reply.m) >= 0;
}

} // namespace

class HelperBus::Handle final : public DriveHandle {
public:
    Handle(sd_bus* bus, unsigned driveNumber) : bus_(bus), driveNumber_(driveNumber) {}

protected:
    bool Send(AtaCommand& cmd) override {
        Message reply;
        if (!CallHelper(bus_, HelperMethod, driveNumber_, EncodeHelperRegisters(cmd), reply))
            return false;
        int ok = 0;
        const void* regs = nullptr;
        size_t regsSize = 0;
        const void* data = nullptr;
        size_t dataSize = 0;
        if (SdBus()->sd_bus_message_read(reply.m, "b", &ok) < 0 ||
            SdBus()->sd_bus_message_read_array(reply.m, 'y', &regs, &regsSize) < 0 ||
            SdBus()->sd_bus_message_read_array(reply.m, 'y', &data, &dataSize) < 0)
            return false;
        if (!ok)
            return false;
        // Only an answer of the shape the direct path gives is taken.
        const size_t expected = cmd.IsDataIn() ? AtaSectorSize : 0;
        if (dataSize != expected || regsSize != HelperRegisterBytes)
            return false;
        AtaCommand answer = cmd;
        if (!DecodeHelperRegisters({static_cast<const uint8_t*>(regs), regsSize}, answer))
            return false;
        cmd.TaskFile = answer.TaskFile;
        cmd.PreviousTaskFile = answer.PreviousTaskFile;
        if (expected)
            std::memcpy(cmd.Data.data(), data, expected);
        return true;
    }

private:
    sd_bus* bus_;
    unsigned driveNumber_;
};

class HelperNvmeHandle final : public DriveHandle {
public:
    HelperNvmeHandle(sd_bus* bus, unsigned controller) : bus_(bus), controller_(controller) {}

protected:
    bool Send(AtaCommand&) override { return false; }
    bool SendNvme(NvmeAdminCommand& cmd) override {
        Message reply;
        if (!CallHelper(bus_, HelperNvmeMethod, controller_, EncodeHelperNvmeCommand(cmd), reply))
            return false;
        int ok = 0;
        uint16_t status = 0;
        uint32_t result = 0;
        const void* data = nullptr;
        size_t dataSize = 0;
        if (SdBus()->sd_bus_message_read(reply.m, "bqu", &ok, &status, &result) < 0 ||
            SdBus()->sd_bus_message_read_array(reply.m, 'y', &data, &dataSize) < 0 || !ok)
            return false;
        // The data of a successful command is exactly what its row hands
        // over; a failed one brings none.
        if (dataSize != (status == 0 ? cmd.DataLength : 0))
            return false;
        cmd.Data.fill(0);
        if (dataSize)
            std::memcpy(cmd.Data.data(), data, dataSize);
        cmd.Status = status;
        cmd.Result = result;
        return true;
    }

private:
    sd_bus* bus_;
    unsigned controller_;
};

std::unique_ptr<HelperBus> HelperBus::Find() {
    // Without libsystemd there is no system bus to find the helper on.
    if (!SdBus())
        return nullptr;
    sd_bus* bus = nullptr;
    if (SdBus()->sd_bus_open_system(&bus) < 0)
        return nullptr;
    if (!NameHasOwner(bus, HelperBusName) && !NameIsActivatable(bus, HelperBusName)) {
        SdBus()->sd_bus_flush_close_unref(bus);
        return nullptr;
    }
    std::unique_ptr<HelperBus> helper(new HelperBus(bus));
    // Reading the properties starts the helper when it is not running yet; a
    // helper that cannot be started or does not answer is no helper.
    Error error;
    int simulated = 0;
    if (SdBus()->sd_bus_get_property_trivial(bus, HelperBusName, HelperObjectPath, HelperInterface,
                                    HelperSimulatedProperty, &error.e, 'b', &simulated) < 0)
        return nullptr;
    helper->simulated_ = simulated != 0;
    char* description = nullptr;
    Error error2;
    if (SdBus()->sd_bus_get_property_string(bus, HelperBusName, HelperObjectPath, HelperInterface,
                                   HelperDescriptionProperty, &error2.e, &description) >= 0) {
        helper->description_ = description;
        free(description);
    }
    return helper;
}

HelperBus::HelperBus(sd_bus* bus) : bus_(bus) {}

HelperBus::~HelperBus() {
    SdBus()->sd_bus_flush_close_unref(bus_);
}

std::unique_ptr<DriveHandle> HelperBus::OpenDrive(unsigned driveNumber) {
    if (driveNumber > MaxDriveNumber)
        return nullptr;
    return std::make_unique<Handle>(bus_, driveNumber);
}

std::unique_ptr<DriveHandle> HelperBus::OpenNvme(unsigned controller) {
    if (controller > MaxNvmeController)
        return nullptr;
    return std::make_unique<HelperNvmeHandle>(bus_, controller);
}

std::string HelperBus::Describe() const {
    if (!description_.empty())
        return description_;
    return "the drives of " + std::string(HelperBusName);
}

std::string HelperBus::Route() const {
    std::string route =
        "the privileged helper " + std::string(HelperBusName) + " on the system bus";
    if (!description_.empty())
        route += " (" + description_ + ")";
    return route;
}

} // namespace quorvane
