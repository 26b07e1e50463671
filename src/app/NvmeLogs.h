// The NVMe logs read on demand: the Error Information log.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/DriveTable.h"
#include "nvme/NvmeHealth.h"
#include "smart/SmartReport.h"

namespace quorvane {

// The entries the controller keeps (Identify's ELPE + 1, at most 64), newest
// first, empty ones left out; nullopt when the slot holds no NVMe drive or
// the log could not be read (with the reason in why).
std::optional<std::vector<NvmeErrorEntry>> ReadNvmeErrorLog(DriveBus& bus, const HDD& drive,
                                                            std::string& why);

// What the report and the tooltip name about a drive's health beyond its
// verdict: for an NVMe drive the warning bits, wear and spare of its last
// health log; for an ATA drive a failed newest self-test, a risen error
// count and a running test ("self-test 40 %"); its failing attributes are
// named from the pages.
std::vector<std::string> DriveConcerns(const HDD& drive);

// The drive's temperature in whole degrees as the tray and the mail show it;
// "..." for an NVMe drive whose log reports none.
std::string DriveTemperatureText(const HDD& drive);

// The report file's identity of a slot: the Information group's captions
// and, for an NVMe drive, its concerns and its Error Information log (read
// now; a log that cannot be read is one line saying why).
SmartReportIdentity ReportIdentityOf(const ProgramData& data, DriveBus& bus, int slot);

} // namespace quorvane
