// The MBR reading, the boot-sector probe and the NTFS $Volume walk on a
// disk whose sectors are the input, and the MBR window's texts and bars;
// with a protective entry (EEh) the GPT headers, entry array and volume
// probes too.
//
// Input: one flags byte (bit 0: the drive has 48-bit addressing), the
// drive's sector count (6 bytes), then sectors as 4-byte little-endian LBA
// + 512 bytes each. A sector the input does not hold is aborted.
#include <string>

#include "FuzzSupport.h"
#include "mbr/BootSector.h"
#include "mbr/MbrReading.h"
#include "mbr/MbrWindow.h"

using namespace quorvane;

namespace {

bool IsUtf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const size_t n = c < 0x80         ? 1
                         : (c >> 5) == 6  ? 2
                         : (c >> 4) == 14 ? 3
                         : (c >> 3) == 30 ? 4
                                          : 0;
        if (n == 0 || i + n > text.size())
            return false;
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        i += n;
    }
    return true;
}

bool IsHex(const std::string& text) {
    return std::ranges::all_of(
        text, [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
}

void CheckPartition(const TPartition& p) {
    FUZZ_CHECK(!p.FS.empty());
    FUZZ_CHECK(IsUtf8(p.VolumeLabel));
    FUZZ_CHECK(IsHex(p.Serial));
    FUZZ_CHECK(p.FSVersion.size() <= 8);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InputReader in(data, size);
    const uint8_t flags = in.Byte();
    const auto sectors = static_cast<int64_t>(in.Bytes48());
    // Drive 0 exists and every command goes through.
    const uint8_t header[12] = {0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x50, 0x04};
    fuzz::InputBus bus(header, sizeof header);
    while (in.Remaining() > 4 && bus.Sectors.size() < 64) {
        const uint32_t lba = in.Word() | (uint32_t{in.Word()} << 16);
        std::array<uint8_t, 512> sector{};
        std::ranges::copy(in.Block(512), sector.begin());
        bus.Sectors.emplace_back(lba, sector);
    }

    // Each sector as a boot sector and as a $Volume record of every slot type.
    for (const auto& [lba, sector] : bus.Sectors) {
        for (const char* fs : {"IFS", "FAT16", "FAT32", "NTFS", "Linux"}) {
            TPartition p;
            p.FS = fs;
            p.Start = lba;
            ApplyBootSector(p, sector);
            CheckPartition(p);
            ApplyNtfsVolumeRecord(p, sector);
            CheckPartition(p);
            (void)NtfsVolumeSector(p);
        }
        FUZZ_CHECK(IsUtf8(AnsiToUtf8(sector)));
        FUZZ_CHECK(IsUtf8(Utf16LeToUtf8(sector, sector[0])));
        FUZZ_CHECK(IsUtf8(Utf16LeToUtf8(sector, 256)));
        const PartitionTable decoded = DecodePartitionTable(sector);
        FUZZ_CHECK(decoded.VolumeID.size() == 8 && IsHex(decoded.VolumeID));
        FUZZ_CHECK(decoded.Signature.size() == 5 && decoded.Signature.back() == 'h');
    }

    ProgramData program;
    program.DriveCount = 1;
    program.Drives[1].DriveNumber = 0;
    program.Drives[1].LBA48 = (flags & 1) != 0;
    program.Drives[1].Sectors = sectors;
    const NoVolumeNames names;
    const auto table = ReadMbr(bus, program, 1, names);
    FUZZ_CHECK(bus.OpenHandles() == 0);
    const bool haveSector0 =
        std::ranges::any_of(bus.Sectors, [](const auto& s) { return s.first == 0; });
    FUZZ_CHECK(table.has_value() == haveSector0);
    if (!table)
        return 0;
    for (const TPartition& p : table->Partitions)
        CheckPartition(p);

    const MbrWindowState state = MbrWindowFor(*table, sectors);
    FUZZ_CHECK(state.Bars.has_value() == (sectors > 0));
    for (int group = 1; group <= PartitionSlots; ++group) {
        const PartitionGroup& g = state.Groups[static_cast<size_t>(group - 1)];
        if (table->Partitions[static_cast<size_t>(group - 1)].FS == EmptyPartitionName)
            FUZZ_CHECK(!g.DirtyLEnabled);
        for (const auto& [name, text] : GroupLabelTexts(group, g)) {
            FUZZ_CHECK(name.rfind("Part" + std::to_string(group), 0) == 0);
            FUZZ_CHECK(IsUtf8(text));
        }
    }
    if (table->Gpt) {
        const GptDisk& gpt = *table->Gpt;
        FUZZ_CHECK(gpt.Partitions.size() <= GptMaxEntries);
        FUZZ_CHECK(gpt.Used() || gpt.Partitions.empty());
        for (const GptPartition& p : gpt.Partitions) {
            FUZZ_CHECK(p.Number >= 1 && p.Number <= GptMaxEntries);
            FUZZ_CHECK(IsUtf8(p.Name) && IsUtf8(p.VolumeLabel));
            FUZZ_CHECK(IsHex(p.Serial) && p.Uuid.size() <= 36);
        }
        FUZZ_CHECK(state.Gpt.has_value());
        FUZZ_CHECK(state.Gpt->Rows.size() == (gpt.Used() ? gpt.Partitions.size() : 0));
        if (state.Gpt->Bars)
            FUZZ_CHECK(state.Gpt->Bars->size() == gpt.Partitions.size());
        for (const auto& row : state.Gpt->Rows)
            for (const auto& cell : row)
                FUZZ_CHECK(IsUtf8(cell));
    }
    const MbrBitmap gptImage = DrawPartImage(state);
    FUZZ_CHECK(gptImage.At(0, 0) == MbrBlack && gptImage.At(PartImageWidth - 1, 0) == MbrWhite);
    const MbrBitmap image = DrawPartImage(state.Bars);
    FUZZ_CHECK(image.Width == PartImageWidth && image.Height == PartImageHeight);
    FUZZ_CHECK(image.Pixels.size() == size_t{PartImageWidth} * PartImageHeight);
    // The frame is never painted over.
    FUZZ_CHECK(image.At(0, 0) == MbrBlack && image.At(PartImageWidth - 1, 0) == MbrWhite);
    return 0;
}
