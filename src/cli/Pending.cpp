// Subcommands whose subsystems are not built into this version yet. Each is
// replaced by its real definition when that subsystem lands.
#include <iostream>

#include "cli/Cli.h"

namespace quorvane::cli {
namespace {
int NotAvailable(const char* name) {
    std::cerr << "quorvane-cli: '" << name << "' is not available in this version\n";
    return ExitUsage;
}
} // namespace

[[gnu::weak]] int RunSmart(CliContext&) {
    return NotAvailable("smart");
}
[[gnu::weak]] int RunReport(CliContext&) {
    return NotAvailable("report");
}
[[gnu::weak]] int RunMail(CliContext&) {
    return NotAvailable("mail");
}

} // namespace quorvane::cli
