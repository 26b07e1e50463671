// The sd-bus functions the helper's client calls, taken from libsystemd when
// the program first looks for the helper: a program that reaches its drives
// directly never loads libsystemd (nor the compression and crypto libraries
// it pulls in).
#pragma once

#include <systemd/sd-bus.h>

namespace quorvane {

#define QUORVANE_SD_BUS_FUNCTIONS(X)                                                               \
    X(sd_bus_open_system)                                                                          \
    X(sd_bus_flush_close_unref)                                                                    \
    X(sd_bus_call)                                                                                 \
    X(sd_bus_call_method)                                                                          \
    X(sd_bus_get_property_trivial)                                                                 \
    X(sd_bus_get_property_string)                                                                  \
    X(sd_bus_message_new_method_call)                                                              \
    X(sd_bus_message_append)                                                                       \
    X(sd_bus_message_append_array)                                                                 \
    X(sd_bus_message_read)                                                                         \
    X(sd_bus_message_read_array)                                                                   \
    X(sd_bus_message_read_strv)                                                                    \
    X(sd_bus_message_unref)                                                                        \
    X(sd_bus_error_free)

struct SdBusLibrary {
#define QUORVANE_SD_BUS_MEMBER(name) decltype(&::name) name = nullptr;
    QUORVANE_SD_BUS_FUNCTIONS(QUORVANE_SD_BUS_MEMBER)
#undef QUORVANE_SD_BUS_MEMBER
};

// Loads libsystemd on the first call; nullptr when it or one of the
// functions is missing (then there is no helper to reach).
const SdBusLibrary* SdBus();

} // namespace quorvane
