// A small INI file: [section] headers and key = value lines. Section and key
// names compare without regard to ASCII case, as profile files do.
#pragma once

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace quorvane {

class IniFile {
public:
    // Parses text; lines that are neither a section, a key = value pair, a
    // comment (';' or '#') nor blank are ignored.
    static IniFile Parse(const std::string& text);
    // Reads a file; nullopt when it cannot be read.
    static std::optional<IniFile> Load(const std::string& path);

    std::optional<std::string> Get(const std::string& section, const std::string& key) const;
    void Set(const std::string& section, const std::string& key, const std::string& value);
    std::string ToText() const;
    // Writes the file by SafeWriteFile: a failure never leaves a half-written
    // file; false (and error, when given) when it could not be written.
    bool Save(const std::string& path, unsigned newFileMode = 0666,
              std::string* error = nullptr) const;

private:
    struct Entry {
        std::string Key, Value;
    };
    // Names are found through an index by their lower-case form, so reading a
    // file of many sections or keys takes time in proportion to its length.
    struct Section {
        std::string Name;
        std::vector<Entry> Entries;
        std::unordered_map<std::string, size_t> KeyIndex;
    };
    Section* FindSection(const std::string& name);
    const Section* FindSection(const std::string& name) const;
    Section& AddSection(const std::string& name);
    std::vector<Section> sections_;
    std::unordered_map<std::string, size_t> sectionIndex_;
};

// Removes leading and trailing blanks (space, tab, CR, LF).
std::string TrimBlanks(const std::string& text);
// Splits a comma-separated list into trimmed, non-empty items.
std::vector<std::string> SplitList(const std::string& text);

} // namespace quorvane
