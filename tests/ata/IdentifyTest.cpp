// IDENTIFY decoding on real drives. The expected texts, flags and sector
// counts were read off `hdparm --Istdin` for the same pages; sizes are the
// sector counts / 2^21 rounded by hand.
#include <gtest/gtest.h>

#include "common/TestDrives.h"
#include "ata/Identify.h"

namespace quorvane {
namespace {

struct Expected {
    const char* Page;
    const char* Model;
    const char* Serial;
    const char* Firmware;
    char Vendor;
    bool LBA48, HPA, Security, SMART;
    int64_t Sectors;
    int64_t SizeGB;
};

const Expected RealDrives[] = {
    {"Biwintech_SSD_SX500", "Biwintech SSD SX500 512GB", "BTSA31100200936", "T200328", '\0', true,
     false, false, true, 1000215216, 477},
    {"FUJITSU_MHY2120BH--0084000D", "FUJITSU MHY2120BH", "K434T81257SL", "0084000D", 'F', true,
     true, false, true, 234441648, 112},
    {"Hitachi_HDS721010CLA632", "Hitachi HDS721010CLA632", "JP2940J82ZYLXV", "JP4OA41A", 'H', true,
     false, false, true, 1953525168, 932},
    // The model lacks the "IBM" prefix, so no vendor code; 28-bit only.
    {"IBM_IC25N020ATCS04-0", "IC25N020ATCS04-0", "CSH206D9D8M7KF", "CA2OA71A", '\0', false, true,
     false, true, 39070080, 19},
    {"INTEL_SSDSA2CW120G3--4PC10302", "INTEL SSDSA2CW120G3", "CVPR109301UZ120LGN", "4PC10302", '\0',
     true, true, true, true, 234441648, 112},
    {"MCCOE64GEMPP--2.9.09", "MCCOE64GEMPP", "SE808N0608", "2.9.09", '\0', false, true, false, true,
     117231408, 56},
    // 114.499 GB: just below the half.
    {"Maxtor_6Y120P0", "Maxtor 6Y120P0", "Y3NJWLDE", "YAR41BW0", 'A', false, true, false, true,
     240121728, 114},
    {"SAMSUNG_HD501LJ--CR100-12", "SAMSUNG HD501LJ", "S0MUJ1NQ110060", "CR100-12", 'M', true, true,
     false, true, 976773168, 466},
    {"SAMSUNG_HS122JC", "SAMSUNG HS122JC", "S18GJ16Q308351", "GQ100-01", 'M', false, true, false,
     true, 234441648, 112},
    {"ST320410A--3.39", "ST320410A", "5FB3QF34", "3.39", 'S', false, true, false, true, 39100223,
     19},
    {"ST9160821AS--3.CLH", "ST9160821AS", "5MAC2QTA", "3.CLH", 'S', true, true, false, true,
     312581808, 149},
    {"TOSHIBA_MK1651GSY--38IGT0G5T", "TOSHIBA MK1651GSY", "38IGT0G5T", "LD001D", 'T', true, true,
     false, true, 312581808, 149},
    // Above 2^31 sectors: the count must not go negative through a 32-bit value.
    {"WDC_WD20EARS-00MVWB0", "WDC WD20EARS-00MVWB0", "WD-WMAZA0075739", "50.0AB50", 'W', true, true,
     false, true, 3907029168, 1863},
};

TEST(Identify, RealDrivesDecodeAsHdparmReadsThem) {
    for (const auto& e : RealDrives) {
        SCOPED_TRACE(e.Page);
        const auto page = test::PageOf(e.Page, "identify");
        ASSERT_EQ(page.size(), 512u);
        const IdentifyInfo id = DecodeIdentify(page);
        EXPECT_EQ(id.ModelNumber, e.Model);
        EXPECT_EQ(id.SerialNumber, e.Serial);
        EXPECT_EQ(id.FirmwareRevision, e.Firmware);
        EXPECT_EQ(id.Vendor, e.Vendor);
        EXPECT_EQ(id.LBA48, e.LBA48);
        EXPECT_EQ(id.HPA, e.HPA);
        EXPECT_EQ(id.Security, e.Security);
        EXPECT_EQ(id.SMARTEnabled, e.SMART);
        EXPECT_EQ(id.Sectors, e.Sectors);
        EXPECT_EQ(id.SizeGB, e.SizeGB);
        // The list shows the 40 characters untrimmed.
        EXPECT_EQ(id.ModelText.size(), 40u);
        EXPECT_EQ(id.ModelText.rfind(e.Model, 0), 0u);
    }
}

// Builds IDENTIFY data with an ATA string at words first.. and chosen words.
std::vector<uint8_t> IdentifyWith(const std::string& model,
                                  std::initializer_list<std::pair<int, uint16_t>> words = {}) {
    std::vector<uint8_t> data(512, 0);
    std::string padded = model;
    padded.resize(40, ' ');
    for (int i = 0; i < 20; ++i) {
        data[static_cast<size_t>(2 * (27 + i))] = static_cast<uint8_t>(padded[2 * i + 1]);
        data[static_cast<size_t>(2 * (27 + i) + 1)] = static_cast<uint8_t>(padded[2 * i]);
    }
    for (auto [word, value] : words) {
        data[static_cast<size_t>(2 * word)] = static_cast<uint8_t>(value);
        data[static_cast<size_t>(2 * word + 1)] = static_cast<uint8_t>(value >> 8);
    }
    return data;
}

TEST(Identify, VendorPrefixes) {
    EXPECT_EQ(VendorFromModel("ST3500418AS"), 'S');
    EXPECT_EQ(VendorFromModel("WDC WD5000AAKS"), 'W');
    EXPECT_EQ(VendorFromModel("Hitachi HDT721010SLA360"), 'H'); // compared upper-cased
    EXPECT_EQ(VendorFromModel("SAMSUNG HD103UJ"), 'M');         // not 'S'
    EXPECT_EQ(VendorFromModel("Maxtor 6L250S0"), 'A');
    EXPECT_EQ(VendorFromModel("FUJITSU MHV2080AH"), 'F');
    EXPECT_EQ(VendorFromModel("IBM-DTLA-307030"), 'I');
    EXPECT_EQ(VendorFromModel("TOSHIBA MK2552GSX"), 'T');
    EXPECT_EQ(VendorFromModel("QUANTUM FIREBALLlct20"), 'Q');
    EXPECT_EQ(VendorFromModel("S"), '\0');      // shorter than every prefix
    EXPECT_EQ(VendorFromModel("SAMSUN"), '\0'); // shorter than SAMSUNG, and not ST
    EXPECT_EQ(VendorFromModel("INTEL SSD"), '\0');
    EXPECT_EQ(VendorFromModel("st"), 'S');
    EXPECT_EQ(VendorLogoIndex('M'), 2);
    EXPECT_EQ(VendorLogoIndex('Q'), 8);
    EXPECT_FALSE(VendorLogoIndex('\0').has_value());
    EXPECT_FALSE(VendorLogoIndex('X').has_value());
}

TEST(Identify, TrimmingRemovesBlanksAndControlCharactersAtBothEndsOnly) {
    const std::string padded = std::string(1, '\0') + "\t  ST 3\x01"
                                                      "5  \x1f";
    EXPECT_EQ(TrimAtaString(padded), "ST 3\x01"
                                     "5");
    EXPECT_EQ(TrimAtaString(std::string(8, '\0')), "");
    // Leading blanks go before the vendor test.
    const auto id = DecodeIdentify(IdentifyWith("   WDC WD800JB"));
    EXPECT_EQ(id.ModelNumber, "WDC WD800JB");
    EXPECT_EQ(id.Vendor, 'W');
    EXPECT_EQ(id.ModelText, "   WDC WD800JB                          ");
}

TEST(Identify, SectorCountsAndHalvesToEven) {
    // LBA48 with words 102-103 in use: more than 2^32 sectors.
    const auto big = DecodeIdentify(IdentifyWith(
        "ST8000", {{86, 1u << 10}, {100, 0x0000}, {101, 0x0000}, {102, 0x0003}, {103, 0}}));
    EXPECT_EQ(big.Sectors, int64_t{3} << 32);
    EXPECT_EQ(big.SizeGB, 6144);
    // Without LBA48 the 28-bit count in words 60-61 counts, whatever 100-103 say.
    const auto small = DecodeIdentify(IdentifyWith("ST", {{60, 0x0000}, {61, 0x0030}, {100, 9}}));
    EXPECT_EQ(small.Sectors, 3145728);
    EXPECT_EQ(small.SizeGB, 2);               // 1.5 -> 2
    EXPECT_EQ(SizeGBFromSectors(5242880), 2); // 2.5 -> 2
    EXPECT_EQ(SizeGBFromSectors(7340032), 4); // 3.5 -> 4
    EXPECT_EQ(SizeGBFromSectors(0), 0);
    EXPECT_EQ(RoundHalfEvenDiv(-3, 2), -2); // -1.5 -> -2
    EXPECT_EQ(RoundHalfEvenDiv(-1, 2), 0);  // -0.5 -> 0
    EXPECT_EQ(RoundHalfEvenDiv(-3073, 2048), -2);
}

TEST(Identify, CountsBeyond32BitsOfGigabytesKeepTheSizeConsistent) {
    // A hostile page whose words 100-103 claim close to 2^63 sectors.
    const auto huge = DecodeIdentify(IdentifyWith(
        "ST", {{86, 1u << 10}, {100, 0x000F}, {101, 0x0700}, {102, 0x0300}, {103, 0x7800}}));
    EXPECT_EQ(huge.Sectors, 8646914583203676175);
    EXPECT_EQ(huge.SizeGB, 4123170177080); // 8646914583203676175 / 2^21, rounded
    // The top bit never makes the count or the size negative.
    const auto top = DecodeIdentify(IdentifyWith(
        "ST", {{86, 1u << 10}, {100, 0xFFFF}, {101, 0xFFFF}, {102, 0xFFFF}, {103, 0xFFFF}}));
    EXPECT_EQ(top.Sectors, INT64_MAX);
    EXPECT_EQ(top.SizeGB, int64_t{1} << 42);
    // A real 1 TB page with word 103 = 0x0010: 2^52 more sectors, 2^31 more
    // GB, which a 32-bit size wrapped to -2147482716.
    auto page = test::PageOf("Hitachi_HDS721010CLA632", "identify");
    page[206] = 0x10;
    const auto id = DecodeIdentify(page);
    EXPECT_EQ(id.Sectors, 1953525168 + (int64_t{1} << 52));
    EXPECT_EQ(id.SizeGB, 932 + (int64_t{1} << 31));
}

TEST(Identify, ShortDataReadsAsZeroWords) {
    const std::vector<uint8_t> tiny(100, 0xFF);
    EXPECT_EQ(IdentifyWord(tiny, 49), 0xFFFF);
    EXPECT_EQ(IdentifyWord(tiny, 50), 0);
    const auto id = DecodeIdentify(tiny);
    EXPECT_FALSE(id.LBA48);
    EXPECT_EQ(id.Sectors, 0);
}

} // namespace
} // namespace quorvane
