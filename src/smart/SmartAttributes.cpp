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

SMARTAttribute DecodeSlot(std::span<const uint8_t> slot) {
    SMARTAttribute attribute;
    attribute.Flags = ReadU16Le(slot, 1).value_or(0);
    attribute.Value = slot[3];
    attribute.Worst = slot[4];
    for (size_t i = 0; i < attribute.RawBytes.size(); ++i)
        attribute.RawBytes[i] = slot[5 + i];
    attribute.Raw = ReadLittleEndian(slot, 5, 6).value_or(0);
    return attribute;
}

} // namespace

SMARTAttribute FindSMARTAttribute(std::span<const uint8_t> dataPage, uint8_t id, SlotWalk walk) {
    const auto offset = FindSlot(dataPage, id, walk);
    return offset ? DecodeSlot(dataPage.subspan(*offset, SmartSlotBytes)) : SMARTAttribute{};
}

uint8_t FindSMARTThreshold(std::span<const uint8_t> thresholdPage, uint8_t id, SlotWalk walk) {
    const auto offset = FindSlot(thresholdPage, id, walk);
    if (!offset)
        return 0;
    return thresholdPage[*offset + 1];
}

std::vector<PageAttribute> SMARTAttributesOnPage(std::span<const uint8_t> dataPage) {
    std::vector<PageAttribute> attributes;
    attributes.reserve(SmartSlotCount);
    std::array<bool, 256> seen{};
    for (size_t k = 0; k < SmartSlotCount && FitsIn(dataPage, SlotOffset(k), SmartSlotBytes); ++k) {
        const uint8_t id = dataPage[SlotOffset(k)];
        if (id == 0 || seen[id])
            continue;
        seen[id] = true;
        attributes.push_back({id, DecodeSlot(dataPage.subspan(SlotOffset(k), SmartSlotBytes))});
    }
    return attributes;
}

} // namespace quorvane
