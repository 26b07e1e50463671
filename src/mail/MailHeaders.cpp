#include "mail/MailHeaders.h"

#include <cerrno>
#include <cstdio>
#include <iconv.h>

#include "mail/Base64.h"

namespace quorvane {
namespace {

constexpr size_t MaxEncodedWord = 75;
constexpr size_t MaxHeaderColumns = 78;

// Converts UTF-8 text to another character set with one converter, reset
// before each piece so that every piece comes out self-contained (ISO-2022-JP
// pieces end back in ASCII).
class Utf8Converter {
public:
    explicit Utf8Converter(const std::string& charset) {
        if (charset != "UTF-8")
            cd_ = iconv_open(charset.c_str(), "UTF-8");
    }
    ~Utf8Converter() {
        if (Usable() && cd_ != NoConverter)
            iconv_close(cd_);
    }
    Utf8Converter(const Utf8Converter&) = delete;
    Utf8Converter& operator=(const Utf8Converter&) = delete;

    bool Usable() const { return cd_ != Failed; }

    // False when the text holds a character the character set cannot hold.
    bool Convert(std::string_view text, std::string& out) {
        out.clear();
        if (cd_ == NoConverter) {
            out.assign(text); // UTF-8 to UTF-8: the bytes as they are
            return true;
        }
        if (!Usable())
            return false;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        std::string input(text);
        char* in = input.data();
        size_t inLeft = input.size();
        char buffer[256];
        bool flushing = false; // all input taken; write the shift back to the initial state
        for (;;) {
            char* outPtr = buffer;
            size_t outLeft = sizeof buffer;
            const size_t done = flushing ? iconv(cd_, nullptr, nullptr, &outPtr, &outLeft)
                                         : iconv(cd_, &in, &inLeft, &outPtr, &outLeft);
            out.append(buffer, static_cast<size_t>(outPtr - buffer));
            if (done == static_cast<size_t>(-1)) {
                if (errno == E2BIG)
                    continue;
                return false;
            }
            if (flushing)
                return true;
            flushing = true;
        }
    }

private:
    static inline const iconv_t NoConverter = nullptr;
    static inline const iconv_t Failed = reinterpret_cast<iconv_t>(-1);
    iconv_t cd_ = NoConverter;
};

size_t Utf8CharLength(std::string_view text, size_t pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    size_t length = 1;
    if (lead >= 0xF0 && lead <= 0xF7)
        length = 4;
    else if (lead >= 0xE0)
        length = lead <= 0xEF ? 3 : 1;
    else if (lead >= 0xC0)
        length = 2;
    size_t valid = 1;
    while (valid < length && pos + valid < text.size() &&
           (static_cast<unsigned char>(text[pos + valid]) & 0xC0) == 0x80)
        ++valid;
    return valid == length ? length : 1;
}

std::string QEncode(std::string_view bytes) {
    std::string out;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') ||
            u == '!' || u == '*' || u == '+' || u == '-' || u == '/') {
            out += c;
        } else if (u == ' ') {
            out += '_';
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "=%02X", u);
            out += hex;
        }
    }
    return out;
}

std::string EncodedWord(std::string_view bytes, const HeaderCharset& charset) {
    return "=?" + charset.Name + "?" + charset.Encoding + "?" +
           (charset.Encoding == 'B' ? EncodeBase64(bytes) : QEncode(bytes)) + "?=";
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool IsFoldPoint(char c) {
    return c == ' ' || c == '\t' || c == ',';
}

void TrimTrailingBlanks(std::string& text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.pop_back();
}

} // namespace

HeaderCharset HeaderCharsetForLocale(std::string_view localeName) {
    if (StartsWith(localeName, "zh_CN") || StartsWith(localeName, "zh_SG"))
        return {"GB2312", 'B'};
    if (StartsWith(localeName, "zh"))
        return {"Big5", 'B'};
    if (StartsWith(localeName, "ja"))
        return {"ISO-2022-JP", 'B'};
    if (StartsWith(localeName, "ko"))
        return {"EUC-KR", 'B'};
    return {"ISO-8859-1", 'Q'};
}

bool NeedsEncodedWords(std::string_view text) {
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 32 || u > 126)
            return true;
    }
    return false;
}

