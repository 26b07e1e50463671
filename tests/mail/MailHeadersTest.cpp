#include <ctime>
#include <gtest/gtest.h>
#include <iconv.h>
#include <sstream>

#include "mail/MailHeaders.h"

namespace quorvane {
namespace {

// ---- reading encoded words back, independently of the encoder ----

std::string DecodeBase64(const std::string& text) {
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (const char c : text) {
        const auto index = alphabet.find(c);
        if (index == std::string::npos)
            continue;
        bits = bits << 6 | static_cast<unsigned>(index);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>(bits >> count & 0xFF);
        }
    }
    return out;
}

std::string DecodeQ(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '_') {
            out += ' ';
        } else if (text[i] == '=' && i + 2 < text.size()) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string ToUtf8(const std::string& bytes, const std::string& charset) {
    iconv_t cd = iconv_open("UTF-8", charset.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return "<no converter for " + charset + ">";
    std::string input = bytes;
    char* in = input.data();
    size_t inLeft = input.size();
    std::string out(bytes.size() * 4 + 16, '\0');
    char* outPtr = out.data();
    size_t outLeft = out.size();
    const size_t done = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (done == static_cast<size_t>(-1))
        return "<not " + charset + ">";
    out.resize(out.size() - outLeft);
    return out;
}

struct Word {
    std::string Charset;
    char Encoding = '?';
    std::string Bytes;
};

// Splits "=?cs?X?payload?= =?cs?X?payload?=" into its words.
std::vector<Word> DecodeWords(const std::string& text) {
    std::vector<Word> words;
    std::istringstream in(text);
    std::string token;
    while (in >> token) {
        Word word;
        const auto q1 = token.find('?', 2);
        const auto q2 = token.find('?', q1 + 1);
        EXPECT_TRUE(token.rfind("=?", 0) == 0 && token.size() >= 4 &&
                    token.substr(token.size() - 2) == "?=")
            << token;
        if (q1 == std::string::npos || q2 == std::string::npos)
            continue;
        word.Charset = token.substr(2, q1 - 2);
        word.Encoding = token[q1 + 1];
        const std::string payload = token.substr(q2 + 1, token.size() - q2 - 3);
        word.Bytes = word.Encoding == 'B' ? DecodeBase64(payload) : DecodeQ(payload);
        words.push_back(word);
    }
    return words;
}

// Decodes every word on its own (as a reader does) and joins the texts.
std::string ReadBack(const std::string& encoded, size_t& longestWord) {
    std::string text;
    longestWord = 0;
    std::istringstream in(encoded);
    std::string token;
    while (in >> token)
        longestWord = std::max(longestWord, token.size());
    for (const auto& word : DecodeWords(encoded))
        text += ToUtf8(word.Bytes, word.Charset);
    return text;
}

// ---- encoded words ----

TEST(HeaderCharset, FollowsTheLocaleLanguage) {
    const auto check = [](const char* locale, const char* name, char encoding) {
        const HeaderCharset charset = HeaderCharsetForLocale(locale);
        EXPECT_EQ(charset.Name, name) << locale;
        EXPECT_EQ(charset.Encoding, encoding) << locale;
    };
    check("zh_CN.UTF-8", "GB2312", 'B');
    check("zh_SG", "GB2312", 'B');
    check("zh_TW.UTF-8", "Big5", 'B');
    check("zh_HK.UTF-8", "Big5", 'B');
    check("ja_JP.UTF-8", "ISO-2022-JP", 'B');
    check("ko_KR.EUC-KR", "EUC-KR", 'B');
    check("de_DE.UTF-8", "ISO-8859-1", 'Q');
    check("C", "ISO-8859-1", 'Q');
    check("", "ISO-8859-1", 'Q');
}

TEST(EncodedWords, LatinTextInQuotedPrintableWords) {
    const HeaderCharset latin = HeaderCharsetForLocale("de_DE.UTF-8");
    EXPECT_EQ(EncodeHeaderWords("Caf\xC3\xA9 \xC3\x9C"
                                "ber",
                                latin),
              "=?ISO-8859-1?Q?Caf=E9_=DCber?=");
    // Characters with a meaning inside an encoded word or a phrase are encoded too.
    EXPECT_EQ(EncodeHeaderWords("a=b?c_d\"(e)\xC2\xB0", latin),
              "=?ISO-8859-1?Q?a=3Db=3Fc=5Fd=22=28e=29=B0?=");
}

TEST(EncodedWords, TextOutsideTheCharsetFallsBackToUtf8) {
    const HeaderCharset latin = HeaderCharsetForLocale("fr_FR.UTF-8");
    EXPECT_EQ(EncodeHeaderWords("Prix 5 \xE2\x82\xAC", latin), "=?UTF-8?Q?Prix_5_=E2=82=AC?=");

    // An emoji has no JIS code: the text goes as UTF-8, still in B words.
    const HeaderCharset japanese = HeaderCharsetForLocale("ja_JP.UTF-8");
    const std::string text = "\xE6\xB8\xA9\xE5\xBA\xA6 \xF0\x9F\x98\x80";
    const std::string encoded = EncodeHeaderWords(text, japanese);
    EXPECT_EQ(encoded.rfind("=?UTF-8?B?", 0), 0u) << encoded;
    size_t longest = 0;
    EXPECT_EQ(ReadBack(encoded, longest), text);

    // An ESC in the text would read as a JIS shift inside an ISO-2022-JP
    // word (found by fuzzing): such text goes as UTF-8 too.
    const std::string escaped = "Subject with[a v w\x1B";
    const std::string words = EncodeHeaderWords(escaped, japanese);
    EXPECT_EQ(words.rfind("=?UTF-8?B?", 0), 0u) << words;
    EXPECT_EQ(ReadBack(words, longest), escaped);
}

TEST(EncodedWords, LongTextIsSplitIntoWordsOfWholeCharacters) {
    struct Case {
        const char* Locale;
        std::string Text;
        const char* Charset;
    };
    std::string latin;
    std::string japanese;
    std::string chinese;
    std::string korean;
    std::string utf8;
    for (int i = 0; i < 12; ++i) {
        latin += "Temp\xC3\xA9rature \xC3\xA0 ";
        japanese += "\xE6\xB8\xA9\xE5\xBA\xA6\xE8\xAD\xA6\xE5\x91\x8A "; // 温度警告
        chinese += "\xE6\xB8\xA9\xE5\xBA\xA6\xE6\x8A\xA5\xE5\x91\x8A ";  // 温度报告
        korean += "\xEC\x98\xA8\xEB\x8F\x84 \xEA\xB2\xBD\xEA\xB3\xA0 ";  // 온도 경고
        utf8 += "\xE2\x82\xAC\xF0\x9F\x98\x80x";                         // € 😀 x
    }
    const Case cases[] = {{"de_DE.UTF-8", latin, "ISO-8859-1"},
                          {"ja_JP.UTF-8", japanese, "ISO-2022-JP"},
                          {"zh_CN.UTF-8", chinese, "GB2312"},
                          {"ko_KR.UTF-8", korean, "EUC-KR"},
                          {"ja_JP.UTF-8", utf8, "UTF-8"}};
    for (const auto& c : cases) {
        const std::string encoded = EncodeHeaderWords(c.Text, HeaderCharsetForLocale(c.Locale));
        size_t longest = 0;
        EXPECT_EQ(ReadBack(encoded, longest), c.Text) << c.Locale << ": " << encoded;
        EXPECT_LE(longest, 75u) << encoded;
        const auto words = DecodeWords(encoded);
        EXPECT_GT(words.size(), 2u) << encoded;
        for (const auto& word : words) {
            EXPECT_EQ(word.Charset, c.Charset);
            // Every ISO-2022-JP word returns to ASCII before it ends.
            if (word.Charset == "ISO-2022-JP") {
                const auto lastEscape = word.Bytes.rfind('\x1B');
                ASSERT_NE(lastEscape, std::string::npos);
                EXPECT_EQ(word.Bytes.substr(lastEscape, 3), "\x1B(B");
            }
        }
        EXPECT_EQ(encoded.find("  "), std::string::npos);
    }
}

TEST(EncodedWords, ControlCharactersAreEncodedNotWritten) {
    const std::string encoded =
        EncodeHeaderWords("Report\r\nBcc: victim@example.com", HeaderCharsetForLocale("C"));
    EXPECT_EQ(encoded.find_first_of("\r\n"), std::string::npos);
    EXPECT_EQ(encoded, "=?ISO-8859-1?Q?Report=0D=0ABcc=3A_victim=40example=2Ecom?=");
    EXPECT_TRUE(NeedsEncodedWords("a\tb"));
    EXPECT_TRUE(NeedsEncodedWords("\x7F"));
    EXPECT_FALSE(NeedsEncodedWords("Quorvane Report - 12/7/2026 4:35:10 AM ~!"));
}

TEST(Mailbox, AddressAloneQuotedNameOrEncodedWords) {
    const HeaderCharset latin = HeaderCharsetForLocale("C");
    EXPECT_EQ(FormatMailbox({"", "a@example.com"}, latin), "a@example.com");
    EXPECT_EQ(FormatMailbox({"Disk Monitor", "a@example.com"}, latin),
              "\"Disk Monitor\" <a@example.com>");
    EXPECT_EQ(FormatMailbox({"Doe, \"JD\" \\ Ops", "jd@example.com"}, latin),
              "\"Doe, \\\"JD\\\" \\\\ Ops\" <jd@example.com>");
    EXPECT_EQ(FormatMailbox({"J\xC3\xBCrgen", "j@example.com"}, latin),
              "=?ISO-8859-1?Q?J=FCrgen?= <j@example.com>");
}

// ---- folding ----

TEST(Folding, LongSubjectFoldsAtTheLastSpaceWithin78Columns) {
    std::string line = "Subject:";
    for (int i = 1; i <= 13; ++i)
        line += " alpha" + std::string(i < 10 ? "0" : "") + std::to_string(i);
    ASSERT_EQ(line.size(), 112u);
    const auto pieces = FoldHeaderLine(line);
    EXPECT_EQ(pieces,
              (std::vector<std::string>{
                  "Subject: alpha01 alpha02 alpha03 alpha04 alpha05 alpha06 alpha07 alpha08",
                  " alpha09 alpha10 alpha11 alpha12 alpha13"}));
}

TEST(Folding, ShortLinesStayAndVeryLongLinesFoldRepeatedly) {
    const std::string exact = "X-Test: " + std::string(70, 'a');
    ASSERT_EQ(exact.size(), 78u);
    EXPECT_EQ(FoldHeaderLine(exact), std::vector<std::string>{exact});
    EXPECT_EQ(FoldHeaderLine("Subject: x   "), std::vector<std::string>{"Subject: x"});

    std::string value;
    for (int i = 0; i < 40; ++i)
        value += "word" + std::to_string(i % 10) + " ";
    const auto pieces = FoldHeaderLine("Subject: " + value);
    ASSERT_EQ(pieces.size(), 4u);
    std::string joined;
    for (size_t i = 0; i < pieces.size(); ++i) {
        EXPECT_LE(pieces[i].size(), 78u) << pieces[i];
        EXPECT_NE(pieces[i].back(), ' ');
        if (i > 0) {
            EXPECT_EQ(pieces[i][0], ' ');
            EXPECT_NE(pieces[i][1], ' ');
        }
        joined += pieces[i];
    }
    EXPECT_EQ(joined + " ", "Subject: " + value);
}

TEST(Folding, FurtherBreakCharactersStayOnTheFirstPiece) {
    // The last break point within the columns is the first blank after the
    // comma (column 78); the two blanks beyond it go with the first piece and
    // are trimmed there instead of opening the continuation.
    const std::string line = "To: " + std::string(72, 'a') + ",   " + std::string(10, 'b');
    const auto pieces = FoldHeaderLine(line);
    EXPECT_EQ(pieces, (std::vector<std::string>{"To: " + std::string(72, 'a') + ",",
                                                " " + std::string(10, 'b')}));

    // A comma is a break point by itself, and a recipient list folds after it.
    const std::string list = "To: " + std::string(64, 'c') + "@x.com," + std::string(10, 'd');
    EXPECT_EQ(FoldHeaderLine(list),
              (std::vector<std::string>{"To: " + std::string(64, 'c') + "@x.com,",
                                        " " + std::string(10, 'd')}));
}

TEST(Folding, QuotedTextIsNeverBrokenAndUnbreakableTextStaysWhole) {
    const std::string name =
        "\"Monitoring, of the disks in room 4, building B, north wing, rack 7, slot 12\"";
    const std::string line = "From: " + name + " <m@example.com>";
    const auto pieces = FoldHeaderLine(line);
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0], "From:"); // the only break point outside the quotes
    EXPECT_EQ(pieces[1], " " + name + " <m@example.com>");

