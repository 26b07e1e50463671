// The settings file: the profile file edited in place and the settings read
// from it and saved back, with the file's text the input.
//
// Input: two name lengths and a value length, the names and the value, then
// the file.
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "FuzzSupport.h"
#include "platform/ProfileFile.h"
#include "app/Settings.h"

using namespace quorvane;
namespace fs = std::filesystem;

namespace {

const fs::path& Folder() {
    static const fs::path folder = [] {
        const fs::path f =
            fs::temp_directory_path() / ("quorvane-fuzz-settings-" + std::to_string(::getpid()));
        fs::create_directories(f);
        std::atexit([] {
            fs::remove_all(fs::temp_directory_path() /
                           ("quorvane-fuzz-settings-" + std::to_string(::getpid())));
        });
        return f;
    }();
    return folder;
}

// Letters, digits and inner blanks only: a name any profile file can hold.
std::string NameFrom(const std::string& bytes) {
    std::string name;
    for (unsigned char c : bytes)
        name += "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 ._-"[c % 67];
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    while (!name.empty() && name.front() == ' ')
        name.erase(0, 1);
    return name.empty() ? "K" : name;
}

void CheckRanges(const Settings& s) {
    FUZZ_CHECK(s.RefreshInterval >= MinRefreshInterval && s.RefreshInterval <= MaxRefreshInterval);
    FUZZ_CHECK(s.SMTPDelay >= MinSMTPDelay && s.SMTPDelay <= MaxSMTPDelay);
    FUZZ_CHECK(s.SMTPWarningRepeat >= 0 && s.SMTPWarningRepeat <= MaxSMTPWarningRepeat);
    const int security = static_cast<int>(s.SMTPSecurity);
    FUZZ_CHECK(security >= 0 && security <= 3);
    for (const std::string* text :
         {&s.SMTPHost, &s.SMTPLogin, &s.SMTPFrom, &s.SMTPMail, &s.SMTPPort, &s.SMTPPassword})
        FUZZ_CHECK(text->size() <= MaxProfileValue);
}

bool SameValues(const Settings& a, const Settings& b) {
    const auto x = SettingValues(a, SettingsSlots, false);
    const auto y = SettingValues(b, SettingsSlots, false);
    if (x.size() != y.size())
        return false;
    for (size_t i = 0; i < x.size(); ++i)
        if (x[i].Key != y[i].Key || x[i].Value != y[i].Value) {
            std::fprintf(stderr, "%s: \"%s\" read back as \"%s\"\n", x[i].Key.c_str(),
                         x[i].Value.c_str(), y[i].Value.c_str());
            return false;
        }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InputReader in(data, size);
    const size_t sectionLength = in.Byte() % 16;
    const size_t keyLength = in.Byte() % 16;
    const size_t valueLength = in.Word() % 2100;
    const std::string section = NameFrom(in.Text(sectionLength));
    const std::string key = NameFrom(in.Text(keyLength));
    const std::string value = in.Text(valueLength);
    const std::string text = in.RestText();

    // What the program does not write stays as it was, byte for byte.
    ProfileFile profile(text);
    FUZZ_CHECK(profile.Text() == text);
    // A value written reads back, without the characters no line can hold.
    std::string expected;
    for (char c : value)
        if (c != '\r' && c != '\n' && c != '\0')
            expected += c;
    expected = expected.substr(0, MaxProfileValue);
    profile.Write(section, key, value);
    FUZZ_CHECK(profile.Read(section, key) == expected);
    FUZZ_CHECK(ProfileFile(profile.Text()).Read(section, key) == expected);

    if (const auto number = ParseProfileInteger(text))
        FUZZ_CHECK(ParseProfileInteger(std::to_string(*number)) == number);

    // Settings read from the file are within their ranges, and saved and read
    // again they are the same.
    const fs::path file = Folder() / "Quorvane.ini";
    std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
    const Settings loaded = LoadSettings(file.string());
    CheckRanges(loaded);
    SettingsPaths paths;
    paths.SettingsFile = file.string();
    paths.AutostartEntry = (Folder() / "autostart" / "Quorvane.desktop").string();
    paths.Executable = "/usr/bin/quorvane";
    const SaveOutcome saved = SaveSettings(paths, loaded, SettingsSlots);
    FUZZ_CHECK(saved.Written);
    const Settings again = LoadSettings(file.string());
    FUZZ_CHECK(SameValues(loaded, again));
    return 0;
}
