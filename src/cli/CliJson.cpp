#include "cli/CliJson.h"

#include <iostream>

#include "platform/TerminalText.h"
#include "platform/Version.h"

namespace quorvane::cli {

JsonWriter BeginJsonDocument(CliContext& ctx, bool opened) {
    JsonWriter json;
    json.BeginObject();
    json.BeginArray("json_format_version").Item(JsonFormatMajor).Item(JsonFormatMinor).End();
    json.BeginObject("quorvane").Field("version", ProgramVersion());
    if (opened)
        json.Field("simulated", ctx.Bus().IsSimulated()).Field("drives_source", ctx.Bus().Describe());
    else
        json.Field("simulated", std::nullopt).Field("drives_source", std::nullopt);
    json.End();
    return json;
}

void PrintJsonDocument(JsonWriter& json) {
    json.End();
    std::cout << json.Text() << std::flush;
}

void PrintJsonError(CliContext& ctx, int slot, const JsonError& error) {
    JsonWriter json = BeginJsonDocument(ctx);
    if (slot > 0)
        json.Field("slot", slot);
    json.BeginObject("error").Field("kind", error.Kind).Field("message", error.Message);
    if (!error.Page.empty())
        json.Field("page", error.Page);
    if (!error.Path.empty())
        json.Field("path", error.Path);
    json.End();
    PrintJsonDocument(json);
}

int NoDriveInSlot(CliContext& ctx, const ProgramData& data, int slot, bool json) {
    if (json)
        PrintJsonError(ctx, slot,
                       {"no_drive",
                        "slot " + std::to_string(slot) + " holds no drive (drives found: " +
                            std::to_string(data.DriveCount) + ")",
                        "", ""});
    return ExitUsage;
}

void WriteDriveIdentity(JsonWriter& json, const HDD& d) {
    const bool nvme = d.IsNvme();
    json.BeginObject("device")
        .Field("name", DeviceName(d))
        .Field("type", nvme ? "nvme" : "ata")
        .Field("number", int{d.DriveNumber})
        .End();
    json.Field("model_name", Latin1ToUtf8(d.ModelNumber))
        .Field("serial_number", Latin1ToUtf8(d.SerialNumber))
        .Field("firmware_version", Latin1ToUtf8(d.FirmwareRevision));
    if (d.Vendor)
        json.Field("vendor_code", std::string(1, d.Vendor));
    else
        json.Field("vendor_code", std::nullopt);
    if (d.SizeKnown && d.Sectors >= 0) {
        json.BeginObject("user_capacity")
            .Field("blocks", d.Sectors)
            .Field("bytes", static_cast<uint64_t>(d.Sectors) * 512u)
            .End();
        json.Field("size_gb", d.SizeGB);
    } else {
        json.Field("user_capacity", std::nullopt).Field("size_gb", std::nullopt);
    }
    json.BeginObject("smart_support").Field("enabled", d.SMARTEnabled).End();
    if (nvme) {
        json.Field("ata_lba48", std::nullopt)
            .Field("hpa", std::nullopt)
            .Field("ata_security", std::nullopt);
        return;
    }
    json.Field("ata_lba48", d.LBA48);
    json.BeginObject("hpa").Field("supported", d.HPA);
    if (d.HPASectors >= 0)
        json.Field("size_bytes", static_cast<uint64_t>(d.HPASectors) * 512u)
            .Field("size_mb", d.HPASizeMB);
    else
        json.Field("size_bytes", std::nullopt).Field("size_mb", std::nullopt);
    json.End();
    json.BeginObject("ata_security").Field("enabled", d.Security).End();
}

} // namespace quorvane::cli
