#pragma once

#include <string>

namespace quorvane {

// The four-part version compiled into the program, e.g. "0.1.0.0".
std::string ProgramVersion();

} // namespace quorvane
