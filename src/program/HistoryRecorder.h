// The program's side of the history: what a tick read, in the store's own
// terms (the adapter from the drive table), and the store's verdict in the
// session's terms.
#pragma once

#include <functional>

#include "app/DriveTable.h"
#include "history/HistoryStore.h"
#include "monitor/MonitorSession.h"

namespace quorvane {

// The drives the tick read (every slot with S.M.A.R.T. that was not left
// asleep and brought its pages or health log), at now.
history::TickRecord TickRecordOf(const ProgramData& data, const TickResult& result,
                                 history::Seconds now);

class HistoryRecorder final : public TickRecorder {
public:
    using Clock = std::function<history::Seconds()>;
    HistoryRecorder(history::HistoryStore& store, Clock now);
    HistoryVerdict Record(const ProgramData& data, const TickResult& result) override;

private:
    history::HistoryStore& store_;
    Clock now_;
};

} // namespace quorvane
