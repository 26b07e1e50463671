#include "app/Settings.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <iterator>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <variant>

#include "platform/ProfileFile.h"
#include "platform/SafeWrite.h"

namespace quorvane {
namespace {

constexpr const char* AutostartFileName = "Quorvane.desktop";

std::optional<std::string> Variable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr)
        return std::nullopt;
    return std::string(value);
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string Absolute(const std::string& path) {
    if (!path.empty() && path.front() == '/')
        return path;
    char cwd[4096];
    if (::getcwd(cwd, sizeof cwd) == nullptr)
        return path;
    return std::string(cwd) + "/" + path;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Creates the missing folders of path (the folder itself included), each
// private to the user: a folder made here holds the mail password's file.
bool CreateFolders(const std::string& folder) {
    for (size_t at = 1; at <= folder.size(); ++at) {
        if (at != folder.size() && folder[at] != '/')
            continue;
        const std::string part = folder.substr(0, at);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    struct stat st {};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The bytes of a regular file; nullopt when it cannot be read or is none (a
// folder, or a FIFO that would wait for a writer).
std::optional<std::string> ReadWholeFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    std::string text;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        text.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return text;
}

// $XDG_CONFIG_HOME when it is an absolute path (a relative one is ignored),
// else ~/.config.
std::string ConfigHome(const SettingsEnvironment& env) {
    if (env.XdgConfigHome && !env.XdgConfigHome->empty() && env.XdgConfigHome->front() == '/')
        return *env.XdgConfigHome;
    std::string home = env.Home.value_or("");
    if (home.empty()) {
        if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr)
            home = pw->pw_dir;
    }
    if (home.empty())
        home = "/";
    return (home == "/" ? "" : home) + "/.config";
}

std::string SlotKey(int slot, const char* suffix) {
    return "HDD" + std::to_string(slot) + " Temperature Icon" + suffix;
}

class SettingsReader {
public:
    explicit SettingsReader(const ProfileFile& file) : file_(file) {}

    std::optional<int32_t> Integer(const std::string& key) const {
        const auto text = file_.Read(SettingsSection, key);
        return text ? ParseProfileInteger(*text) : std::nullopt;
    }
    int Integer(const std::string& key, int fallback, int low, int high) const {
        return std::clamp(static_cast<int>(Integer(key).value_or(fallback)), low, high);
    }
    bool Bool(const std::string& key, bool fallback) const {
        return Integer(key).value_or(fallback ? 1 : 0) != 0;
    }
    // A colour uses 24 bits (0x00BBGGRR); anything above gives the default.
    uint32_t Colour(const std::string& key, uint32_t fallback) const {
        const auto value = Integer(key);
        if (!value || *value < 0 || *value > 0x00FFFFFF)
            return fallback;
        return static_cast<uint32_t>(*value);
    }
    std::string Text(const std::string& key, const std::string& fallback) const {
        return file_.Read(SettingsSection, key).value_or(fallback);
    }

private:
    const ProfileFile& file_;
};

} // namespace

SettingsEnvironment SettingsEnvironment::FromProcess() {
    return {Variable("QUORVANE_SETTINGS"), Variable("XDG_CONFIG_HOME"), Variable("HOME")};
}

SettingsPaths FindSettingsPaths(const std::string& executable, const SettingsEnvironment& env) {
    SettingsPaths paths;
    paths.Executable = executable;
    const std::string config = ConfigHome(env);
    paths.AutostartEntry = config + "/autostart/" + AutostartFileName;
    if (env.QuorvaneSettings && !env.QuorvaneSettings->empty()) {
        paths.SettingsFile = Absolute(*env.QuorvaneSettings);
        return paths;
    }
    if (!executable.empty()) {
        const std::string portable = FolderOf(Absolute(executable)) + "/" + SettingsFileName;
        if (IsRegularFile(portable)) {
            paths.SettingsFile = portable;
            return paths;
        }
    }
    paths.SettingsFile = config + "/Quorvane/" + SettingsFileName;
    return paths;
}

std::string RunningExecutable() {
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof buffer)
        return {};
    std::string path(buffer, static_cast<size_t>(n));
    // A program replaced on disk while it runs (an upgrade) is named
    // "PATH (deleted)"; the new file at PATH is the one to start next time.
    const std::string deleted = " (deleted)";
    if (path.size() > deleted.size() &&
        path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0) {
        const std::string original = path.substr(0, path.size() - deleted.size());
        if (IsRegularFile(original))
            return original;
    }
    return path;
}

namespace {

// The settings file's keys, once: what each holds, how it is stored and the
// range a read value is held to. Saving, loading and the settings command
// all walk this table, in the order the file is written; the rows of a
// drive slot stand between the general ones and repeat for every slot.
struct IntegerField {
    int Settings::*Member;
    int Low, High;
};
struct ColourField {
    uint32_t TraySettings::*Member;
};
using SettingField = std::variant<bool Settings::*, IntegerField, std::string Settings::*,
                                  SMTPSecurityMode Settings::*, bool TraySettings::*, ColourField>;
struct SettingRow {
    const char* Key; // after "HDDn Temperature Icon" for the rows of a slot
    SettingField Field;
    bool SavedOnly = false; // written, never read back
};

using S = Settings;
using T = TraySettings;
constexpr int Unbounded = INT32_MAX;
const SettingRow SettingRows[] = {
    {"S.M.A.R.T. Monitoring", &S::SMARTMonitoring},
    // A stored 0 would make the timer fire without a pause: the value is
    // held to the up-down control's range.
    {"Refresh Interval", IntegerField{&S::RefreshInterval, MinRefreshInterval, MaxRefreshInterval}},
    {"RAW Values", IntegerField{&S::RAWValues, INT32_MIN, Unbounded}, true},
    {"", &T::TrayIcon},
    {" FColor", ColourField{&T::TrayFontColor}},
    {" BColor", ColourField{&T::TrayBackColor}},
    {"SMTP Host", &S::SMTPHost},
    {"SMTP Login", &S::SMTPLogin},
    {"SMTP From", &S::SMTPFrom},
    {"SMTP Mail", &S::SMTPMail},
    {"SMTP Port", &S::SMTPPort},
    {"SMTP Password", &S::SMTPPassword},
    {"SMTP Authentication", &S::SMTPAuthentication},
    {"SMTP Security", &S::SMTPSecurity},
    {"SMTP Reports", &S::SMTPReports},
    {"SMTP Warnings", &S::SMTPWarnings},
    {"SMTP Warning Repeat", IntegerField{&S::SMTPWarningRepeat, 0, MaxSMTPWarningRepeat}},
    {"SMTP Delay", IntegerField{&S::SMTPDelay, MinSMTPDelay, MaxSMTPDelay}},
    {"Alert Sound", &S::AlertSound},
    {"Balloon Hints", &S::BalloonHints},
    {"Let Drives Sleep", &S::LetDrivesSleep},
    {"Warn on Rising Sector Counts", &S::WarnOnRisingSectorCounts},
    {"History File", &S::HistoryFile},
};

bool IsSlotRow(const SettingRow& row) {
    return std::holds_alternative<bool T::*>(row.Field) ||
           std::holds_alternative<ColourField>(row.Field);
}

template <class... F> struct Overloaded : F... { using F::operator()...; };
template <class... F> Overloaded(F...) -> Overloaded<F...>;

SettingValue ValueOf(const SettingRow& row, const Settings& s, int slot) {
    const auto flag = [](bool b) { return std::string(b ? "1" : "0"); };
    const std::string key = slot > 0 ? SlotKey(slot, row.Key) : row.Key;
    return std::visit(
        Overloaded{
            [&](bool S::*m) {
                return SettingValue{key, flag(s.*m), SettingKind::Bool};
            },
            [&](IntegerField f) {
                return SettingValue{key, std::to_string(s.*f.Member), SettingKind::Integer};
            },
            [&](std::string S::*m) {
                return SettingValue{key, s.*m, SettingKind::Text};
            },
            [&](SMTPSecurityMode S::*m) {
                return SettingValue{key, std::to_string(static_cast<int>(s.*m)),
                                    SettingKind::Integer};
            },
            [&](bool T::*m) {
                return SettingValue{key, flag(s.TraySlot(slot).*m), SettingKind::Bool};
            },
            [&](ColourField f) {
                return SettingValue{key, std::to_string(s.TraySlot(slot).*f.Member),
                                    SettingKind::Integer};
            },
        },
        row.Field);
}

// A missing key or a value that does not convert keeps the default.
void ReadInto(const SettingRow& row, const SettingsReader& read, Settings& s, int slot) {
    const std::string key = slot > 0 ? SlotKey(slot, row.Key) : row.Key;
    std::visit(
        Overloaded{
            [&](bool S::*m) { s.*m = read.Bool(key, s.*m); },
            [&](IntegerField f) { s.*f.Member = read.Integer(key, s.*f.Member, f.Low, f.High); },
            [&](std::string S::*m) { s.*m = read.Text(key, s.*m); },
            [&](SMTPSecurityMode S::*m) {
                if (const auto mode = read.Integer(key); mode && *mode >= 0 && *mode <= 3)
                    s.*m = static_cast<SMTPSecurityMode>(*mode);
            },
            [&](bool T::*m) { s.TraySlot(slot).*m = read.Bool(key, s.TraySlot(slot).*m); },
            [&](ColourField f) {
                auto& colour = s.TraySlot(slot).*f.Member;
                colour = read.Colour(key, colour);
            },
        },
        row.Field);
}

// Walks the rows in file order, a slot's rows once per slot 1..slots.
template <class Visit> void ForEachKey(int slots, Visit visit) {
    const size_t count = std::size(SettingRows);
    for (size_t i = 0; i < count;) {
        if (!IsSlotRow(SettingRows[i])) {
            visit(SettingRows[i], 0);
            ++i;
            continue;
        }
        size_t end = i;
        while (end < count && IsSlotRow(SettingRows[end]))
            ++end;
        for (int slot = 1; slot <= slots; ++slot)
            for (size_t k = i; k < end; ++k)
                visit(SettingRows[k], slot);
        i = end;
    }
}

} // namespace

std::vector<SettingValue> SettingValues(const Settings& s, int slots, bool withRawValues) {
    std::vector<SettingValue> values;
    ForEachKey(std::clamp(slots, 0, SettingsSlots), [&](const SettingRow& row, int slot) {
        if (!row.SavedOnly || withRawValues)
            values.push_back(ValueOf(row, s, slot));
    });
    return values;
}

Settings LoadSettings(const std::string& settingsFile) {
    Settings s;
    const ProfileFile file(ReadWholeFile(settingsFile).value_or(""));
    const SettingsReader read(file);
    ForEachKey(SettingsSlots, [&](const SettingRow& row, int slot) {
        if (!row.SavedOnly)
            ReadInto(row, read, s, slot);
    });
    return s;
}

SaveOutcome SaveSettings(const SettingsPaths& paths, const Settings& settings, int driveCount) {
    const std::string& path = paths.SettingsFile;
    SaveOutcome outcome;
    outcome.Message = UnableToWriteText(path);
    std::string old;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        // A file that is there but cannot be read is not replaced: its other
        // lines would be lost.
        const auto text = ReadWholeFile(path);
        if (!text)
            return outcome;
        old = *text;
    } else if (!CreateFolders(FolderOf(path))) {
        return outcome;
    }
    ProfileFile file(old);
    for (const auto& value : SettingValues(settings, driveCount, true))
        file.Write(SettingsSection, value.Key, value.Value);
    // A password kept in a file others may read would be theirs too.
    bool narrowed = false;
    const bool written = settings.SMTPPassword.empty()
                             ? SafeWriteFile(path, file.Text(), NewFileModePrivate)
                             : SafeWritePrivateFile(path, file.Text(), &narrowed);
    if (!written)
        return outcome;
    outcome.Written = true;
    outcome.Message.clear();
    if (narrowed)
        outcome.Notice = PasswordFileNarrowedText(path);
    UpdateAutorun(paths.AutostartEntry, paths.Executable, settings.AutoRun);
    return outcome;
}

