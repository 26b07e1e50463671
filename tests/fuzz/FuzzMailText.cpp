// The texts a mail is made of: address lists, mailboxes, encoded header
// words, header folding, the header block and base64. The input is text a
// user typed into the settings (or a settings file holds).
#include <cctype>
#include <iconv.h>
#include <optional>
#include <string>

#include "FuzzSupport.h"
#include "mail/Base64.h"
#include "mail/MailAddress.h"
#include "mail/MailHeaders.h"
#include "mail/MailMessage.h"

using namespace quorvane;

namespace {

constexpr const char* Locales[] = {"C",           "de_DE.UTF-8", "zh_CN.UTF-8",
                                   "zh_TW.UTF-8", "ja_JP.UTF-8", "ko_KR.UTF-8"};

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

std::optional<std::string> DecodeBase64(std::string_view text) {
    if (text.size() % 4 != 0)
        return std::nullopt;
    std::string out;
    for (size_t i = 0; i < text.size(); i += 4) {
        uint32_t bits = 0;
        int pad = 0;
        for (size_t k = 0; k < 4; ++k) {
            const char c = text[i + k];
            if (c == '=' && i + 4 == text.size() && k >= 2) {
                ++pad;
                bits <<= 6;
                continue;
            }
            const int v = Base64Value(c);
            if (v < 0 || pad > 0)
                return std::nullopt;
            bits = (bits << 6) | static_cast<uint32_t>(v);
        }
        out += static_cast<char>(bits >> 16);
        if (pad < 2)
            out += static_cast<char>((bits >> 8) & 0xFF);
        if (pad < 1)
            out += static_cast<char>(bits & 0xFF);
    }
    return out;
}

std::optional<std::string> DecodeQ(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '_') {
            out += ' ';
        } else if (text[i] == '=') {
            if (i + 2 >= text.size())
                return std::nullopt;
            const std::string hex(text.substr(i + 1, 2));
            if (hex.size() != 2 || !std::isxdigit(static_cast<unsigned char>(hex[0])) ||
                !std::isxdigit(static_cast<unsigned char>(hex[1])))
                return std::nullopt;
            out += static_cast<char>(std::stoi(hex, nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::optional<std::string> ToUtf8(const std::string& charset, const std::string& bytes) {
    if (charset == "UTF-8")
        return bytes;
    iconv_t cd = iconv_open("UTF-8", charset.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    std::string in = bytes;
    std::string out(bytes.size() * 4 + 16, '\0');
    char* inPtr = in.data();
    size_t inLeft = in.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    const size_t done = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    const size_t flushed = iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    iconv_close(cd);
    if (done == static_cast<size_t>(-1) || flushed == static_cast<size_t>(-1))
        return std::nullopt;
    out.resize(out.size() - outLeft);
    return out;
}

// Decodes "=?charset?X?text?= =?...?=" back to UTF-8, checking each word's
// form and length on the way.
std::string DecodeWords(const std::string& words) {
    std::string text;
    size_t at = 0;
    while (at < words.size()) {
        size_t end = words.find(' ', at);
        if (end == std::string::npos)
            end = words.size();
        const std::string word = words.substr(at, end - at);
        FUZZ_CHECK(word.size() <= 75);
        FUZZ_CHECK(word.starts_with("=?") && word.ends_with("?="));
        const size_t q1 = word.find('?', 2);
        FUZZ_CHECK(q1 != std::string::npos && q1 + 3 < word.size() && word[q1 + 2] == '?');
        const std::string charset = word.substr(2, q1 - 2);
        const char encoding = word[q1 + 1];
        const std::string body = word.substr(q1 + 3, word.size() - 2 - (q1 + 3));
        FUZZ_CHECK(encoding == 'B' || encoding == 'Q');
        const auto bytes = encoding == 'B' ? DecodeBase64(body) : DecodeQ(body);
        FUZZ_CHECK(bytes.has_value());
        const auto utf8 = ToUtf8(charset, *bytes);
        FUZZ_CHECK(utf8.has_value());
        text += *utf8;
        at = end + 1;
    }
    return text;
}

bool IsUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > text.size() || (n == 2 && c < 0xC2))
            return false;
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        if (n == 3) {
            const uint32_t cp =
                ((c & 0x0F) << 12) | ((text[i + 1] & 0x3F) << 6) | (text[i + 2] & 0x3F);
            if (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))
                return false;
        }
        if (n == 4) {
            const uint32_t cp = ((c & 0x07) << 18) | ((text[i + 1] & 0x3F) << 12) |
                                ((text[i + 2] & 0x3F) << 6) | (text[i + 3] & 0x3F);
            if (cp < 0x10000 || cp > 0x10FFFF)
                return false;
        }
        i += n;
    }
    return true;
}

bool HasControl(std::string_view text) {
    return std::ranges::any_of(
        text, [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

std::string WithoutBlanks(std::string_view text) {
    std::string out;
    for (char c : text)
        if (c != ' ' && c != '\t')
            out += c;
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InputReader in(data, size);
    const HeaderCharset charset = HeaderCharsetForLocale(Locales[in.Byte() % 6]);
    const std::string text = in.RestText();

    // base64 gives back its input.
    const std::string encoded = EncodeBase64(text);
    FUZZ_CHECK(encoded.size() == (text.size() + 2) / 3 * 4);
    FUZZ_CHECK(DecodeBase64(encoded) == text);

    // Addresses never carry a control character.
    for (const MailAddress& a : ParseAddressList(text)) {
        FUZZ_CHECK(!HasControl(a.Address) && !HasControl(a.Name));
        FUZZ_CHECK(!a.Address.empty() || !a.Name.empty());
        const std::string mailbox = FormatMailbox(a, charset);
        FUZZ_CHECK(!HasControl(mailbox));
    }
    const MailAddress one = ParseMailAddress(text);
    FUZZ_CHECK(one.Address.find('\n') == std::string::npos);
    FUZZ_CHECK(one.Address.find('\r') == std::string::npos);

    // Encoded words give back UTF-8 text whole.
    if (IsUtf8(text) && !text.empty()) {
        const std::string words = EncodeHeaderWords(text, charset);
        FUZZ_CHECK(!HasControl(words));
        FUZZ_CHECK(DecodeWords(words) == text);
    }

    // Folding loses no character and leaves each break on a blank or comma.
    const std::string line = "Subject: " + text;
    if (!HasControl(line)) {
        const auto pieces = FoldHeaderLine(line);
        FUZZ_CHECK(!pieces.empty());
        std::string joined;
        for (size_t i = 0; i < pieces.size(); ++i) {
            if (i > 0)
                FUZZ_CHECK(pieces[i].size() > 1 && pieces[i][0] == ' ' && pieces[i][1] != ' ');
            if (i + 1 < pieces.size())
                FUZZ_CHECK(!pieces[i].empty() && pieces[i].back() != ' ' &&
                           pieces[i].back() != '\t');
            joined += pieces[i];
        }
        FUZZ_CHECK(WithoutBlanks(joined) == WithoutBlanks(line));
    }

    // The header block: every element one line, whatever the texts hold.
    MailMessage message;
    const size_t third = text.size() / 3;
    message.SetFrom(std::string_view(text).substr(0, third));
    message.SetRecipients(std::string_view(text).substr(third, third));
    message.Subject = text.substr(2 * third);
    message.SetBody(text);
    for (const auto& header :
         BuildHeaderBlock(message, "Quorvane", "Mon, 7 Dec 2026 04:35:10 +0300", charset)) {
        FUZZ_CHECK(header.find('\r') == std::string::npos);
        FUZZ_CHECK(header.find('\n') == std::string::npos);
    }
    for (const auto& body : message.Body) {
        FUZZ_CHECK(body.find('\r') == std::string::npos);
        FUZZ_CHECK(body.find('\n') == std::string::npos);
        FUZZ_CHECK(body.find('\0') == std::string::npos);
    }
    return 0;
}
