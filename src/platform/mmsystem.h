// The multimedia clock and periodic timers.
//
// Two clocks stand behind these calls (platform::SetClockMode):
//  - real: a steady clock; timer callbacks run on one timer thread;
//  - virtual: time moves only through platform::AdvanceVirtualTime (the
//    message pump advances it when its queue is empty) and due callbacks
//    run on the thread that advances it, so a whole run is deterministic.
#pragma once

#include "platform/wintypes.h"

constexpr UINT TIME_ONESHOT = 0x0000;
constexpr UINT TIME_PERIODIC = 0x0001;
constexpr MMRESULT TIMERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;

using LPTIMECALLBACK = void (*)(UINT timer_id, UINT msg, uintptr_t user,
                                uintptr_t dw1, uintptr_t dw2);

// Milliseconds since the clock started (wraps at 2^32 like the original).
DWORD timeGetTime();

// Starts a timer that calls back after `delay` ms, and every `delay` ms with
// TIME_PERIODIC. Returns its identifier, 0 on failure (delay 0, no callback).
UINT timeSetEvent(UINT delay, UINT resolution, LPTIMECALLBACK callback,
                  uintptr_t user, UINT flags);

// Stops a timer. Returns only after a callback of it that is running on
// another thread has finished (a callback may kill its own timer).
MMRESULT timeKillEvent(UINT timer_id);

namespace platform {

enum class ClockMode { kReal, kVirtual };

// Chooses the clock. Resets time to 0 and drops every timer; call it before
// anything starts timers (at program start or at the top of a test).
void SetClockMode(ClockMode mode);
ClockMode GetClockMode();

// Virtual clock only: moves time forward by `ms`, one millisecond at a time,
// running every callback that falls due on the calling thread.
void AdvanceVirtualTime(uint32_t ms);

// A periodic timer that calls back `calls` times every `per_ms` milliseconds
// (at most once a millisecond) at the exact rate: call k falls due
// k x per_ms / calls ms after the start, so its whole-millisecond delays
// alternate (66 and 67 for 15 a second) instead of running fast by the
// fraction a plain period drops. Stopped by timeKillEvent; 0 on failure.
UINT StartRateTimer(UINT calls, UINT per_ms, LPTIMECALLBACK callback, uintptr_t user);

// Milliseconds until the next timer falls due (virtual clock), or -1.
int64_t NextTimerDueIn();

}  // namespace platform