std::string PasswordFileNarrowedText(const std::string& settingsFile) {
    return settingsFile + " holds the SMTP password: only its owner may read it now";
}

std::string AutostartExec(const std::string& executable) {
    // Inside the quotes of an Exec value '"', '`', '$' and '\' take a
    // backslash and '%' is doubled; the value's own escapes then double every
    // backslash and spell out control characters.
    std::string quoted;
    for (char c : executable) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += '\\';
        if (c == '%')
            quoted += '%';
        quoted += c;
    }
    std::string value = "\"";
    for (char c : quoted) {
        switch (c) {
        case '\\':
            value += "\\\\";
            break;
        case '\n':
            value += "\\n";
            break;
        case '\t':
            value += "\\t";
            break;
        case '\r':
            value += "\\r";
            break;
        default:
            value += c;
        }
    }
    return value + "\"";
}

bool ReadAutorun(const std::string& entryFile, const std::string& executable) {
    const auto text = ReadWholeFile(entryFile);
    if (!text || executable.empty())
        return false;
    // Keys and group names of a desktop entry are case-sensitive; only the
    // [Desktop Entry] group counts, and its first Exec.
    bool inEntry = false;
    bool hidden = false;
    std::optional<std::string> exec;
    size_t start = 0;
    while (start < text->size()) {
        auto end = text->find('\n', start);
        if (end == std::string::npos)
            end = text->size();
        std::string line = text->substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line.front() == '[') {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        const auto eq = line.find('=');
        if (!inEntry || eq == std::string::npos)
            continue;
        std::string key = line.substr(0, eq);
        std::string value = line.substr(eq + 1);
        while (!key.empty() && key.back() == ' ')
            key.pop_back();
        while (!value.empty() && value.front() == ' ')
            value.erase(0, 1);
        if (key == "Hidden" && value == "true")
            hidden = true;
        else if (key == "Exec" && !exec)
            exec = value;
    }
    return !hidden && exec && exec->find(AutostartExec(executable)) != std::string::npos;
}

void UpdateAutorun(const std::string& entryFile, const std::string& executable, bool autoRun) {
    if (!autoRun) {
        if (Exists(entryFile))
            ::unlink(entryFile.c_str());
        return;
    }
    if (executable.empty() || ReadAutorun(entryFile, executable))
        return;
    if (!Exists(entryFile) && !CreateFolders(FolderOf(entryFile)))
        return;
    SafeWriteFile(entryFile, "[Desktop Entry]\nType=Application\nName=Quorvane\nExec=" +
                                 AutostartExec(executable) + "\n");
}

} // namespace quorvane
