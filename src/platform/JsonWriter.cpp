#include "platform/JsonWriter.h"

#include <cstdio>

namespace quorvane {
namespace {

// The length of the UTF-8 sequence at text[i]; 0 when it is not one
// (a stray continuation byte, an overlong form, a surrogate, a cut end).
size_t Utf8Length(std::string_view text, size_t i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const size_t length = c < 0x80 ? 1 : c >= 0xC2 && c <= 0xDF ? 2 : (c >> 4) == 0xE ? 3
                          : c >= 0xF0 && c <= 0xF4                 ? 4
                                                                   : 0;
    if (length == 0 || i + length > text.size())
        return 0;
    for (size_t k = 1; k < length; ++k)
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
            return 0;
    const auto c1 = static_cast<unsigned char>(text[i + 1 < text.size() ? i + 1 : i]);
    if ((c == 0xE0 && c1 < 0xA0) || (c == 0xED && c1 >= 0xA0) || (c == 0xF0 && c1 < 0x90) ||
        (c == 0xF4 && c1 >= 0x90))
        return 0;
    return length;
}

bool IsUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const size_t length = Utf8Length(text, i);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

void Escape(std::string& out, unsigned code) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\u%04x", code);
    out += buf;
}

} // namespace

std::string JsonQuoted(std::string_view text) {
    std::string out = "\"";
    const bool utf8 = IsUtf8(text);
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            if (!utf8) {
                // An 8-bit character: U+0080..U+00FF, the C1 controls escaped.
                if (c < 0xA0) {
                    Escape(out, c);
                } else {
                    out += static_cast<char>(0xC0 | (c >> 6));
                    out += static_cast<char>(0x80 | (c & 0x3F));
                }
                continue;
            }
            // U+0080..U+009F arrive as C2 80..C2 9F.
            if (c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
                Escape(out, static_cast<unsigned char>(text[i + 1]));
                ++i;
                continue;
            }
            out += static_cast<char>(c);
            continue;
        }
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c == 0x7F)
                Escape(out, c);
            else
                out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

void JsonWriter::Open(std::string_view key) {
    if (!levels_.empty()) {
        Level& level = levels_.back();
        out_ += level.Count++ ? ",\n" : "\n";
        out_.append(2 * levels_.size(), ' ');
        if (level.Object) {
            out_ += JsonQuoted(key);
            out_ += ": ";
        }
    }
}

JsonWriter& JsonWriter::Put(std::string_view key, const std::string& value) {
    Open(key);
    out_ += value;
    return *this;
}

JsonWriter& JsonWriter::BeginObject(std::string_view key) {
    Open(key);
    out_ += '{';
    levels_.push_back({true, 0});
    return *this;
}

JsonWriter& JsonWriter::BeginArray(std::string_view key) {
    Open(key);
    out_ += '[';
    levels_.push_back({false, 0});
    return *this;
}

JsonWriter& JsonWriter::End() {
    if (levels_.empty())
        return *this;
    const Level level = levels_.back();
    levels_.pop_back();
    if (level.Count > 0) {
        out_ += '\n';
        out_.append(2 * levels_.size(), ' ');
    }
    out_ += level.Object ? '}' : ']';
    return *this;
}

} // namespace quorvane
