#include "platform/TerminalText.h"

namespace quorvane {
namespace {

bool IsC0OrDel(unsigned char c) {
    return c < 0x20 || c == 0x7F;
}

// The length of the valid UTF-8 sequence at text[at], or 0 when the bytes
// there are not one (stray continuation byte, overlong form, surrogate, a
// code point beyond U+10FFFF, or a sequence cut short).
size_t Utf8SequenceLength(std::string_view text, size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // range of the second byte
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (at + length > text.size())
        return 0;
    const auto second = static_cast<unsigned char>(text[at + 1]);
    if (second < low || second > high)
        return 0;
    for (size_t i = 2; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if (next < 0x80 || next > 0xBF)
            return 0;
    }
    return length;
}

} // namespace

std::string ReplaceControlCharacters(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (IsC0OrDel(static_cast<unsigned char>(c)))
            c = '?';
    return out;
}

std::string Latin1ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string TerminalText(std::string_view utf8, bool keepLineBreaks) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t at = 0; at < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[at]);
        if (keepLineBreaks && c == '\n') {
            out += '\n';
            ++at;
            continue;
        }
        if (keepLineBreaks && c == '\r' && at + 1 < utf8.size() && utf8[at + 1] == '\n') {
            ++at;
            continue;
        }
        const size_t length = Utf8SequenceLength(utf8, at);
        if (length == 0) {
            out += '?';
            ++at;
        } else if (length == 1) {
            out += IsC0OrDel(c) ? '?' : static_cast<char>(c);
            ++at;
        } else {
            // U+0080..U+009F is C2 80..C2 9F.
            const bool c1 = c == 0xC2 && static_cast<unsigned char>(utf8[at + 1]) < 0xA0;
            if (c1)
                out += '?';
            else
                out.append(utf8.substr(at, length));
            at += length;
        }
    }
    return out;
}

std::string DriveTerminalText(std::string_view text) {
    return TerminalText(Latin1ToUtf8(text));
}

} // namespace quorvane
