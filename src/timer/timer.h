// Polled software timers on the millisecond clock. The playback loop calls
// TimerService on every pass; callbacks run on that thread.
#pragma once

#include <cstdint>

using TimerCallback = void (*)(int16_t index, uint32_t user);

constexpr int kTimerSlots = 20;         // index 0 is never handed out
// Slot flags. Only the one-shot bit acts (re-armed by its callback; without
// it a timer is periodic); the other two bits callers pass have no effect.
constexpr uint16_t kTimerInertBit0 = 0x0001;
constexpr uint16_t kTimerOneShot = 0x0002;
constexpr uint16_t kTimerInertBit2 = 0x0004;

int16_t TimerInit();
// Index of the first free slot from 1 up, or 0 when slots 1 to 19 are taken.
int16_t TimerAdd(TimerCallback callback, int32_t period, uint16_t flags, uint32_t user);
void TimerRemove(int16_t index);
void TimerSetPeriod(int16_t index, int32_t period);
void TimerService();
