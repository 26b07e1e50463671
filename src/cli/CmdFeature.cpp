// quorvane-cli aam|apm SLOT [--set LEVEL | --off] [--json]: reads a drive's
// AAM or APM level, or sets it and reads it again.
#include <iostream>
#include <optional>

#include "cli/CliJson.h"
#include "cli/CliScan.h"
#include "app/FeatureLevels.h"

namespace quorvane::cli {
namespace {

const char* CommandName(Feature feature) {
    return feature == Feature::AAM ? "aam" : "apm";
}

// A level as the bar offers it: decimal 0..254.
std::optional<uint8_t> ParseLevel(const std::string& text) {
    if (text.empty() || text.size() > 3)
        return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > FeatureLevelMax)
        return std::nullopt;
    return static_cast<uint8_t>(value);
}

// Takes "--set LEVEL" out of args. What is wrong when --set has no valid
// level or comes twice, else empty.
std::string TakeSetLevel(std::vector<std::string>& args, std::optional<uint8_t>& level) {
    for (size_t i = 0; i < args.size();) {
        if (args[i] != "--set") {
            ++i;
            continue;
        }
        if (level)
            return "--set is given twice";
        if (i + 1 == args.size())
            return "--set needs a LEVEL, 0..254";
        level = ParseLevel(args[i + 1]);
        if (!level)
            return "'" + args[i + 1] + "' is no LEVEL; --set takes 0..254";
        args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                   args.begin() + static_cast<std::ptrdiff_t>(i + 2));
    }
    return {};
}

// What a --set or --off did: "done", "refused" or "not_sent".
struct SetOutcome {
    uint8_t Level = 0;
    bool Enable = false;
    const char* Result = "done";
};

void PrintJson(CliContext& ctx, int slot, const HDD& drive, Feature feature,
               const FeatureLevels& levels, const std::optional<SetOutcome>& set) {
    JsonWriter json = BeginJsonDocument(ctx);
    json.Field("slot", slot);
    json.BeginObject("device").Field("name", DeviceName(drive)).Field("type", drive.IsNvme() ? "nvme" : "ata").End();
    // Without the feature the level bytes mean nothing.
    auto level = [&](uint8_t value) {
        return levels.Supported ? std::optional<int>(value) : std::nullopt;
    };
    json.BeginObject(feature == Feature::AAM ? "ata_aam" : "ata_apm")
        .Field("supported", levels.Supported)
        .Field("enabled", levels.Enabled)
        .Field("level", level(levels.CurrentLevel))
        .Field(feature == Feature::AAM ? "recommended_level" : "second_level",
               level(levels.SecondLevel))
        .End();
    if (set)
        json.BeginObject("set")
            .Field("enable", set->Enable)
            .Field("level", set->Level)
            .Field("result", set->Result)
            .End();
    else
        json.Field("set", std::nullopt);
    PrintJsonDocument(json);
}

void PrintText(const HDD& drive, int slot, Feature feature, const FeatureLevels& levels) {
    const char* name = FeatureName(feature);
    std::cout << "Slot " << slot << ": " << drive.ModelNumber << "\n"
              << name << " supported: " << (levels.Supported ? "yes" : "no") << "\n"
              << name << " enabled: " << (levels.Enabled ? "yes" : "no") << "\n"
              << "Current level: " << int{levels.CurrentLevel} << "\n"
              << (feature == Feature::AAM ? "Recommended level: " : "Second level: ")
              << int{levels.SecondLevel} << "\n";
}

int RunFeature(CliContext& ctx, Feature feature) {
    const bool json = TakeFlag(ctx.Args, "--json");
    const bool off = TakeFlag(ctx.Args, "--off");
    std::optional<uint8_t> level;
    const char* command = CommandName(feature);
    std::string problem = TakeSetLevel(ctx.Args, level);
    if (problem.empty() && off && level)
        problem = "--set and --off exclude each other";
    if (problem.empty())
        problem = OperandProblem(command, ctx.Args, {"SLOT"});
    if (problem.empty())
        problem = SlotProblem(ctx.Args[0]);
    if (!problem.empty())
        return UsageError(command, problem, CommandUsage(command));
    int slot = 0;
    ParseSlot(ctx.Args[0], slot);
    ProgramData& data = ctx.App().Data();
    if (!ScanForSlot(ctx, data, slot, !json))
        return NoDriveInSlot(ctx, data, slot, json);
    DriveBus& bus = ctx.Bus();
    int status = ExitOk;
    std::optional<SetOutcome> outcome;
    if (level || off) {
        const bool enable = !off;
        const uint8_t sent = enable ? *level : 0;
        const SetFeatureResult result = SendFeatureLevel(bus, data, slot, feature, sent, enable);
        const std::string what = std::string("SET FEATURES (") + (enable ? "enable " : "disable ") +
                                 FeatureName(feature) + ", level " + std::to_string(sent) + ")";
        outcome = SetOutcome{sent, enable, "done"};
        if (result == SetFeatureResult::NotSent) {
            outcome->Result = "not_sent";
            std::cerr << "quorvane-cli: " << what << " did not reach the drive\n";
            status = ExitFailed;
        } else if (result == SetFeatureResult::Aborted) {
            outcome->Result = "refused";
            std::cerr << "quorvane-cli: the drive refused " << what << "\n";
            status = ExitFailed;
        }
    }
    const FeatureLevels levels = GetFeatureLevels(bus, data, slot, feature);
    if (json)
        PrintJson(ctx, slot, data.Drives[slot], feature, levels, outcome);
    else
        PrintText(data.Drives[slot], slot, feature, levels);
    return status;
}

} // namespace

int RunAam(CliContext& ctx) {
    return RunFeature(ctx, Feature::AAM);
}

int RunApm(CliContext& ctx) {
    return RunFeature(ctx, Feature::APM);
}

} // namespace quorvane::cli
