#include "platform/Version.h"

namespace quorvane {

std::string ProgramVersion() {
    return QUORVANE_VERSION;
}

} // namespace quorvane
