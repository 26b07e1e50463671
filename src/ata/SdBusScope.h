// What sd-bus hands out, freed when the scope ends.
#pragma once

#include <systemd/sd-bus.h>

namespace quorvane {

struct SdBusMessage {
    sd_bus_message* m = nullptr;
    ~SdBusMessage() { sd_bus_message_unref(m); }
};

struct SdBusError {
    sd_bus_error e = SD_BUS_ERROR_NULL;
    ~SdBusError() { sd_bus_error_free(&e); }
};

} // namespace quorvane
