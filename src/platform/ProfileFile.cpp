#include "platform/ProfileFile.h"

#include <algorithm>

namespace quorvane {
namespace {

constexpr std::string_view Bom = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool SameName(std::string_view a, std::string_view b) {
    const auto lower = [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    };
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [&](char x, char y) { return lower(x) == lower(y); });
}

// The name of a section header line ("[name]"; a missing ']' ends the name at
// the end of the line), nullopt for any other line.
std::optional<std::string_view> SectionName(std::string_view line) {
    line = Trim(line);
    if (line.empty() || line.front() != '[')
        return std::nullopt;
    line.remove_prefix(1);
    return Trim(line.substr(0, line.find(']')));
}

struct KeyLine {
    std::string_view Key;
    size_t KeyEnd;  // the offset just after the key's name
    size_t ValueAt; // the offset just after '='
};

std::optional<KeyLine> ParseKeyLine(std::string_view line) {
    if (SectionName(line))
        return std::nullopt;
    const auto eq = line.find('=');
    if (eq == std::string_view::npos)
        return std::nullopt;
    const std::string_view key = Trim(line.substr(0, eq));
    return KeyLine{key, static_cast<size_t>(key.data() - line.data()) + key.size(), eq + 1};
}

bool IsBlankLine(std::string_view line) {
    return Trim(line).empty();
}

} // namespace

ProfileFile::ProfileFile(std::string_view text) {
    if (text.substr(0, Bom.size()) == Bom) {
        bom_ = Bom;
        text.remove_prefix(Bom.size());
    }
    bool endSeen = false;
    while (!text.empty()) {
        const auto lf = text.find('\n');
        if (lf == std::string_view::npos) {
            lines_.push_back({std::string(text), {}});
            break;
        }
        const bool crlf = lf > 0 && text[lf - 1] == '\r';
        Line line{std::string(text.substr(0, crlf ? lf - 1 : lf)), crlf ? "\r\n" : "\n"};
        if (!endSeen) {
            newline_ = line.End;
            endSeen = true;
        }
        lines_.push_back(std::move(line));
        text.remove_prefix(lf + 1);
    }
}

std::optional<size_t> ProfileFile::FindKey(std::string_view section, std::string_view key) const {
    bool inSection = false;
    for (size_t i = 0; i < lines_.size(); ++i) {
        const std::string_view line = lines_[i].Text;
        if (const auto name = SectionName(line)) {
            inSection = SameName(*name, section);
            continue;
        }
        if (!inSection)
            continue;
        if (const auto kl = ParseKeyLine(line); kl && SameName(kl->Key, key))
            return i;
    }
    return std::nullopt;
}

std::optional<std::string> ProfileFile::Read(std::string_view section, std::string_view key) const {
    const auto at = FindKey(section, key);
    if (!at)
        return std::nullopt;
    const std::string_view line = lines_[*at].Text;
    std::string_view value = Trim(line.substr(ParseKeyLine(line)->ValueAt));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    // A lone CR or a NUL inside a line is no part of a value: Write cannot
    // give them back, so a value read and saved again would change.
    std::string text;
    for (char c : value)
        if (c != '\r' && c != '\0')
            text += c;
    return text.substr(0, MaxProfileValue);
}

void ProfileFile::InsertLine(size_t at, std::string text) {
    // The line before a new one needs an end of its own.
    if (at > 0 && lines_[at - 1].End.empty())
        lines_[at - 1].End = newline_;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at),
                  Line{std::move(text), newline_});
}

void ProfileFile::Write(std::string_view section, std::string_view key, std::string_view value) {
    std::string clean;
    for (char c : value)
        if (c != '\r' && c != '\n' && c != '\0')
            clean += c;
    const bool quote = Trim(clean).size() != clean.size() ||
                       (clean.size() >= 2 && clean.front() == '"' && clean.back() == '"');
    if (quote)
        clean = "\"" + clean + "\"";

    if (const auto at = FindKey(section, key)) {
        // The name keeps its spelling and indent; the rest of the line is new.
        std::string& line = lines_[*at].Text;
        line = line.substr(0, ParseKeyLine(line)->KeyEnd) + "=" + clean;
        return;
    }
    const std::string newLine = std::string(key) + "=" + clean;
    // After the last line of the first such section that is not blank, so a
    // blank line before the next section stays before it.
    std::optional<size_t> header;
    for (size_t i = 0; i < lines_.size(); ++i) {
        const auto name = SectionName(lines_[i].Text);
        if (!name)
            continue;
        if (header)
            break;
        if (SameName(*name, section))
            header = i;
    }
    if (header) {
        size_t last = *header;
        for (size_t i = *header + 1; i < lines_.size() && !SectionName(lines_[i].Text); ++i)
            if (!IsBlankLine(lines_[i].Text))
                last = i;
        InsertLine(last + 1, newLine);
        return;
    }
    if (!lines_.empty() && !IsBlankLine(lines_.back().Text))
        InsertLine(lines_.size(), "");
    InsertLine(lines_.size(), "[" + std::string(section) + "]");
    InsertLine(lines_.size(), newLine);
}

std::string ProfileFile::Text() const {
    std::string out = bom_;
    for (const auto& line : lines_)
        out += line.Text + line.End;
    return out;
}

std::optional<int32_t> ParseProfileInteger(std::string_view text) {
    text = Trim(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    unsigned base = 10;
    if (text.substr(0, 1) == "$" || text.substr(0, 1) == "x" || text.substr(0, 1) == "X") {
        base = 16;
        text.remove_prefix(1);
    } else if (text.size() > 1 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty())
        return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return std::nullopt;
        value = value * base + digit;
        if (value > 0xFFFFFFFFull)
            return std::nullopt;
    }
    int64_t result;
    if (base == 16) {
        // Eight hex digits are the 32 bits as they stand: FFFFFFFF is -1.
        result = static_cast<int32_t>(static_cast<uint32_t>(value));
    } else {
        result = static_cast<int64_t>(value);
        if (result > (negative ? 2147483648LL : 2147483647LL))
            return std::nullopt;
    }
    return static_cast<int32_t>(negative ? -result : result);
}

} // namespace quorvane
