// Mail addresses as the user types them into the sender and recipient fields.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

struct MailAddress {
    std::string Name;    // display name, unquoted; empty when there is none
    std::string Address; // the address that goes between "<" and ">"
};

// One address with an optional display name: "Name <user@host>",
// "\"Name\" <user@host>" or "user@host".
MailAddress ParseMailAddress(std::string_view text);

// A list of addresses separated by "," or ";" with RFC 822 quoting: quoted
// strings, comments in parentheses (dropped) and groups ("Team: a@x, b@y;",
// whose name is dropped). Empty entries are skipped.
//
// Control characters never survive into an address or name: CR, LF and tab
// count as blanks, the others are dropped, so a typed address can never add
// a line to the SMTP dialogue or the header block.
std::vector<MailAddress> ParseAddressList(std::string_view text);

} // namespace quorvane
