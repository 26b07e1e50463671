#include "shell/Settings.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "shell/ProfileFile.h"
#include "shell/SafeWrite.h"

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

std::vector<SettingValue> SettingValues(const Settings& s, int slots, bool withRawValues) {
    const auto flag = [](bool b) { return std::string(b ? "1" : "0"); };
    const auto number = [](auto n) { return std::to_string(n); };
    std::vector<SettingValue> v;
    v.push_back({"S.M.A.R.T. Monitoring", flag(s.SMARTMonitoring), SettingKind::Bool});
    v.push_back({"Refresh Interval", number(s.RefreshInterval), SettingKind::Integer});
    if (withRawValues)
        v.push_back({"RAW Values", number(s.RAWValues), SettingKind::Integer});
    for (int slot = 1; slot <= std::clamp(slots, 0, SettingsSlots); ++slot) {
        const TraySettings& tray = s.TraySlot(slot);
        v.push_back({SlotKey(slot, ""), flag(tray.TrayIcon), SettingKind::Bool});
        v.push_back({SlotKey(slot, " FColor"), number(tray.TrayFontColor), SettingKind::Integer});
        v.push_back({SlotKey(slot, " BColor"), number(tray.TrayBackColor), SettingKind::Integer});
    }
    v.push_back({"SMTP Host", s.SMTPHost, SettingKind::Text});
    v.push_back({"SMTP Login", s.SMTPLogin, SettingKind::Text});
    v.push_back({"SMTP From", s.SMTPFrom, SettingKind::Text});
    v.push_back({"SMTP Mail", s.SMTPMail, SettingKind::Text});
    v.push_back({"SMTP Port", s.SMTPPort, SettingKind::Text});
    v.push_back({"SMTP Password", s.SMTPPassword, SettingKind::Text});
    v.push_back({"SMTP Authentication", flag(s.SMTPAuthentication), SettingKind::Bool});
    v.push_back({"SMTP Security", number(static_cast<int>(s.SMTPSecurity)), SettingKind::Integer});
    v.push_back({"SMTP Reports", flag(s.SMTPReports), SettingKind::Bool});
    v.push_back({"SMTP Warnings", flag(s.SMTPWarnings), SettingKind::Bool});
    v.push_back({"SMTP Warning Repeat", number(s.SMTPWarningRepeat), SettingKind::Integer});
    v.push_back({"SMTP Delay", number(s.SMTPDelay), SettingKind::Integer});
    v.push_back({"Alert Sound", flag(s.AlertSound), SettingKind::Bool});
    v.push_back({"Balloon Hints", flag(s.BalloonHints), SettingKind::Bool});
    v.push_back({"Let Drives Sleep", flag(s.LetDrivesSleep), SettingKind::Bool});
    return v;
}

Settings LoadSettings(const std::string& settingsFile) {
    Settings s;
    const ProfileFile file(ReadWholeFile(settingsFile).value_or(""));
    const SettingsReader read(file);
    s.SMARTMonitoring = read.Bool("S.M.A.R.T. Monitoring", s.SMARTMonitoring);
    // A stored 0 would make the timer fire without a pause: the value is
    // held to the up-down control's range.
    s.RefreshInterval =
        read.Integer("Refresh Interval", s.RefreshInterval, MinRefreshInterval, MaxRefreshInterval);
    for (int slot = 1; slot <= SettingsSlots; ++slot) {
        TraySettings& tray = s.TraySlot(slot);
        tray.TrayIcon = read.Bool(SlotKey(slot, ""), tray.TrayIcon);
        tray.TrayFontColor = read.Colour(SlotKey(slot, " FColor"), tray.TrayFontColor);
        tray.TrayBackColor = read.Colour(SlotKey(slot, " BColor"), tray.TrayBackColor);
    }
    s.SMTPHost = read.Text("SMTP Host", s.SMTPHost);
    s.SMTPLogin = read.Text("SMTP Login", s.SMTPLogin);
    s.SMTPFrom = read.Text("SMTP From", s.SMTPFrom);
    s.SMTPMail = read.Text("SMTP Mail", s.SMTPMail);
    s.SMTPPort = read.Text("SMTP Port", s.SMTPPort);
    s.SMTPPassword = read.Text("SMTP Password", s.SMTPPassword);
    s.SMTPAuthentication = read.Bool("SMTP Authentication", s.SMTPAuthentication);
    if (const auto mode = read.Integer("SMTP Security"); mode && *mode >= 0 && *mode <= 3)
        s.SMTPSecurity = static_cast<SMTPSecurityMode>(*mode);
    s.SMTPReports = read.Bool("SMTP Reports", s.SMTPReports);
    s.SMTPWarnings = read.Bool("SMTP Warnings", s.SMTPWarnings);
    s.SMTPWarningRepeat =
        read.Integer("SMTP Warning Repeat", s.SMTPWarningRepeat, 0, MaxSMTPWarningRepeat);
    s.SMTPDelay = read.Integer("SMTP Delay", s.SMTPDelay, MinSMTPDelay, MaxSMTPDelay);
    s.AlertSound = read.Bool("Alert Sound", s.AlertSound);
    s.BalloonHints = read.Bool("Balloon Hints", s.BalloonHints);
    s.LetDrivesSleep = read.Bool("Let Drives Sleep", s.LetDrivesSleep);
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
