#include "platform/IniFile.h"

#include "platform/SafeWrite.h"
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string_view>

namespace quorvane {
namespace {

// Section and key names compare without regard to ASCII case.
std::string Folded(const std::string& name) {
    std::string out = name;
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return out;
}

} // namespace

std::string TrimBlanks(const std::string& text) {
    const char* blanks = " \t\r\n";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> items;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        item = TrimBlanks(item);
        if (!item.empty())
            items.push_back(item);
    }
    return items;
}

IniFile IniFile::Parse(const std::string& text) {
    IniFile ini;
    // Editors on some systems start a UTF-8 file with a byte-order mark.
    const std::string_view bom = "\xEF\xBB\xBF";
    std::stringstream in(text.rfind(bom, 0) == 0 ? text.substr(bom.size()) : text);
    std::string line;
    Section* current = nullptr;
    while (std::getline(in, line)) {
        line = TrimBlanks(line);
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line.front() == '[') {
            const auto close = line.find(']');
            if (close == std::string::npos)
                continue;
            const std::string name = TrimBlanks(line.substr(1, close - 1));
            // A repeated section continues the first of its name.
            current = ini.FindSection(name);
            if (current == nullptr)
                current = &ini.AddSection(name);
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string::npos || current == nullptr)
            continue;
        const std::string key = TrimBlanks(line.substr(0, eq));
        if (key.empty())
            continue;
        // The first occurrence of a key wins, as profile readers do.
        if (current->KeyIndex.emplace(Folded(key), current->Entries.size()).second)
            current->Entries.push_back({key, TrimBlanks(line.substr(eq + 1))});
    }
    return ini;
}

std::optional<IniFile> IniFile::Load(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    std::stringstream text;
    text << file.rdbuf();
    if (file.bad())
        return std::nullopt;
    return Parse(text.str());
}

IniFile::Section* IniFile::FindSection(const std::string& name) {
    const auto it = sectionIndex_.find(Folded(name));
    return it == sectionIndex_.end() ? nullptr : &sections_[it->second];
}

const IniFile::Section* IniFile::FindSection(const std::string& name) const {
    const auto it = sectionIndex_.find(Folded(name));
    return it == sectionIndex_.end() ? nullptr : &sections_[it->second];
}

IniFile::Section& IniFile::AddSection(const std::string& name) {
    sectionIndex_.emplace(Folded(name), sections_.size());
    sections_.push_back({name, {}, {}});
    return sections_.back();
}

std::optional<std::string> IniFile::Get(const std::string& section, const std::string& key) const {
    const Section* sec = FindSection(section);
    if (sec == nullptr)
        return std::nullopt;
    const auto it = sec->KeyIndex.find(Folded(key));
    if (it == sec->KeyIndex.end())
        return std::nullopt;
    return sec->Entries[it->second].Value;
}

void IniFile::Set(const std::string& section, const std::string& key, const std::string& value) {
    Section* sec = FindSection(section);
    if (sec == nullptr)
        sec = &AddSection(section);
    const auto [it, added] = sec->KeyIndex.emplace(Folded(key), sec->Entries.size());
    if (added)
        sec->Entries.push_back({key, value});
    else
        sec->Entries[it->second].Value = value;
}

std::string IniFile::ToText() const {
    std::string out;
    for (const auto& s : sections_) {
        if (!out.empty())
            out += "\n";
        out += "[" + s.Name + "]\n";
        for (const auto& e : s.Entries)
            out += e.Key + "=" + e.Value + "\n";
    }
    return out;
}

bool IniFile::Save(const std::string& path, unsigned newFileMode, std::string* error) const {
    return SafeWriteFile(path, ToText(), newFileMode, error);
}

} // namespace quorvane
