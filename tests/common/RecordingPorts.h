// Recording fakes of the monitoring session's ports, shared by the tests
// that tick a session: what the tray was told, and how many warning mails
// the session asked for.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "monitor/MonitorSession.h"

namespace quorvane::test {

struct Balloon {
    int Slot;
    std::string Title, Text;
    int Seconds;
    bool operator==(const Balloon&) const = default;
};

// The last text and border colour of every icon, the sirens and every
// balloon, in order.
class RecordingTray final : public MonitorView {
public:
    std::map<int, std::string> Texts;
    std::map<int, uint32_t> Borders;
    int Sirens = 0;
    std::vector<Balloon> Balloons;
    std::vector<Balloon> Warnings; // the warning balloons
    std::map<int, std::string> Notes;
    std::vector<std::string> Notices;

    void SetTrayIconText(int slot, const std::string& text) override { Texts[slot] = text; }
    void SetTrayIconBorderColor(int slot, uint32_t color) override { Borders[slot] = color; }
    std::map<int, std::vector<std::string>> Concerns;
    void SetTrayIconConcerns(int slot, const std::vector<std::string>& concerns) override {
        Concerns[slot] = concerns;
    }
    void PlaySiren() override { ++Sirens; }
    void ShowErrorBalloon(int slot, const std::string& title, const std::string& text,
                          int seconds) override {
        Balloons.push_back({slot, title, text, seconds});
    }
    void ShowWarningBalloon(int slot, const std::string& title, const std::string& text,
                            int seconds) override {
        Warnings.push_back({slot, title, text, seconds});
    }
    void SetTrayIconNote(int slot, const std::string& note) override { Notes[slot] = note; }
    void ShowHistoryNotice(const std::string& text) override { Notices.push_back(text); }
};

// Counts the warning mails asked for.
class CountingMail final : public WarningMail {
public:
    int Sent = 0;
    std::vector<std::string> Rises;
    void SendReport() override { ++Sent; }
    void SendRiseWarning(const std::string& rise) override { Rises.push_back(rise); }
};

} // namespace quorvane::test
