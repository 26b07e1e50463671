// Histories for the store's tests, made from the real drive pages.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <unistd.h>
#include <vector>

#include "common/TestDrives.h"
#include "history/HistoryStore.h"
#include "smart/SmartAttributes.h"

namespace quorvane::history {
inline void PrintTo(const CounterRise& r, std::ostream* os) {
    *os << "{" << r.Drive.Model << " slot " << r.Slot << " key " << r.Key << " '" << r.Name << "' "
        << r.From << " -> " << r.To << " at " << r.Time << "}";
}
} // namespace quorvane::history

namespace quorvane::test {

// Every attribute on a real drive's data page, as a tick reads them.
inline history::DriveRecord RecordOfPage(const std::string& name, int slot,
                                         const std::string& serial = "SERIAL") {
    const std::vector<uint8_t> page = PageOf(name, "smart-data");
    history::DriveRecord record;
    record.Drive = {name, serial, "FW"};
    record.Slot = slot;
    record.Status = history::Health::Ok;
    for (const PageAttribute& a : SMARTAttributesOnPage(page))
        record.Attributes.push_back({a.Id, a.Decoded.Value, a.Decoded.Raw});
    return record;
}

inline history::AttributeReading* AttributeOf(history::DriveRecord& record, uint8_t id) {
    for (history::AttributeReading& a : record.Attributes) {
        if (a.Id == id)
            return &a;
    }
    return nullptr;
}

// A fresh folder for a history file, removed at the end of the test.
class HistoryDir {
public:
    HistoryDir() {
        static int counter = 0;
        root_ = std::filesystem::temp_directory_path() /
                ("quorvane-history-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
    }
    ~HistoryDir() {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    std::filesystem::path Root() const { return root_; }
    std::string File() const { return (root_ / "history.db").string(); }

private:
    std::filesystem::path root_;
};

// 2026-12-01 00:00 UTC; the tests run in UTC.
inline constexpr history::Seconds HistoryStart = 1796083200;

} // namespace quorvane::test
