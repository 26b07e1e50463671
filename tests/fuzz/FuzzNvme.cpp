// What a drive hands over as logs: an NVMe controller's health log, Identify
// pages, error and self-test logs, an ATA drive's self-test and error logs,
// decoded and shown; and the helper's check of an NVMe request from the
// system bus.
#include "FuzzSupport.h"
#include "ata/HelperProtocol.h"
#include "nvme/NvmeHealth.h"
#include "nvme/NvmeIdentify.h"
#include "smart/NvmeHealthGrid.h"
#include "smart/SelfTestLog.h"

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InputReader in(data, size);
    const uint8_t pick = in.Byte();
    const std::vector<uint8_t> bytes = in.Rest();

    const auto id = DecodeNvmeController(bytes);
    if (id) {
        FUZZ_CHECK(NvmeErrorLogEntries(*id) >= 1 && NvmeErrorLogEntries(*id) <= 64);
        NvmeVersionText(id->Version);
        NvmeSizeGB(id->TotalCapacity);
    }
    if (const auto ns = DecodeNvmeNamespace(bytes); ns && ns->SizeBytes())
        FUZZ_CHECK(ns->LbaSize >= 512);
    if (const auto log = DecodeNvmeHealth(bytes)) {
        const SmartGridModel grid =
            NvmeHealthGrid(*log, id ? &*id : nullptr, RawValueFormatOf(pick & 1));
        FUZZ_CHECK(grid.RowCount() >= 2);
        for (const auto& row : grid.Rows)
            FUZZ_CHECK(IsNvmeGridRow(row));
        NvmeHealthConcerns(*log);
        NvmeTemperatureCaptions(*log);
    }
    if (const auto log = DecodeNvmeSelfTestLog(bytes))
        FUZZ_CHECK(log->Results.size() <= 20);
    // The ATA self-test and error logs come in the same sectors.
    for (const bool ext : {false, true}) {
        if (const auto entries = DecodeSelfTestLog(bytes, ext)) {
            FUZZ_CHECK(entries->size() <= 21);
            for (const SelfTestEntry& e : *entries)
                EntryStatusText(e);
        }
        if (const auto log = DecodeErrorLog(bytes, ext))
            FUZZ_CHECK(log->Entries.size() <= 5);
    }
    for (const NvmeErrorEntry& entry : DecodeNvmeErrorLog(bytes)) {
        FUZZ_CHECK(entry.ErrorCount != 0);
        NvmeErrorEntryText(entry);
    }

    // The helper: only rows of the table, with the row's own length.
    const auto request = CheckHelperNvmeRequest(pick % 20, bytes);
    if (request) {
        FUZZ_CHECK(pick % 20 <= MaxNvmeController);
        FUZZ_CHECK(NvmeCommandIsCarriable(request->Command));
        FUZZ_CHECK(request->Command.DataLength <= NvmeMaxDataLength);
        const HelperNvmeCommand encoded = EncodeHelperNvmeCommand(request->Command);
        FUZZ_CHECK(std::equal(encoded.begin(), encoded.end(), bytes.begin(), bytes.end()));
    }
    return 0;
}
