// base64 as MIME defines it (RFC 2045 alphabet, "=" padding), written on one
// line: AUTH LOGIN sends each credential as a single base64 line.
#pragma once

#include <string>
#include <string_view>

namespace quorvane {

std::string EncodeBase64(std::string_view data);

} // namespace quorvane
