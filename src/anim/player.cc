// The playback loop, its reading thread and its timers.
#include "anim/player.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "anim/engine.h"
#include "anim/reader.h"
#include "display/display.h"
#include "platform/mmsystem.h"
#include "base/log.h"
#include "stream/slots.h"
#include "stream/stream.h"
#include "timer/timer.h"

using namespace anim_internal;

namespace {

// The wake event of the reading thread: the playback loop wakes it once per
// pass and, on the virtual clock, waits until the step it asked for is done.
// Wake-ups are counted, so one that comes while a step runs is never lost.
class ReaderWake {
 public:
  void Set() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++asked_;
    cv_.notify_all();
  }
  // Reading thread: waits for a wake-up newer than the last step (or stop).
  void Wait(const std::atomic<int32_t>& stop) {
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [&] { return asked_ != taken_ || stop.load(); });
    taken_ = asked_;
  }
  // Reading thread: the step for every wake-up taken so far is over.
  void StepDone() {
    std::lock_guard<std::mutex> lock(mutex_);
    done_ = taken_;
    cv_.notify_all();
  }
  // Playback loop: waits until the steps asked for so far are over, or the
  // thread has ended.
  void WaitForStep() {
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [&] { return done_ == asked_ || ended_; });
  }
  void Ended() {
    std::lock_guard<std::mutex> lock(mutex_);
    ended_ = true;
    cv_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  uint64_t asked_ = 1;  // the thread's first step needs no wake-up
  uint64_t taken_ = 1;
  uint64_t done_ = 0;
  bool ended_ = false;
};

constexpr int16_t kMinBlocks = 4;
constexpr int16_t kMaxBlocks = 32;
constexpr int32_t kRenderRepeatMs = 3;
constexpr uint16_t kRenderTimerFlags = 6;
constexpr uint16_t kWatchTimerFlags = 3;
constexpr uint16_t kSyncTimerFlags = 1;
constexpr int16_t kLateAfterTicks = 4;
constexpr int16_t kSyncCountMax = 10;

int16_t g_use_count = 0;

// Written by the main thread, read by the reading thread too.
std::atomic<int32_t> g_stop{0};
uint16_t g_play_flags = 0;
uint16_t g_mode = 0;
std::atomic<int32_t> g_frame_period{66};
// Raised on the multimedia timer's thread.
std::atomic<uint16_t> g_pending_ticks{0};
int16_t g_hold_back = 0;
int16_t g_last_result = 0;
int16_t g_watch_rate = 6;
int16_t g_block_count = 8;
std::atomic<int32_t> g_active{1};
int16_t g_render_timer = 0, g_watch_timer = 0, g_sync_timer = 0;
UINT g_tick_timer = 0;
int16_t g_sync_count = 0;
int32_t g_frames_read = 0, g_late_frames = 0;

ReaderWake* g_wake = nullptr;

// The reading thread. Should the process exit in the middle of a play (the
// display connection lost, say), the thread is ended here rather than left
// for std::thread's destructor to abort the process.
struct ReaderThread : std::thread {
  ~ReaderThread() {
    if (!joinable()) return;
    g_stop = 1;
    if (g_wake) g_wake->Set();
    join();
  }
  ReaderThread& operator=(std::thread&& other) {
    std::thread::operator=(std::move(other));
    return *this;
  }
};
ReaderThread g_reader;

// Above 1000 frames per second the period would be 0 ms, and a frame tick of
// 0 ms cannot be started: playback (and the keys read after each frame)
// would stall after the next reactivation.
int32_t FramePeriod(int16_t frames_per_second) {
  int32_t period = 1000 / frames_per_second;
  return period > 0 ? period : 1;
}

void OnFrameTick(UINT, UINT, uintptr_t, uintptr_t, uintptr_t) {
  g_pending_ticks.fetch_add(1, std::memory_order_relaxed);
}

