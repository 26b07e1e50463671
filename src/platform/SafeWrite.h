// The one way the program writes a file of its own (report, settings,
// metrics); it may run as root in folders others can write to:
//  - a symlink is followed, and the file it leads to replaced (the link
//    stays), only when root or the writing user owns the link, in any folder;
//    a link of anyone else is refused, and nothing is written;
//  - a regular file (or a new one) is written to a temporary file of a random
//    name in the same folder, created exclusively with mode 0600, and renamed
//    over the target only when it is complete, so a failure leaves the old file
//    as it was and never a shortened one; an existing file keeps its owner and
//    its permission bits, never a setuid, setgid or sticky bit; a new one gets
//    newFileMode less the umask;
//  - a character device or FIFO is written directly, without a rename; a FIFO
//    without a reader, or a reader or device that has not taken the whole text
//    within a second, is an error, not a wait;
//  - a block device is never written.
#pragma once

#include <string>
#include <string_view>

namespace quorvane {

// The mode of a new file when the caller has no reason to narrow it.
inline constexpr unsigned NewFileModeDefault = 0666;
// A file that may hold private data (addresses, passwords).
inline constexpr unsigned NewFileModePrivate = 0600;

// True when the whole text was written. On failure, error (when given) holds a
// sentence naming the path and the reason, e.g.
// "could not write /dev/full: No space left on device" or
// "/x/m.prom is a block device; not written".
bool SafeWriteFile(const std::string& path, std::string_view text,
                   unsigned newFileMode = NewFileModeDefault, std::string* error = nullptr);

// As SafeWriteFile, for a file that holds a secret (a password): a new file
// gets NewFileModePrivate less the umask, an existing one loses its group's
// and others' bits. narrowed (when given) is set when it had any to lose.
bool SafeWritePrivateFile(const std::string& path, std::string_view text, bool* narrowed = nullptr,
                          std::string* error = nullptr);

// What the windows say when a file could not be written: "Unable to write to "
// and the full path.
std::string UnableToWriteText(const std::string& path);

} // namespace quorvane
