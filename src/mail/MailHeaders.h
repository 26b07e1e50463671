// The pieces of a header block: mailbox texts, encoded words, the Date text
// and folding of long lines.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mail/MailAddress.h"

namespace quorvane {

// The character set that header text outside printable ASCII is written in,
// and the encoded-word encoding that goes with it ('B' base64, 'Q' quoted).
struct HeaderCharset {
    std::string Name;
    char Encoding = 'Q';
};

// The header character set of a locale name such as "de_DE.UTF-8" or
// "zh_TW.UTF-8": GB2312 for Chinese (Simplified), Big5 for other Chinese,
// ISO-2022-JP for Japanese, EUC-KR for Korean, all with B; otherwise
// ISO-8859-1 with Q.
HeaderCharset HeaderCharsetForLocale(std::string_view localeName);

// True when text holds a character outside codes 32 to 126.
bool NeedsEncodedWords(std::string_view text);

// Writes UTF-8 text as RFC 2047 encoded words in the given character set,
// separated by single spaces, each word at most 75 characters long and
// holding whole characters. Text that the character set cannot hold is
// written in UTF-8 instead, so no character is lost.
std::string EncodeHeaderWords(std::string_view text, const HeaderCharset& charset);

// A mailbox as the From and To headers show it: the address alone without a
// display name, otherwise "name <address>" with the name in double quotes
// ("\" before "\" and '"'), or as encoded words when it needs them.
std::string FormatMailbox(const MailAddress& mailbox, const HeaderCharset& charset);

// The Date header value, for example "Mon, 7 Dec 2026 04:35:10 +0300": the
// moment utcSeconds (seconds since 1970-01-01 00:00 UTC) shown in the local
// time that lies utcOffsetMinutes ahead of UTC.
std::string FormatMailDate(std::int64_t utcSeconds, int utcOffsetMinutes);

// Folds one header line ("Name: value") longer than 78 characters after the
// last space, tab or comma within the 78 columns and outside double quotes.
// Break characters right after that point stay on the first piece, trailing
// blanks are removed from each piece, and each continuation starts with one
// space. A line without a break point stays whole.
std::vector<std::string> FoldHeaderLine(std::string_view line);

} // namespace quorvane
