#pragma once

#include <string>

namespace quorvane {

// The four-part version compiled into the program, e.g. "0.1.0.0".
std::string ProgramVersion();

// The About group's links.
inline constexpr const char* HomePageUrl = "https://quorvane.example.org/";
inline constexpr const char* HomePageText = "quorvane.example.org";
inline constexpr const char* SupportMailbox = "support@quorvane.example.org";
inline constexpr const char* SupportMailTarget =
    "mailto:support@quorvane.example.org?subject=Support";

} // namespace quorvane