void StartFrameTick() {
  UINT period = UINT(g_frame_period.load());
  g_tick_timer = timeSetEvent(period, period, OnFrameTick, 0, TIME_PERIODIC);
}

void StopFrameTick() {
  if (g_tick_timer) timeKillEvent(g_tick_timer);
  g_tick_timer = 0;
}

void RenderTick(int16_t, uint32_t) {
  if (g_hold_back > 0) {
    --g_hold_back;
  } else {
    int16_t result = g_last_result;
    bool read = false;
    uint16_t flags = g_play_flags;
    if (g_last_result != 0) {
      read = true;
    } else if (uint16_t pending = g_pending_ticks.exchange(0); pending != 0) {
      read = true;
      if (pending >= kLateAfterTicks) {
        flags |= kFlagLateFrame;
        ++g_late_frames;
      }
    }
    if (read) {
      result = ReadFrame(flags);
      if (result >= 0 && result <= kReadShownEarly) ++g_frames_read;
      if (result < 0) g_stop = 1;
      g_last_result = result;
    }
  }
  if (g_render_timer) TimerSetPeriod(g_render_timer, kRenderRepeatMs);
}

void WatchTick(int16_t, uint32_t) {
  WatchDecision d = DecideWatch(StreamFillPercent());
  if (d.hold_back >= 0) g_hold_back = d.hold_back;
  g_watch_rate = d.rate;
  TimerSetPeriod(g_watch_timer, 1000 / g_watch_rate);
}

void SyncTick(int16_t, uint32_t) {
  if (g_sync_count < kSyncCountMax) ++g_sync_count;
}

// One sector more after a pass below 60 percent, one fewer above `high`.
int16_t AdaptBlocks(int16_t count, int16_t fill, int16_t high) {
  if (fill > high && count > kMinBlocks) return int16_t(count - 1);
  if (fill < 60 && count < kMaxBlocks) return int16_t(count + 1);
  return count;
}

void ReadingThread(ReaderWake* wake) {
  int16_t count = 8;
  while (!g_stop.load()) {
    count = AdaptBlocks(count, StreamFillPercent(), 70);
    StreamReadAhead(count * kSectorBytes);
    wake->StepDone();
    wake->Wait(g_stop);
  }
  wake->Ended();
}

// On the virtual clock time must not go on while the reading thread still
// reads what the loop needs, or captures would differ from run to run: the
// pass that wakes it (and the start) waits for that step's end.
void WaitForReaderStep() {
  if (g_wake && platform::GetClockMode() == platform::ClockMode::kVirtual) g_wake->WaitForStep();
}

// Ends the reading thread: it only ever waits on the event outside the
// stream lock, so setting the event with the stop flag set lets it return.
void EndReadingThread() {
  if (g_reader.joinable()) {
    g_stop = 1;
    g_wake->Set();
    g_reader.join();
  }
  delete g_wake;
  g_wake = nullptr;
}

void ReleasePass() {
  if (g_sync_timer) TimerRemove(g_sync_timer);
  if (g_watch_timer) TimerRemove(g_watch_timer);
  if (g_render_timer) TimerRemove(g_render_timer);
  g_sync_timer = g_watch_timer = g_render_timer = 0;
  StopFrameTick();
  EndReadingThread();
}

}  // namespace

WatchDecision DecideWatch(int16_t fill) {
  if (fill < 0) fill = 0;
  if (fill > 100) fill = 100;
  WatchDecision d{-1, 0};
  if (fill < 40) d.hold_back = int16_t(100 / (fill == 0 ? 1 : fill));
  d.rate = int16_t(20 - (19 * fill / 100));
  return d;
}

int16_t AnimationEngineInit(FrameCallback pre_frame, FrameCallback post_frame, int16_t width,
                            int16_t height) {
  if (g_use_count > 0) {
    ++g_use_count;
    return 0;
  }
  int16_t result = CreateRenderBitmap(&g_bitmap, width, height);
  if (result != 0) {
    RecordError("Cannot allocate render bitmap.");
    return result;
  }
  g_pre_frame = pre_frame;
  g_post_frame = post_frame;
  g_use_count = 1;
  ResetAnimationReader();
  return 0;
}

