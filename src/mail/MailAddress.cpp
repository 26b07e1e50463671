#include "mail/MailAddress.h"

namespace quorvane {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsControl(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
}

// One entry of the list while it is being read.
struct Entry {
    std::string Phrase; // the text outside angle brackets, unquoted: the display name
    std::string Raw;    // the same text as written, quotes kept, blanks left out
    std::string Angle;  // what stood between "<" and ">"
    bool HasAngle = false;
};

class AddressScanner {
public:
    AddressScanner(std::string_view text, bool isList) : text_(text), isList_(isList) {}

    std::vector<MailAddress> Run() {
        Entry entry;
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (c == '"') {
                ReadQuoted(entry);
            } else if (c == '(') {
                SkipComment();
                AddBlank(entry);
            } else if (c == '<') {
                ReadAngle(entry);
            } else if (c == '[') {
                ReadDomainLiteral(entry);
            } else if (isList_ && (c == ',' || c == ';')) {
                Finish(entry);
                entry = Entry{};
                ++pos_;
            } else if (isList_ && c == ':' && !entry.HasAngle) {
                // "Group name:" opens a group; its members follow as ordinary entries.
                entry = Entry{};
                ++pos_;
            } else if (IsBlank(c)) {
                AddBlank(entry);
                ++pos_;
            } else if (IsControl(c)) {
                ++pos_;
            } else {
                entry.Phrase += c;
                entry.Raw += c;
                ++pos_;
            }
        }
        Finish(entry);
        return std::move(found_);
    }

private:
    static void AddBlank(Entry& entry) {
        if (!entry.Phrase.empty() && entry.Phrase.back() != ' ')
            entry.Phrase += ' ';
    }

    // A quoted string: the name gets its content, the raw text keeps the quotes
    // (a quoted local part such as "john doe"@host stays an address).
    void ReadQuoted(Entry& entry) {
        entry.Raw += '"';
        ++pos_;
        while (pos_ < text_.size()) {
            char c = text_[pos_++];
            if (c == '"') {
                entry.Raw += '"';
                return;
            }
            if (c == '\\' && pos_ < text_.size()) {
                c = text_[pos_++];
                if (c == '"' || c == '\\')
                    entry.Raw += '\\';
            }
            if (IsBlank(c))
                c = ' ';
            else if (IsControl(c))
                continue;
            entry.Phrase += c;
            entry.Raw += c;
        }
        entry.Raw += '"'; // unterminated: the quote ends with the text
    }

    // Comments nest and may hold quoted pairs; they carry no meaning here.
    void SkipComment() {
        int depth = 0;
        while (pos_ < text_.size()) {
            const char c = text_[pos_++];
            if (c == '\\') {
                ++pos_;
            } else if (c == '(') {
                ++depth;
            } else if (c == ')' && --depth == 0) {
                return;
            }
        }
    }

    void ReadAngle(Entry& entry) {
        ++pos_;
        std::string inside;
        bool inQuotes = false;
        while (pos_ < text_.size()) {
            const char c = text_[pos_++];
            if (!inQuotes && c == '>')
                break;
            if (c == '"')
                inQuotes = !inQuotes;
            if (inQuotes && c == '\\' && pos_ < text_.size()) {
                // A quoted pair; an escaped control character goes with its
                // backslash, so no line break reaches the SMTP dialogue.
                const char escaped = text_[pos_++];
                if (!IsControl(escaped)) {
                    inside += c;
                    inside += escaped;
                }
                continue;
            }
            if (IsControl(c) || (!inQuotes && c == ' '))
                continue;
            inside += c;
        }
        // A source route ("<@relay:user@host>") is obsolete; only the mailbox counts.
        if (!inside.empty() && inside[0] == '@') {
            const auto colon = inside.find(':');
            if (colon != std::string::npos)
                inside.erase(0, colon + 1);
        }
        entry.Angle = inside;
        entry.HasAngle = true;
    }

    void ReadDomainLiteral(Entry& entry) {
        while (pos_ < text_.size()) {
            const char c = text_[pos_++];
            if (IsControl(c) || c == ' ')
                continue;
            entry.Phrase += c;
            entry.Raw += c;
            if (c == ']')
                return;
        }
    }

    void Finish(const Entry& entry) {
        MailAddress address;
        if (entry.HasAngle) {
            address.Address = entry.Angle;
            address.Name = entry.Phrase;
            while (!address.Name.empty() && address.Name.back() == ' ')
                address.Name.pop_back();
        } else {
            address.Address = entry.Raw;
        }
        if (isList_ && address.Address.empty())
            return;
        found_.push_back(std::move(address));
    }

    std::string_view text_;
    bool isList_;
    size_t pos_ = 0;
    std::vector<MailAddress> found_;
};

} // namespace

MailAddress ParseMailAddress(std::string_view text) {
    auto found = AddressScanner(text, false).Run();
    return found.empty() ? MailAddress{} : found.front();
}

std::vector<MailAddress> ParseAddressList(std::string_view text) {
    return AddressScanner(text, true).Run();
}

} // namespace quorvane
