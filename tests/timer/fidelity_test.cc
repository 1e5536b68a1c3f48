// The accumulated time of a timer is signed 32-bit and wraps around, whatever
// period a callback sets.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "platform/mmsystem.h"
#include "timer/timer.h"

namespace {

int32_t g_next_period = 0;
int g_calls = 0;
void SetPeriodOnce(int16_t index, uint32_t) {
  if (g_calls++ == 0) TimerSetPeriod(index, g_next_period);
}

class TimerWidthTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetClockMode(platform::ClockMode::kVirtual);
    TimerInit();
    g_calls = 0;
  }
  void Pass(uint32_t ms) {
    platform::AdvanceVirtualTime(ms);
    TimerService();
  }
};

TEST_F(TimerWidthTest, AccumulatedTimeWrapsAtThirtyTwoBits) {
  // The callback's period of -INT32_MAX leaves INT32_MAX gathered; one more
  // millisecond wraps it to INT32_MIN, below the period: no call.
  g_next_period = -INT32_MAX;
  ASSERT_EQ(TimerAdd(SetPeriodOnce, 5, 0, 0), 1);
  TimerService();
  Pass(5);
  EXPECT_EQ(g_calls, 1);
  Pass(1);
  EXPECT_EQ(g_calls, 1);
}

TEST_F(TimerWidthTest, LowestPeriodSetByACallback) {
  g_next_period = INT32_MIN;
  ASSERT_EQ(TimerAdd(SetPeriodOnce, 5, 0, 0), 1);
  TimerService();
  Pass(5);
  EXPECT_EQ(g_calls, 1);
  Pass(1);  // a period below 1 is due at once, and called once
  EXPECT_EQ(g_calls, 2);
  Pass(1);
  EXPECT_EQ(g_calls, 3);
}

}  // namespace
