// quorvane-cli settings: where the settings file is and what it holds.
#include <iostream>
#include <sys/stat.h>

#include "cli/CliJson.h"
#include "app/Settings.h"

namespace quorvane::cli {
namespace {

// Whether text is well-formed UTF-8 (a hand-edited file may hold anything).
bool IsUtf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const size_t length = c < 0x80         ? 1
                              : (c >> 5) == 6  ? 2
                              : (c >> 4) == 14 ? 3
                              : (c >> 3) == 30 ? 4
                                               : 0;
        if (length == 0 || i + length > text.size())
            return false;
        for (size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        i += length;
    }
    return true;
}

// A value as the terminal and JSON get it: UTF-8 as it is, other bytes taken
// as 8-bit characters; in the listing a control character shows as '?'.
std::string Printable(const std::string& text, bool keepControls) {
    std::string out;
    const bool utf8 = IsUtf8(text);
    for (unsigned char c : text) {
        if (!keepControls && (c < 0x20 || c == 0x7F))
            c = '?';
        if (c < 0x80 || utf8) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

} // namespace

int RunSettings(CliContext& ctx) {
    const bool json = TakeFlag(ctx.Args, "--json");
    if (const std::string problem = OperandProblem("settings", ctx.Args, {}); !problem.empty())
        return UsageError("settings", problem, CommandUsage("settings"));
    const SettingsPaths paths = ctx.Paths();
    struct stat st {};
    const bool exists = ::stat(paths.SettingsFile.c_str(), &st) == 0;
    const Settings settings = LoadSettings(paths.SettingsFile);

    // The password is never shown, only whether there is one.
    auto values = SettingValues(settings, SettingsSlots, false);
    for (auto& value : values)
        if (value.Key == "SMTP Password")
            value.Value = settings.SMTPPassword.empty() ? "(empty)" : "(set)";

    if (json) {
        JsonWriter out = BeginJsonDocument(ctx, false);
        out.BeginObject("settings_file")
            .Field("path", Printable(paths.SettingsFile, true))
            .Field("exists", exists)
            .End();
        out.BeginObject("settings");
        for (const auto& value : values) {
            switch (value.Kind) {
            case SettingKind::Bool:
                out.Field(value.Key, value.Value == "1");
                break;
            case SettingKind::Integer:
                out.Field(value.Key, JsonDigits{value.Value});
                break;
            case SettingKind::Text:
                out.Field(value.Key, Printable(value.Value, true));
                break;
            }
        }
        out.End();
        PrintJsonDocument(out);
        return ExitOk;
    }
    std::cout << "Settings file: " << Printable(paths.SettingsFile, false)
              << (exists ? "" : " (not there: every key has its default)") << "\n";
    for (const auto& value : values)
        std::cout << value.Key << "=" << Printable(value.Value, false) << "\n";
    return ExitOk;
}

} // namespace quorvane::cli
