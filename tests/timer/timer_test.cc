#include "timer/timer.h"

#include <gtest/gtest.h>

#include <climits>
#include <utility>
#include <vector>

#include "platform/mmsystem.h"

namespace {

std::vector<int16_t> g_calls;
int32_t g_period = 0;
void Count(int16_t index, uint32_t) { g_calls.push_back(index); }
void Rearm3(int16_t index, uint32_t) {
  g_calls.push_back(index);
  TimerSetPeriod(index, 3);
}
// Sets g_period on its first call only.
void SetPeriodOnce(int16_t index, uint32_t) {
  if (g_calls.empty()) TimerSetPeriod(index, g_period);
  g_calls.push_back(index);
}

class TimerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetClockMode(platform::ClockMode::kVirtual);
    TimerInit();
    g_calls.clear();
  }
  static void Pass(uint32_t ms) {
    platform::AdvanceVirtualTime(ms);
    TimerService();
  }
};

TEST_F(TimerTest, PeriodicMakesUpMissedPeriodsAndKeepsTheRest) {
  EXPECT_EQ(TimerAdd(Count, 66, 0, 0), 1);
  TimerService();  // first pass only takes the time
  Pass(200);
  EXPECT_EQ(g_calls.size(), 3u);
  Pass(63);
  EXPECT_EQ(g_calls.size(), 3u);  // 2 + 63 = 65 < 66
  Pass(1);
  EXPECT_EQ(g_calls.size(), 4u);
  Pass(0);  // same millisecond: nothing
  EXPECT_EQ(g_calls.size(), 4u);
}

TEST_F(TimerTest, OneShotIsCalledAgainOnceItsCallbackRearms) {
  TimerAdd(Rearm3, 10, kTimerOneShot, 0);
  TimerService();
  Pass(10);
  Pass(2);
  EXPECT_EQ(g_calls.size(), 1u);
  Pass(1);
  EXPECT_EQ(g_calls.size(), 2u);
}

TEST_F(TimerTest, SlotsRunOutAtNineteenAndSetPeriodRestartsTheCount) {
  for (int i = 1; i < kTimerSlots; ++i) EXPECT_EQ(TimerAdd(Count, 1000, 0, 0), i);
  EXPECT_EQ(TimerAdd(Count, 1000, 0, 0), 0);
  TimerRemove(5);
  TimerRemove(-1);
  TimerRemove(20);
  EXPECT_EQ(TimerAdd(Count, 10, 0, 0), 5);
  TimerService();
  Pass(8);
  TimerSetPeriod(5, 10);
  Pass(8);
  EXPECT_TRUE(g_calls.empty());  // 8 ms since the new period, not 16
  Pass(2);
  EXPECT_EQ(g_calls, std::vector<int16_t>{5});
}

TEST_F(TimerTest, AccumulatedTimeWrapsAtThirtyTwoBits) {
  // A callback's period of -INT32_MAX leaves INT32_MAX gathered: one more
  // millisecond wraps it to INT32_MIN, below the period, so no call. A period
  // of INT32_MIN is below 1: due at once, and called once.
  for (auto [period, calls] : {std::pair{-INT32_MAX, 1u}, {INT32_MIN, 2u}}) {
    TimerInit();
    g_calls.clear();
    g_period = period;
    ASSERT_EQ(TimerAdd(SetPeriodOnce, 5, 0, 0), 1);
    TimerService();
    Pass(5);
    EXPECT_EQ(g_calls.size(), 1u);
    Pass(1);
    EXPECT_EQ(g_calls.size(), calls) << period;
  }
}

}  // namespace
