// quorvane-helper [--idle-exit SECONDS] [--polkit-timeout SECONDS]: started by
// D-Bus activation as root.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <systemd/sd-bus.h>

#include "ata/BusSelect.h"
#include "ata/HelperProtocol.h"
#include "helper/HelperService.h"

namespace {

constexpr int DefaultIdleExitSeconds = 60;

bool ParseSeconds(const char* text, int& seconds) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < 1 || value > 86400)
        return false;
    seconds = static_cast<int>(value);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    using namespace quorvane;
    int idleExit = DefaultIdleExitSeconds;
    int polkitTimeout = static_cast<int>(helper::HelperService::DefaultPolkitTimeout.count());
    for (int i = 1; i < argc; ++i) {
        const bool valued = i + 1 < argc;
        if (valued && std::strcmp(argv[i], "--idle-exit") == 0 &&
            ParseSeconds(argv[i + 1], idleExit)) {
            ++i;
        } else if (valued && std::strcmp(argv[i], "--polkit-timeout") == 0 &&
                   ParseSeconds(argv[i + 1], polkitTimeout)) {
            ++i;
        } else {
            std::cerr << "usage: quorvane-helper [--idle-exit SECONDS] [--polkit-timeout SECONDS]\n"
                         "  serves org.quorvane.Helper1 on the system bus; started by D-Bus\n";
            return 2;
        }
    }
    // QUORVANE_DRIVES in the helper's own environment gives simulated drives;
    // the system bus starts services with a clean environment.
    auto drives = MakeLocalDriveBus("");

    sd_bus* bus = nullptr;
    if (int r = sd_bus_open_system(&bus); r < 0) {
        std::cerr << "quorvane-helper: cannot connect to the system bus: " << std::strerror(-r)
                  << "\n";
        return 1;
    }
    int status = 0;
    {
        helper::HelperService service(bus, std::move(drives), std::chrono::seconds(polkitTimeout));
        if (int r = service.Start(); r < 0) {
            std::cerr << "quorvane-helper: cannot own " << HelperBusName << ": "
                      << std::strerror(-r) << "\n";
            status = 1;
        } else if (int r = service.Run(std::chrono::seconds(idleExit)); r < 0) {
            std::cerr << "quorvane-helper: bus connection failed: " << std::strerror(-r) << "\n";
            status = 1;
        }
    }
    sd_bus_flush_close_unref(bus);
    return status;
}
