#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/messages.h"
#include "platform/mmsystem.h"
#include "platform/testing.h"

namespace {

std::vector<std::pair<UINT, DWORD>> g_calls;
void Record(UINT id, UINT, uintptr_t, uintptr_t, uintptr_t) { g_calls.push_back({id, timeGetTime()}); }

TEST(VirtualClock, TimeMovesOnlyWhenAdvancedAndRunsDueTimers) {
  platform::SetClockMode(platform::ClockMode::kVirtual);
  g_calls.clear();
  EXPECT_EQ(timeGetTime(), 0u);
  UINT periodic = timeSetEvent(40, 40, Record, 0, TIME_PERIODIC);
  UINT once = timeSetEvent(25, 25, Record, 0, TIME_ONESHOT);
  ASSERT_NE(periodic, 0u);
  EXPECT_EQ(platform::NextTimerDueIn(), 25);
  platform::AdvanceVirtualTime(100);
  EXPECT_EQ(timeGetTime(), 100u);
  ASSERT_EQ(g_calls.size(), 3u);
  EXPECT_EQ(g_calls[0], std::make_pair(once, DWORD{25}));
  EXPECT_EQ(g_calls[1], std::make_pair(periodic, DWORD{40}));
  EXPECT_EQ(g_calls[2], std::make_pair(periodic, DWORD{80}));
  EXPECT_EQ(timeKillEvent(periodic), TIMERR_NOERROR);
  EXPECT_NE(timeKillEvent(periodic), TIMERR_NOERROR);
  platform::AdvanceVirtualTime(100);
  EXPECT_EQ(g_calls.size(), 3u);
  EXPECT_EQ(timeSetEvent(0, 0, Record, 0, TIME_PERIODIC), 0u);
  // A timer of 15 a second keeps the exact rate: 66 or 67 ms apart, 150
  // calls in 10 seconds (a 66 ms period would make 151 and run ahead).
  g_calls.clear();
  UINT rate = platform::StartRateTimer(15, 1000, Record, 0);
  platform::AdvanceVirtualTime(10000);
  timeKillEvent(rate);
  ASSERT_EQ(g_calls.size(), 150u);
  EXPECT_EQ(g_calls[0].second, 266u);
  EXPECT_EQ(g_calls[1].second, 333u);
  EXPECT_EQ(g_calls.back().second, 10200u);
  // A quarter of that rate (the viewer's slowest speed): 15 calls in 4 s.
  g_calls.clear();
  rate = platform::StartRateTimer(15, 4000, Record, 0);
  platform::AdvanceVirtualTime(8000);
  timeKillEvent(rate);
  ASSERT_EQ(g_calls.size(), 30u);
  EXPECT_EQ(g_calls[1].second - g_calls[0].second, 267u);
  EXPECT_EQ(platform::StartRateTimer(0, 1000, Record, 0), 0u);
}

TEST(VirtualClock, EmptyQueueAdvancesOneMillisecondPerPeek) {
  platform::SetClockMode(platform::ClockMode::kVirtual);
  platform::ResetWindows();
  MSG msg;
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(timeGetTime(), 5u);
}

std::atomic<int> g_in_callback{0};
std::atomic<int> g_finished{0};
void Slow(UINT, UINT, uintptr_t, uintptr_t, uintptr_t) {
  g_in_callback = 1;
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  g_finished.fetch_add(1);
}

TEST(RealClock, KillWaitsForARunningCallback) {
  platform::SetClockMode(platform::ClockMode::kReal);
  g_in_callback = 0;
  g_finished = 0;
  UINT id = timeSetEvent(1, 1, Slow, 0, TIME_PERIODIC);
  while (!g_in_callback) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  timeKillEvent(id);
  int done = g_finished.load();
  EXPECT_GE(done, 1);  // the callback in progress finished before the kill returned
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(g_finished.load(), done);  // and none ran after it
  platform::SetClockMode(platform::ClockMode::kVirtual);
}

std::atomic<int> g_fired{0};
void Fire(UINT, UINT, uintptr_t, uintptr_t, uintptr_t) { g_fired.fetch_add(1); }

// Without an event source the real clock's idle passes wait: until a timer
// is due (a one-shot 60 ms away takes tens of passes, not a spinning
// million), and a message posted from another thread is taken at once.
TEST(RealClock, IdlePassesWaitForTimersAndPostedMessages) {
  platform::SetClockMode(platform::ClockMode::kReal);
  platform::ResetWindows();
  g_fired = 0;
  timeSetEvent(60, 1, Fire, 0, TIME_ONESHOT);
  MSG msg;
  long passes = 0;
  while (!g_fired.load()) {
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    ++passes;
  }
  EXPECT_LT(passes, 1000);
  std::thread poster([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    PostMessageA(nullptr, WM_COMMAND, 7, 0);
  });
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), 1);
  EXPECT_EQ(msg.message, WM_COMMAND);
  EXPECT_EQ(msg.wParam, 7u);
  poster.join();
  platform::SetClockMode(platform::ClockMode::kVirtual);
}

}  // namespace
