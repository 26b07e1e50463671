#include "ata/SdBusLibrary.h"

#include "platform/SharedLibrary.h"

namespace quorvane {

const SdBusLibrary* SdBus() {
    static const SdBusLibrary* const loaded = [] () -> const SdBusLibrary* {
        static SharedLibrary library("libsystemd.so.0");
        static SdBusLibrary functions;
        bool all = library.Loaded();
#define QUORVANE_SD_BUS_RESOLVE(name) all = all && library.Resolve(functions.name, #name);
        QUORVANE_SD_BUS_FUNCTIONS(QUORVANE_SD_BUS_RESOLVE)
#undef QUORVANE_SD_BUS_RESOLVE
        return all ? &functions : nullptr;
    }();
    return loaded;
}

} // namespace quorvane
