#include "monitor/WatchText.h"

#include <set>

#include "app/NvmeLogs.h"
#include "monitor/MonitorSession.h"
#include "platform/TerminalText.h"
#include "smart/SmartAttributes.h"

namespace quorvane {

namespace {

// The first slot of the page holding id, or nullptr.
const uint8_t* FindSlot(const SmartPage& page, uint8_t id) {
    for (size_t k = 0; k < SmartSlotCount; ++k) {
        const uint8_t* slot = page.data() + SmartFirstSlotOffset + k * SmartSlotBytes;
        if (slot[0] == id)
            return slot;
    }
    return nullptr;
}

} // namespace

std::vector<std::string> FailingAttributeNames(const DriveReading& reading) {
    std::vector<std::string> names;
    if (!reading.PagesRead)
        return names;
    std::set<uint8_t> seen;
    for (const auto& entry : SMARTAttributeNames) {
        if (!seen.insert(entry.Id).second)
            continue;
        const uint8_t* value = FindSlot(reading.DataPage, entry.Id);
        const uint8_t* threshold = FindSlot(reading.ThresholdPage, entry.Id);
        if (value && threshold && threshold[1] != 0 && value[3] < threshold[1])
            names.emplace_back(entry.Name);
    }
    return names;
}

std::string ConcernsHint(const std::string& hint, const std::vector<std::string>& concerns) {
    std::string text = hint;
    for (const std::string& concern : concerns)
        text += "\n" + concern;
    return text;
}

std::string SleepingHint(const std::string& hint) {
    return hint.empty() ? SleepingHintText : hint + " (" + SleepingHintText + ")";
}

std::string WatchLine(int slot, const HDD& drive, bool failing, bool sleeping) {
    std::string line = std::to_string(slot) + "  " + DriveTerminalText(drive.ModelNumber) + "  ";
    if (!drive.SMARTEnabled)
        return line + NoSmartTrayText;
    if (sleeping)
        return line + SleepingTrayText + "  " + SleepingHintText;
    line += DriveTemperatureText(drive) + " C  ";
    line += failing ? WatchStatusError : WatchStatusOk;
    auto names = FailingAttributeNames(drive.Reading);
    for (const std::string& concern : DriveConcerns(drive))
        names.push_back(concern);
    for (size_t i = 0; i < names.size(); ++i)
        line += (i == 0 ? "  " : ", ") + names[i];
    return line;
}

std::string TrayTooltip(const std::string& hint, bool sleeping, const std::string& note) {
    const std::string first = sleeping ? SleepingHint(hint) : hint;
    return note.empty() ? first : first + "\n" + note;
}

} // namespace quorvane
