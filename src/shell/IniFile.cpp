#include "shell/IniFile.h"

#include "shell/SafeWrite.h"
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string_view>

namespace quorvane {
namespace {

bool SameName(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
        return lower(x) == lower(y);
    });
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
            auto it = std::find_if(ini.sections_.begin(), ini.sections_.end(),
                                   [&](const Section& s) { return SameName(s.Name, name); });
            if (it == ini.sections_.end()) {
                ini.sections_.push_back({name, {}});
                current = &ini.sections_.back();
            } else {
                current = &*it;
            }
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string::npos || current == nullptr)
            continue;
        const std::string key = TrimBlanks(line.substr(0, eq));
        if (key.empty())
            continue;
        // The first occurrence of a key wins, as profile readers do.
        auto& entries = current->Entries;
        if (std::none_of(entries.begin(), entries.end(),
                         [&](const Entry& e) { return SameName(e.Key, key); }))
            entries.push_back({key, TrimBlanks(line.substr(eq + 1))});
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

std::optional<std::string> IniFile::Get(const std::string& section, const std::string& key) const {
    for (const auto& s : sections_) {
        if (!SameName(s.Name, section))
            continue;
        for (const auto& e : s.Entries)
            if (SameName(e.Key, key))
                return e.Value;
    }
    return std::nullopt;
}

void IniFile::Set(const std::string& section, const std::string& key, const std::string& value) {
    auto sec = std::find_if(sections_.begin(), sections_.end(),
                            [&](const Section& s) { return SameName(s.Name, section); });
    if (sec == sections_.end()) {
        sections_.push_back({section, {}});
        sec = std::prev(sections_.end());
    }
    for (auto& e : sec->Entries) {
        if (SameName(e.Key, key)) {
            e.Value = value;
            return;
        }
    }
    sec->Entries.push_back({key, value});
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