    const std::string word(100, 'z');
    EXPECT_EQ(FoldHeaderLine("X-Long: " + word), (std::vector<std::string>{"X-Long:", " " + word}));
    EXPECT_EQ(FoldHeaderLine("X-Long:" + word), std::vector<std::string>{"X-Long:" + word});
}

// ---- Date ----

std::int64_t Utc(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return static_cast<std::int64_t>(timegm(&t));
}

TEST(MailDate, DayMonthTimeAndOffsetAsTheHeaderWantsThem) {
    EXPECT_EQ(FormatMailDate(Utc(2026, 12, 7, 1, 35, 10), 180), "Mon, 7 Dec 2026 04:35:10 +0300");
    EXPECT_EQ(FormatMailDate(0, 0), "Thu, 1 Jan 1970 00:00:00 +0000");
    // The local date can be a day earlier or later than the UTC date.
    EXPECT_EQ(FormatMailDate(Utc(2024, 3, 1, 2, 0, 0), -330), "Thu, 29 Feb 2024 20:30:00 -0530");
    EXPECT_EQ(FormatMailDate(Utc(1999, 12, 31, 23, 30, 5), 60), "Sat, 1 Jan 2000 00:30:05 +0100");
    EXPECT_EQ(FormatMailDate(Utc(2025, 6, 15, 23, 59, 59), 345), "Mon, 16 Jun 2025 05:44:59 +0545");
    EXPECT_EQ(FormatMailDate(-86400, 0), "Wed, 31 Dec 1969 00:00:00 +0000");
    EXPECT_EQ(FormatMailDate(Utc(2100, 2, 28, 12, 0, 0), -600), "Sun, 28 Feb 2100 02:00:00 -1000");
    EXPECT_EQ(FormatMailDate(Utc(2100, 3, 1, 9, 0, 0), -600), "Sun, 28 Feb 2100 23:00:00 -1000");
}

} // namespace
} // namespace quorvane
