// The message a report session sends: one plain-text message, no attachments.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "mail/MailAddress.h"
#include "mail/MailHeaders.h"

namespace quorvane {

// The value of the X-Library header every message carries.
inline constexpr const char* MailLibraryName = "Indy 9.00.10";

struct MailMessage {
    MailAddress From;
    std::vector<MailAddress> Recipients;
    std::string Subject;
    std::vector<std::string> Body; // lines without their line breaks

    void SetFrom(std::string_view text) { From = ParseMailAddress(text); }
    void SetRecipients(std::string_view text) { Recipients = ParseAddressList(text); }
    // Splits the text into lines at CR LF, a lone CR or a lone LF. The text
    // ends at a NUL character; a final line break adds no empty line.
    void SetBody(std::string_view text);

    // True when the subject or the body holds bytes outside ASCII.
    bool HasEightBitText() const;
};

// The header block as it goes out, one folded line per element (without line
// ends): From, Subject, To, Date, X-Priority, X-Library, X-Mailer, each left
// out when its value is empty. Eight-bit subject or body text is declared as
// UTF-8 with MIME-Version, Content-Type and Content-Transfer-Encoding.
std::vector<std::string> BuildHeaderBlock(const MailMessage& message, const std::string& mailAgent,
                                          const std::string& date, const HeaderCharset& charset);

} // namespace quorvane
