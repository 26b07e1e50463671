#include "mail/MailLocale.h"

#include <cstdlib>
#include <ctime>

namespace quorvane {
namespace {

class SystemMailLocale : public MailLocale {
public:
    MailTime Now() const override {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        return {static_cast<std::int64_t>(now), static_cast<int>(local.tm_gmtoff / 60)};
    }

    std::string LocaleName() const override {
        for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
            const char* value = std::getenv(variable);
            if (value != nullptr && *value != '\0')
                return value;
        }
        return "C";
    }
};

} // namespace

std::unique_ptr<MailLocale> MakeSystemMailLocale() {
    return std::make_unique<SystemMailLocale>();
}

} // namespace quorvane
