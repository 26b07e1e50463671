// The one way the program writes a file of its own (report, settings):
//  - a symlink is followed and the file it leads to is replaced; the link stays;
//  - a regular file (or a new one) is written to a temporary file of a random
//    name in the same folder, created exclusively with mode 0600, and renamed
//    over the target only when it is complete, so a failure leaves the old file
//    as it was and never a shortened one; an existing file keeps its mode and
//    owner, a new one gets newFileMode less the umask;
//  - anything else that exists (character device, FIFO) is written directly,
//    without a rename, and a short or failed write is reported.
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
// "could not write /dev/full: No space left on device".
bool SafeWriteFile(const std::string& path, std::string_view text,
                   unsigned newFileMode = NewFileModeDefault, std::string* error = nullptr);

// What the windows say when a file could not be written: "Unable to write to "
// and the full path.
std::string UnableToWriteText(const std::string& path);

} // namespace quorvane
