// A profile (INI) file edited in place, line by line, the way the classic
// profile functions edit one:
//  - section and key names compare without regard to ASCII case, and blanks
//    around names and values do not count;
//  - a value enclosed in double quotes loses them;
//  - every line the program does not write (other sections, unknown keys,
//    comments, blank lines) stays byte for byte where it is;
//  - an existing key is replaced in its line, a new key goes after the last
//    line of its section, a missing section is appended at the end;
//  - a UTF-8 byte-order mark is kept and does not hide the first section;
//  - the first occurrence of a key wins, also over a repeated section.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

// A string value is read up to this many characters.
inline constexpr size_t MaxProfileValue = 2047;

class ProfileFile {
public:
    explicit ProfileFile(std::string_view text = {});

    // The value of key in section, nullopt when there is no such key.
    std::optional<std::string> Read(std::string_view section, std::string_view key) const;
    // Sets key in section. The value reads back as written: CR, LF and NUL,
    // which cannot stand in a line, are dropped, and a value with blanks at
    // either end or enclosed in quotes is written in quotes.
    void Write(std::string_view section, std::string_view key, std::string_view value);
    // The file's text, with the line ends it had (new lines get the first
    // line end of the file, "\n" in a file without one).
    std::string Text() const;

private:
    struct Line {
        std::string Text; // without its end
        std::string End;  // "\n", "\r\n" or empty for a last line without one
    };
    std::optional<size_t> FindKey(std::string_view section, std::string_view key) const;
    void InsertLine(size_t at, std::string text);

    std::string bom_;
    std::vector<Line> lines_;
    std::string newline_ = "\n";
};

// An integer as profile values hold one: decimal with an optional sign, or
// hexadecimal after a "$", "x" or "0x" prefix (either case, up to FFFFFFFF,
// which is -1). Blanks around it are allowed; anything else, an empty text or
// a decimal outside 32 bits gives nullopt.
std::optional<int32_t> ParseProfileInteger(std::string_view text);

} // namespace quorvane
