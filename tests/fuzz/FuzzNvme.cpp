// What an NVMe controller hands over: the health log, the Identify pages and
// the error log, decoded and shown; and the helper's check of an NVMe
// request from the system bus.
#include "FuzzSupport.h"
#include "ata/HelperProtocol.h"
#include "nvme/NvmeHealth.h"
#include "nvme/NvmeIdentify.h"
#include "smart/NvmeHealthGrid.h"

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
