// What every --json document of quorvane-cli holds: the format's version,
// the program and where its drives came from, then the command's own
// members; and the error object a command prints instead when it fails.
// The shapes are described by the JSON Schemas in docs/json/.
#pragma once

#include <string>

#include "cli/Cli.h"
#include "app/DriveTable.h"
#include "platform/JsonWriter.h"

namespace quorvane::cli {

// [major, minor]: a member added keeps the version, one removed or changed
// raises the major.
inline constexpr int JsonFormatMajor = 1;
inline constexpr int JsonFormatMinor = 0;

// The document's top object, opened, with json_format_version and quorvane
// {version, simulated, drives_source}; a command that opens no drive
// (settings) passes opened = false and both drive members are null.
JsonWriter BeginJsonDocument(CliContext& ctx, bool opened = true);
// Closes the top object and prints the document on standard output.
void PrintJsonDocument(JsonWriter& json);

// Why a command has no answer: error {kind, message, page or path}.
struct JsonError {
    std::string Kind;    // "no_drive", "read_failed", "smart_disabled", ...
    std::string Message; // the sentence standard error gets as well
    std::string Page;    // the page or sector that did not come; may be empty
    std::string Path;    // the file that could not be written; may be empty
};
// Prints the whole error document; slot 0 leaves the slot out.
void PrintJsonError(CliContext& ctx, int slot, const JsonError& error);

// A slot the scan left empty: with json the error document (kind
// "no_drive"); ExitUsage. The reason is already on standard error.
int NoDriveInSlot(CliContext& ctx, const ProgramData& data, int slot, bool json);

// The drive's identity as scan and smart give it: device, model_name,
// serial_number, firmware_version, user_capacity, smart_support, and the ATA
// drives' ata_lba48, hpa and ata_security (null for an NVMe drive).
void WriteDriveIdentity(JsonWriter& json, const HDD& drive);

} // namespace quorvane::cli
