#pragma once

#include "cli/Cli.h"
#include "app/DriveTable.h"
#include "app/Scan.h"

namespace quorvane::cli {

// Runs the scan for a subcommand: prints the simulated-drives line (to
// stdout unless quiet) and the permission hint (to stderr) when they apply.
// False when no drive was found; the not-found text is then already printed
// to stderr. A command reads (ScanUse::ReadOnly); the watch service prepares
// the drives as the desktop program does.
bool ScanForCommand(CliContext& ctx, ProgramData& data, bool printHeader,
                    ScanUse use = ScanUse::ReadOnly);

// The scan for a subcommand of one slot: false, with the reason on stderr,
// when the slot holds no drive (the command then exits with ExitUsage).
bool ScanForSlot(CliContext& ctx, ProgramData& data, int slot, bool printHeader);

// Why a read of the drive left nothing to show: the page that could not be
// read, or a drive whose S.M.A.R.T. is off; empty when its pages were read.
std::string UnreadReason(const HDD& drive);

// The first line printed when the drives are simulated.
std::string SimulatedHeader(const DriveBus& bus);

} // namespace quorvane::cli
