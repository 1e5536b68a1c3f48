#include "timer/timer.h"

#include <cassert>

#include "platform/mmsystem.h"

namespace {

struct Slot {
  TimerCallback callback = nullptr;
  int32_t period = 0;
  uint16_t flags = 0;
  uint32_t user = 0;
  int32_t accumulated = 0;
};

struct TimerState {
  Slot slots[kTimerSlots];
  int16_t scan_bound = 0;
  bool had_pass = false;   // a virtual clock may well read 0 at the first pass
  uint32_t last_pass = 0;
  uint32_t elapsed = 0;
};

TimerState g_timer;

// Accumulated time is signed 32-bit and wraps around: a one-shot timer never
// re-armed keeps gathering time for weeks, and a callback may set any period,
// so the sums must not overflow into undefined behaviour.
int32_t Wrap32(int32_t a, uint32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + b);
}

}  // namespace

int16_t TimerInit() {
  g_timer = TimerState{};
  return 0;
}

int16_t TimerAdd(TimerCallback callback, int32_t period, uint16_t flags, uint32_t user) {
  for (int16_t i = 1; i < kTimerSlots; ++i) {
    Slot& slot = g_timer.slots[i];
    if (slot.callback != nullptr) continue;
    slot = Slot{callback, period, flags, user, 0};
    g_timer.scan_bound = i;
    return i;
  }
  return 0;
}

void TimerRemove(int16_t index) {
  if (index < 0 || index >= kTimerSlots) return;
  g_timer.slots[index].callback = nullptr;
}

void TimerSetPeriod(int16_t index, int32_t period) {
  if (index < 0 || index >= kTimerSlots) return;
  g_timer.slots[index].period = period;
  g_timer.slots[index].accumulated = 0;
}

void TimerService() {
  uint32_t now = timeGetTime();
  g_timer.elapsed = g_timer.had_pass ? now - g_timer.last_pass : 0;
  g_timer.had_pass = true;
  g_timer.last_pass = now;
  if (g_timer.elapsed == 0) return;
  assert(g_timer.scan_bound >= 0 && g_timer.scan_bound < kTimerSlots);
  for (int16_t i = 1; i <= g_timer.scan_bound; ++i) {
    Slot& slot = g_timer.slots[i];
    if (slot.callback == nullptr) continue;
    slot.accumulated = Wrap32(slot.accumulated, g_timer.elapsed);
    if (slot.period > slot.accumulated) continue;
    if (slot.flags & kTimerOneShot) {
      slot.period = 0;
      slot.callback(i, slot.user);
      continue;
    }
    // Missed periods are made up within the pass. A period of 0 or less would
    // never catch up: call once and drop the time.
    if (slot.period <= 0) {
      slot.callback(i, slot.user);
      slot.accumulated = 0;
      continue;
    }
    TimerCallback callback = slot.callback;
    uint32_t user = slot.user;
    callback(i, user);
    slot.accumulated = Wrap32(slot.accumulated, 0u - static_cast<uint32_t>(slot.period));
    while (slot.callback != nullptr && slot.period > 0 && slot.period <= slot.accumulated) {
      slot.callback(i, slot.user);
      slot.accumulated = Wrap32(slot.accumulated, 0u - static_cast<uint32_t>(slot.period));
    }
  }
  g_timer.elapsed = 0;
}
