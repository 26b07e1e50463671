#include "program/HistoryRecorder.h"

#include <algorithm>
#include <limits>

#include "smart/SmartAttributes.h"

namespace quorvane {

namespace {

uint64_t Clamped(Uint128 value) {
    return FitsIn64(value) ? static_cast<uint64_t>(value) : std::numeric_limits<uint64_t>::max();
}

// An NVMe health log's counters that tell wear and damage, by name.
void AddNvmeCounters(const NvmeHealthLog& log, history::DriveRecord& record) {
    record.Counters = {
        {history::MediaErrorsCounter, Clamped(log.MediaErrors)},
        {"Error Log Entries", Clamped(log.ErrorLogEntries)},
        {"Percentage Used", log.PercentageUsed},
        {"Available Spare", log.AvailableSpare},
        {"Unsafe Shutdowns", Clamped(log.UnsafeShutdowns)},
        {"Power-On Hours", Clamped(log.PowerOnHours)},
    };
}

void AddAtaAttributes(const SmartPage& page, history::DriveRecord& record) {
    for (const PageAttribute& a : SMARTAttributesOnPage(page))
        record.Attributes.push_back({a.Id, a.Decoded.Value, a.Decoded.Raw});
}

} // namespace

history::TickRecord TickRecordOf(const ProgramData& data, const TickResult& result,
                                 history::Seconds now) {
    history::TickRecord tick;
    tick.Time = now;
    for (int slot = 1; slot <= std::min(data.DriveCount, MaxDrives); ++slot) {
        const HDD& drive = data.Drives[slot];
        const uint8_t bit = static_cast<uint8_t>(1u << (slot - 1));
        if (!drive.SMARTEnabled || (result.SleepingSlots & bit) != 0)
            continue;
        const bool read = drive.IsNvme() ? drive.Reading.NvmeHealth.has_value()
                                         : drive.Reading.PagesRead;
        if (!read)
            continue;
        history::DriveRecord record;
        record.Drive = {drive.ModelNumber, drive.SerialNumber, drive.FirmwareRevision};
        record.Slot = slot;
        // 0 is the program's "not measured".
        if (drive.Temperature > 0)
            record.Temperature = drive.Temperature;
        record.Status = (result.FailingSlots & bit) != 0 || !drive.SMARTStatusOK
                            ? history::Health::Failing
                            : history::Health::Ok;
        if (drive.IsNvme())
            AddNvmeCounters(*drive.Reading.NvmeHealth, record);
        else
            AddAtaAttributes(drive.Reading.DataPage, record);
        tick.Drives.push_back(std::move(record));
    }
    return tick;
}

HistoryRecorder::HistoryRecorder(history::HistoryStore& store, Clock now)
    : store_(store), now_(std::move(now)) {}

HistoryVerdict HistoryRecorder::Record(const ProgramData& data, const TickResult& result) {
    HistoryVerdict verdict;
    const history::TickRecord tick = TickRecordOf(data, result, now_());
    const history::RecordOutcome outcome = store_.Record(tick);
    verdict.Notice = store_.TakeNotice();
    for (const history::CounterRise& rise : outcome.Rises)
        verdict.NewRises.push_back({rise.Slot, "HDD" + std::to_string(rise.Slot) + ": " +
                                                   history::RiseText(rise)});
    for (const history::DriveRecord& drive : tick.Drives) {
        std::string note;
        for (const history::CounterRise& rise : store_.Rising(drive.Drive, tick.Time))
            note += (note.empty() ? "" : "\n") + history::RiseText(rise);
        if (note.empty())
            continue;
        verdict.RisingSlots |= static_cast<uint8_t>(1u << (drive.Slot - 1));
        verdict.Notes[static_cast<size_t>(drive.Slot - 1)] = note;
    }
    return verdict;
}

} // namespace quorvane
