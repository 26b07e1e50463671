// When a failure's warning mail is due.
#include <gtest/gtest.h>

#include "monitor/WarningRepeat.h"

namespace quorvane {
namespace {

using std::chrono::milliseconds;
using std::chrono::minutes;

constexpr std::uint8_t Slot1 = 0x01;
constexpr std::uint8_t Slot2 = 0x02;
const milliseconds Cycle = std::chrono::seconds(15);

TEST(WarningRepeat, LastingFailureIsRepeatedOncePerRepeatTime) {
    WarningRepeat rule;
    milliseconds now{1000};
    EXPECT_TRUE(rule.Due(Slot1, now, 60)); // the first cycle's failure is new
    int sent = 0;
    // One hour of cycles less one: nothing more.
    for (now += Cycle; now < milliseconds{1000} + minutes(60); now += Cycle)
        sent += rule.Due(Slot1, now, 60);
    EXPECT_EQ(sent, 0);
    EXPECT_TRUE(rule.Due(Slot1, milliseconds{1000} + minutes(60), 60));
    EXPECT_FALSE(rule.Due(Slot1, milliseconds{1000} + minutes(60) + Cycle, 60));
}

TEST(WarningRepeat, NewFailureIsSentAtOnce) {
    WarningRepeat rule;
    EXPECT_FALSE(rule.Due(0, milliseconds{0}, 60));
    EXPECT_TRUE(rule.Due(Slot1, Cycle, 60));
    EXPECT_FALSE(rule.Due(Slot1, 2 * Cycle, 60));
    // A second drive fails while the first still does.
    EXPECT_TRUE(rule.Due(Slot1 | Slot2, 3 * Cycle, 60));
    EXPECT_FALSE(rule.Due(Slot1 | Slot2, 4 * Cycle, 60));
    // Drive 1 recovers, then fails again: new again.
    EXPECT_FALSE(rule.Due(Slot2, 5 * Cycle, 60));
    EXPECT_TRUE(rule.Due(Slot1 | Slot2, 6 * Cycle, 60));
    // All good, then the same drive again.
    EXPECT_FALSE(rule.Due(0, 7 * Cycle, 60));
    EXPECT_TRUE(rule.Due(Slot2, 8 * Cycle, 60));
}

TEST(WarningRepeat, RepeatZeroSendsEveryFailingCycle) {
    WarningRepeat rule;
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(rule.Due(Slot2, i * Cycle, 0)) << i;
    EXPECT_FALSE(rule.Due(0, 5 * Cycle, 0));
}

} // namespace
} // namespace quorvane
