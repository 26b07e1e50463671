#include "smart/SmartAttributes.h"

#include <algorithm>
#include <optional>

#include "platform/LittleEndian.h"

namespace quorvane {
namespace {

size_t SlotOffset(size_t k) {
    return SmartFirstSlotOffset + SmartSlotBytes * k;
}

// The offset of the first slot holding id, by the page walk: slot 0 is
// examined whatever it holds, the walk goes on only into later slots that
// exist and are not empty.
std::optional<size_t> FindSlot(std::span<const uint8_t> page, uint8_t id, SlotWalk walk) {
    for (size_t k = 0; k < SmartSlotCount; ++k) {
        const size_t offset = SlotOffset(k);
        if (!FitsIn(page, offset, SmartSlotBytes))
            return std::nullopt;
        const uint8_t slotId = page[offset];
        if (k > 0 && slotId == 0 && walk == SlotWalk::StopAtEmpty)
            return std::nullopt;
        if (slotId == id)
            return offset;
    }
    return std::nullopt;
}

} // namespace

SMARTAttribute FindSMARTAttribute(std::span<const uint8_t> dataPage, uint8_t id, SlotWalk walk) {
    SMARTAttribute attribute;
    const auto offset = FindSlot(dataPage, id, walk);
    if (!offset)
        return attribute;
    const auto slot = dataPage.subspan(*offset, SmartSlotBytes);
    attribute.Flags = ReadU16Le(slot, 1).value_or(0);
    attribute.Value = slot[3];
    attribute.Worst = slot[4];
    for (size_t i = 0; i < attribute.RawBytes.size(); ++i)
        attribute.RawBytes[i] = slot[5 + i];
    attribute.Raw = ReadLittleEndian(slot, 5, 6).value_or(0);
    return attribute;
}

uint8_t FindSMARTThreshold(std::span<const uint8_t> thresholdPage, uint8_t id, SlotWalk walk) {
    const auto offset = FindSlot(thresholdPage, id, walk);
    if (!offset)
        return 0;
    return thresholdPage[*offset + 1];
}

std::vector<uint8_t> SMARTAttributeIds(std::span<const uint8_t> dataPage) {
    std::vector<uint8_t> ids;
    for (size_t k = 0; k < SmartSlotCount && FitsIn(dataPage, SlotOffset(k), SmartSlotBytes); ++k) {
        const uint8_t id = dataPage[SlotOffset(k)];
        if (id != 0 && std::find(ids.begin(), ids.end(), id) == ids.end())
            ids.push_back(id);
    }
    return ids;
}

} // namespace quorvane
