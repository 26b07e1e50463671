// The mountinfo reader: the mount points of a partition in a mount table
// that is the input.
#include <string>

#include "FuzzSupport.h"
#include "mbr/VolumeNames.h"

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto points = MountPointsOf(text, "/dev/sda1", std::pair<unsigned, unsigned>{8, 1});
    const auto byName = MountPointsOf(text, "/dev/sda1", std::nullopt);
    // Matching by number as well finds at least what matching by name finds.
    FUZZ_CHECK(points.size() >= byName.size());
    size_t lines = 1;
    for (char c : text)
        lines += c == '\n';
    FUZZ_CHECK(points.size() <= lines);
    for (const auto& point : points) {
        FUZZ_CHECK(!point.empty());
    }
    return 0;
}