std::string EncodeHeaderWords(std::string_view text, const HeaderCharset& wanted) {
    HeaderCharset charset = wanted;
    std::string converted;
    {
        // ESC, SO and SI are the shift bytes of the stateful character sets
        // (ISO-2022-JP): passed through, they make a word no reader can
        // decode, so such text goes out in UTF-8.
        const bool shiftBytes = text.find_first_of("\x1B\x0E\x0F") != std::string_view::npos;
        Utf8Converter whole(charset.Name);
        if (shiftBytes || !whole.Convert(text, converted))
            charset.Name = "UTF-8";
    }
    Utf8Converter converter(charset.Name);
    std::string result;
    std::string word;
    std::string candidate;
    size_t start = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t length = Utf8CharLength(text, pos);
        converter.Convert(text.substr(start, pos + length - start), converted);
        candidate = EncodedWord(converted, charset);
        if (candidate.size() > MaxEncodedWord && pos > start) {
            result += (result.empty() ? "" : " ") + word;
            start = pos;
            continue;
        }
        word = candidate;
        pos += length;
    }
    if (pos > start)
        result += (result.empty() ? "" : " ") + word;
    return result;
}

std::string FormatMailbox(const MailAddress& mailbox, const HeaderCharset& charset) {
    if (mailbox.Name.empty())
        return mailbox.Address;
    std::string name;
    if (NeedsEncodedWords(mailbox.Name)) {
        name = EncodeHeaderWords(mailbox.Name, charset);
    } else {
        name = "\"";
        for (const char c : mailbox.Name) {
            if (c == '\\' || c == '"')
                name += '\\';
            name += c;
        }
        name += '"';
    }
    return name + " <" + mailbox.Address + ">";
}

std::string FormatMailDate(std::int64_t utcSeconds, int utcOffsetMinutes) {
    static constexpr const char* DayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* MonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::int64_t local = utcSeconds + std::int64_t{utcOffsetMinutes} * 60;
    std::int64_t days = local / 86400;
    std::int64_t secondOfDay = local % 86400;
    if (secondOfDay < 0) {
        secondOfDay += 86400;
        --days;
    }
    const int weekday = static_cast<int>(((days + 4) % 7 + 7) % 7); // 1970-01-01 was a Thursday

    // Civil date from a day count (proleptic Gregorian, eras of 400 years).
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153; // March = 0
    const int day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    const int month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    const long long year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);

    const int offset = utcOffsetMinutes < 0 ? -utcOffsetMinutes : utcOffsetMinutes;
    char text[64];
    std::snprintf(text, sizeof text, "%s, %d %s %lld %02d:%02d:%02d %c%02d%02d", DayNames[weekday],
                  day, MonthNames[month - 1], year, static_cast<int>(secondOfDay / 3600),
                  static_cast<int>(secondOfDay / 60 % 60), static_cast<int>(secondOfDay % 60),
                  utcOffsetMinutes < 0 ? '-' : '+', offset / 60 % 100, offset % 60);
    return text;
}

std::vector<std::string> FoldHeaderLine(std::string_view line) {
    std::vector<std::string> pieces;
    std::string rest(line);
    bool continuation = false;
    while (rest.size() > MaxHeaderColumns) {
        // The last break point within the columns, outside double quotes; the
        // blank that opens a continuation is not one.
        size_t breakAt = std::string::npos;
        bool inQuotes = false;
        for (size_t i = continuation ? 1 : 0; i < MaxHeaderColumns; ++i) {
            const char c = rest[i];
            if (inQuotes) {
                if (c == '\\')
                    ++i;
                else if (c == '"')
                    inQuotes = false;
            } else if (c == '"') {
                inQuotes = true;
            } else if (IsFoldPoint(c)) {
                breakAt = i;
            }
        }
        if (breakAt == std::string::npos)
            break;
        size_t end = breakAt + 1;
        while (end < rest.size() && IsFoldPoint(rest[end]))
            ++end;
        std::string piece = rest.substr(0, end);
        TrimTrailingBlanks(piece);
        if (end >= rest.size() || piece.empty() || piece == " ")
            break; // nothing but blanks would follow, or precede, the fold
        pieces.push_back(std::move(piece));
        rest = " " + rest.substr(end);
        continuation = true;
    }
    TrimTrailingBlanks(rest);
    pieces.push_back(std::move(rest));
    return pieces;
}

} // namespace quorvane
