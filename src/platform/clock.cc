// The multimedia clock and its periodic timers, real or virtual.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/faults.h"
#include "platform/mmsystem.h"

namespace {

struct Timer {
  UINT delay = 0;
  bool periodic = false;
  LPTIMECALLBACK callback = nullptr;
  uintptr_t user = 0;
  uint64_t due = 0;  // clock time of the next call
  // A timer of a rate: call `calls` falls due at origin + calls x rate_ms /
  // rate (rate calls every rate_ms milliseconds).
  uint32_t rate = 0;
  uint32_t rate_ms = 1000;
  uint64_t origin = 0;
  uint64_t calls = 0;
};

class Clock {
 public:
  ~Clock() { StopThread(); }

  void SetMode(platform::ClockMode mode) {
    StopThread();
    std::lock_guard<std::mutex> lock(mutex_);
    mode_ = mode;
    timers_.clear();
    virtual_now_ = 0;
    real_start_ = std::chrono::steady_clock::now();
  }

  platform::ClockMode Mode() const { return mode_; }

  uint64_t Now() const {
    if (mode_ == platform::ClockMode::kVirtual) return virtual_now_.load();
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - real_start_)
                                     .count());
  }

  UINT Add(UINT delay, LPTIMECALLBACK callback, uintptr_t user, bool periodic,
           uint32_t rate = 0, uint32_t rate_ms = 1000) {
    if (delay == 0 || callback == nullptr) return 0;
    std::unique_lock<std::mutex> lock(mutex_);
    if (mode_ == platform::ClockMode::kReal && !thread_.joinable()) {
      // A timer thread that cannot be started is a timer that cannot be had.
      if (platform::AllocationRefused()) return 0;
      quit_ = false;
      try {
        thread_ = std::thread([this] { ThreadMain(); });
      } catch (const std::system_error&) {
        return 0;
      }
    }
    UINT id = next_id_++;
    if (next_id_ == 0) next_id_ = 1;
    const uint64_t now = Now();
    timers_[id] = Timer{delay, periodic, callback, user, now + delay, rate, rate_ms, now, 1};
    if (mode_ == platform::ClockMode::kReal) changed_.notify_all();
    return id;
  }

  MMRESULT Kill(UINT id) {
    std::unique_lock<std::mutex> lock(mutex_);
    bool found = timers_.erase(id) > 0;
    // A callback of this timer still running elsewhere must finish first.
    idle_.wait(lock, [&] {
      return running_id_ != id || running_thread_ == std::this_thread::get_id();
    });
    changed_.notify_all();
    return found ? TIMERR_NOERROR : MMSYSERR_INVALPARAM;
  }

  void Advance(uint32_t ms) {
    for (uint32_t step = 0; step < ms; ++step) {
      virtual_now_.fetch_add(1);
      RunDue(virtual_now_.load());
    }
  }

  int64_t NextDueIn() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (timers_.empty()) return -1;
    uint64_t now = Now();
    uint64_t best = UINT64_MAX;
    for (auto& [id, t] : timers_) best = std::min(best, t.due);
    return best <= now ? 0 : static_cast<int64_t>(best - now);
  }

 private:
  // Runs every timer due at `now`, earliest first, one call each.
  void RunDue(uint64_t now) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      auto next = timers_.end();
      for (auto it = timers_.begin(); it != timers_.end(); ++it) {
        if (it->second.due <= now && (next == timers_.end() || it->second.due < next->second.due))
          next = it;
      }
      if (next == timers_.end()) return;
      CallLocked(lock, next, now);
    }
  }

  // Calls one due timer with the lock released, then reschedules it.
  void CallLocked(std::unique_lock<std::mutex>& lock, std::map<UINT, Timer>::iterator it,
                  uint64_t now) {
    UINT id = it->first;
    Timer timer = it->second;
    if (timer.periodic) {
      Timer& t = it->second;
      if (t.rate != 0) {
        ++t.calls;
        t.due = t.origin + t.calls * t.rate_ms / t.rate;
      } else {
        t.due += timer.delay;
      }
      // A real clock far behind (a stopped process) does not burst to catch up.
      if (t.due + 10ull * timer.delay < now) {
        t.due = now + timer.delay;
        t.origin = now;
        t.calls = 1;
      }
    } else {
      timers_.erase(it);
    }
    running_id_ = id;
    running_thread_ = std::this_thread::get_id();
    lock.unlock();
    timer.callback(id, 0, timer.user, 0, 0);
    lock.lock();
    running_id_ = 0;
    running_thread_ = std::thread::id();
    idle_.notify_all();
  }

  void ThreadMain() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!quit_) {
      uint64_t now = Now();
      auto next = timers_.end();
      for (auto it = timers_.begin(); it != timers_.end(); ++it) {
        if (next == timers_.end() || it->second.due < next->second.due) next = it;
      }
      if (next == timers_.end()) {
        changed_.wait(lock);
        continue;
      }
      if (next->second.due > now) {
        changed_.wait_for(lock, std::chrono::milliseconds(next->second.due - now));
        continue;
      }
      CallLocked(lock, next, now);
    }
  }

  void StopThread() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      quit_ = true;
      changed_.notify_all();
    }
    if (thread_.joinable()) thread_.join();
  }

  std::mutex mutex_;
  std::condition_variable changed_;  // the timer set changed or quit
  std::condition_variable idle_;     // a callback finished
  std::map<UINT, Timer> timers_;
  UINT next_id_ = 1;
  UINT running_id_ = 0;
  std::thread::id running_thread_;
  std::thread thread_;
  bool quit_ = false;
  platform::ClockMode mode_ = platform::ClockMode::kReal;
  std::atomic<uint64_t> virtual_now_{0};
  std::chrono::steady_clock::time_point real_start_ = std::chrono::steady_clock::now();
};

Clock& TheClock() {
  static Clock clock;
  return clock;
}

}  // namespace

DWORD timeGetTime() { return static_cast<DWORD>(TheClock().Now()); }

UINT timeSetEvent(UINT delay, UINT /*resolution*/, LPTIMECALLBACK callback, uintptr_t user,
                  UINT flags) {
  return TheClock().Add(delay, callback, user, (flags & TIME_PERIODIC) != 0);
}

MMRESULT timeKillEvent(UINT timer_id) { return TheClock().Kill(timer_id); }

namespace platform {

UINT StartRateTimer(UINT calls, UINT per_ms, LPTIMECALLBACK callback, uintptr_t user) {
  if (calls == 0 || per_ms == 0) return 0;
  calls = std::min<UINT>(calls, per_ms);  // at most one call a millisecond
  return TheClock().Add(per_ms / calls, callback, user, true, calls, per_ms);
}

void SetClockMode(ClockMode mode) { TheClock().SetMode(mode); }
ClockMode GetClockMode() { return TheClock().Mode(); }
void AdvanceVirtualTime(uint32_t ms) {
  if (TheClock().Mode() == ClockMode::kVirtual) TheClock().Advance(ms);
}
int64_t NextTimerDueIn() { return TheClock().NextDueIn(); }

}  // namespace platform