void AnimationEngineShutdown() {
  if (g_use_count <= 0 || --g_use_count > 0) return;
  g_pre_frame = g_post_frame = nullptr;
  FreeRenderBitmap(&g_bitmap);
}

RenderBitmap* AnimationRenderBitmap() { return g_bitmap; }

int16_t PlayAnimation(const char* name, int16_t loops, PassCallback pass, uint16_t play_flags,
                      int16_t frames_per_second, uint16_t mode) {
  int16_t slot = FileOpen(name, 2);
  if (slot == 0) {
    RecordError("Cannot open file %s", name ? name : "");
    return -1;
  }
  FileClose(slot);
  if (frames_per_second < 1) frames_per_second = 1;
  g_play_flags = play_flags;
  g_mode = mode;
  g_pending_ticks = 0;
  g_hold_back = 0;
  // The last read result is kept: after a play that ended on a negative
  // result the next one reads at its first render tick.
  g_frame_period = FramePeriod(frames_per_second);
  g_frames_read = g_late_frames = 0;
  ResetAnimationReader();
  bool threaded = !(mode & kPlayNoThread);
  for (int16_t loop = 0; loop < loops; ++loop) {
    g_stop = 0;
    QueueAnimation(name, 0);
    if (threaded) {
      g_wake = new ReaderWake;
      g_reader = std::thread(ReadingThread, g_wake);
      WaitForReaderStep();
      g_render_timer = TimerAdd(RenderTick, g_frame_period, kRenderTimerFlags, 0);
      if (!g_render_timer) {
        RecordError("Cannot allocate render timer");
        ReleasePass();
        return -1;
      }
      g_watch_timer = TimerAdd(WatchTick, 1000 / g_watch_rate, kWatchTimerFlags, 0);
      if (!g_watch_timer) {
        RecordError("Cannot allocate abort timer");
        ReleasePass();
        return -1;
      }
      TimerSetPeriod(g_watch_timer, 1000 / g_watch_rate);
    }
    g_sync_timer = TimerAdd(SyncTick, g_frame_period, kSyncTimerFlags, 0);
    if (!g_sync_timer) {
      RecordError("Cannot allocate sync timer");
      ReleasePass();
      return -1;
    }
    StartFrameTick();
    while (!g_stop.load()) {
      PumpMessage();
      if (!g_active.load()) continue;
      TimerService();
      if (threaded) {
        g_wake->Set();
        WaitForReaderStep();
      } else {
        g_block_count = AdaptBlocks(g_block_count, StreamFillPercent(), 60);
        StreamReadAhead(g_block_count * kSectorBytes);
      }
      if (pass) pass();
      if (!threaded) RenderTick(0, 0);
    }
    ReleasePass();
  }
  return 0;
}

void SetPlaybackActive(int32_t flag) {
  g_active = flag;
  if (flag == 0) {
    StopFrameTick();
    g_pending_ticks = 0;
    g_hold_back = 0;
  } else if (g_use_count > 0 && !g_stop.load() && (g_render_timer || g_sync_timer)) {
    StopFrameTick();
    StartFrameTick();
  }
}

void SetFrameRate(int16_t frames_per_second) {
  if (frames_per_second < 1) return;
  g_frame_period = FramePeriod(frames_per_second);
  if (g_sync_timer) TimerSetPeriod(g_sync_timer, g_frame_period);
}

PlayerState InspectPlayer() {
  return PlayerState{g_frame_period.load(), g_watch_rate,    g_block_count,
                     g_hold_back,           g_last_result,   g_pending_ticks.load(),
                     g_active.load(),       g_stop.load(),   g_frames_read,
                     g_late_frames};
}
