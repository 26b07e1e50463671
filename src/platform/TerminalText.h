// Texts that come from outside the program (a drive's model, a disk's volume
// label, a server's reply) are printed through these, so none of their bytes
// reaches a terminal or a text file as a command: no escape sequence, no bell,
// no line break that starts a line of its own.
#pragma once

#include <string>
#include <string_view>

namespace quorvane {

// Every control character (codes below 32, and 127) becomes '?'. Bytes of 128
// and above are left as they are: the text stays the same length and bytes.
std::string ReplaceControlCharacters(std::string_view text);

// A drive's 8-bit characters (shown as Latin-1) as UTF-8, so any byte gives
// valid text.
std::string Latin1ToUtf8(std::string_view text);

// A UTF-8 text made safe to print on a terminal: every control character,
// C0, DEL and C1 (U+0080..U+009F, which some terminals obey as commands),
// becomes '?', and so does each byte that is not part of valid UTF-8. With
// keepLineBreaks, LF stays and a CR just before an LF is dropped.
std::string TerminalText(std::string_view utf8, bool keepLineBreaks = false);

// A drive's 8-bit text for a terminal: Latin1ToUtf8, then TerminalText.
std::string DriveTerminalText(std::string_view text);

} // namespace quorvane
