#include <gtest/gtest.h>

#include <vector>

#include "platform/mmsystem.h"
#include "timer/timer.h"

namespace {

std::vector<int16_t> g_calls;
void Count(int16_t index, uint32_t) { g_calls.push_back(index); }
void Rearm3(int16_t index, uint32_t) {
  g_calls.push_back(index);
  TimerSetPeriod(index, 3);
}

class TimerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetClockMode(platform::ClockMode::kVirtual);
    TimerInit();
    g_calls.clear();
  }
};

TEST_F(TimerTest, PeriodicMakesUpMissedPeriodsAndKeepsTheRest) {
  int16_t t = TimerAdd(Count, 66, 0, 0);
  EXPECT_EQ(t, 1);
  TimerService();  // first pass only takes the time
  platform::AdvanceVirtualTime(200);
  TimerService();
  EXPECT_EQ(g_calls.size(), 3u);
  platform::AdvanceVirtualTime(63);
  TimerService();
  EXPECT_EQ(g_calls.size(), 3u);  // 2 + 63 = 65 < 66
  platform::AdvanceVirtualTime(1);
  TimerService();
  EXPECT_EQ(g_calls.size(), 4u);
  TimerService();  // same millisecond: nothing
  EXPECT_EQ(g_calls.size(), 4u);
}

TEST_F(TimerTest, OneShotIsCalledAgainOnceItsCallbackRearms) {
  TimerAdd(Rearm3, 10, kTimerOneShot, 0);
  TimerService();
  platform::AdvanceVirtualTime(10);
  TimerService();
  EXPECT_EQ(g_calls.size(), 1u);
  platform::AdvanceVirtualTime(2);
  TimerService();
  EXPECT_EQ(g_calls.size(), 1u);
  platform::AdvanceVirtualTime(1);
  TimerService();
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
  platform::AdvanceVirtualTime(8);
  TimerService();
  TimerSetPeriod(5, 10);
  platform::AdvanceVirtualTime(8);
  TimerService();
  EXPECT_TRUE(g_calls.empty());  // 8 ms since the new period, not 16
  platform::AdvanceVirtualTime(2);
  TimerService();
  EXPECT_EQ(g_calls, std::vector<int16_t>{5});
}

}  // namespace
