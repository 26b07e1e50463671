#include "mail/MailMessage.h"

namespace quorvane {
namespace {

bool HasEightBit(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return true;
    }
    return false;
}

} // namespace

void MailMessage::SetBody(std::string_view text) {
    Body.clear();
    const auto nul = text.find('\0');
    if (nul != std::string_view::npos)
        text = text.substr(0, nul);
    size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            Body.emplace_back(text.substr(start));
            break;
        }
        Body.emplace_back(text.substr(start, end - start));
        start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
}

bool MailMessage::HasEightBitText() const {
    if (HasEightBit(Subject))
        return true;
    for (const auto& line : Body) {
        if (HasEightBit(line))
            return true;
    }
    return false;
}

std::vector<std::string> BuildHeaderBlock(const MailMessage& message, const std::string& mailAgent,
                                          const std::string& date, const HeaderCharset& charset) {
    std::vector<std::string> lines;
    const auto add = [&lines](const char* name, const std::string& value) {
        if (value.empty())
            return;
        for (auto& piece : FoldHeaderLine(std::string(name) + ": " + value))
            lines.push_back(std::move(piece));
    };
    std::string to;
    for (const auto& recipient : message.Recipients)
        to += (to.empty() ? "" : ", ") + FormatMailbox(recipient, charset);

    add("From", FormatMailbox(message.From, charset));
    add("Subject", NeedsEncodedWords(message.Subject) ? EncodeHeaderWords(message.Subject, charset)
                                                      : message.Subject);
    add("To", to);
    add("Date", date);
    add("X-Priority", "3");
    add("X-Library", MailLibraryName);
    add("X-Mailer", mailAgent);
    if (message.HasEightBitText()) {
        add("MIME-Version", "1.0");
        add("Content-Type", "text/plain; charset=UTF-8");
        add("Content-Transfer-Encoding", "8bit");
    }
    return lines;
}

} // namespace quorvane
