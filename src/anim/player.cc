// The playback loop, its reading thread and its timers.
#include "anim/player.h"

#include <atomic>
#include <cassert>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "anim/internal.h"
#include "anim/reader.h"
#include "display/display.h"
#include "platform/faults.h"
#include "platform/messages.h"
#include "platform/mmsystem.h"
#include "base/log.h"
#include "base/trace.h"
#include "stream/slots.h"
#include "stream/stream.h"
#include "timer/timer.h"

namespace {

constexpr int16_t kMinBlocks = 4;
constexpr int16_t kMaxBlocks = 32;

// One sector more after a step below 60 percent, one fewer above `high`.
int16_t AdaptBlocks(int16_t count, int16_t fill, int16_t high) {
  if (fill > high && count > kMinBlocks) return int16_t(count - 1);
  if (fill < 60 && count < kMaxBlocks) return int16_t(count + 1);
  return count;
}

}  // namespace

namespace anim_internal {

AnimEngine g_anim;

// The wake event of the reading thread: the playback loop offers it a step
// once per pass and, on the virtual clock, waits until that step is done.
// Wake-ups are counted, so one that comes while a step runs is never lost.
// The thread's block count lives here, guarded by the same lock.
class ReaderWake {
 public:
  void Set() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++asked_;
    cv_.notify_all();
  }
  // Playback loop, once a pass. A step that would only adapt the block count
  // (the ring has no room, or the file is all read, and nothing is asked
  // for) is taken here while the thread sleeps: the same count, the same
  // ring, without a thread switch a millisecond. Otherwise the thread is
  // woken as by Set.
  void Offer() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (done_ == asked_ && !ended_ && !StreamReadAheadHasWork()) {
      count_ = AdaptBlocks(count_, StreamFillPercent(), 70);
      return;
    }
    ++asked_;
    cv_.notify_all();
  }
  // Reading thread: waits for a wake-up newer than the last step (or stop);
  // the block count for the step.
  int16_t Wait(const std::atomic<int32_t>& stop) {
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [&] { return asked_ != taken_ || stop.load(); });
    taken_ = asked_;
    return count_;
  }
  // Reading thread: the step for every wake-up taken so far is over, having
  // left the block count at `count`.
  void StepDone(int16_t count) {
    std::lock_guard<std::mutex> lock(mutex_);
    count_ = count;
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
  int16_t count_ = 8;  // the block count after the last step
};

ReaderThread::~ReaderThread() {
  if (!joinable()) return;
  g_anim.stop = 1;
  if (g_anim.wake) g_anim.wake->Set();
  join();
}

}  // namespace anim_internal

using namespace anim_internal;

namespace {

constexpr int32_t kRenderRepeatMs = 3;
// The flag values the original passed (6, 3 and 1); only the one-shot bit acts.
constexpr uint16_t kRenderTimerFlags = kTimerOneShot | kTimerInertBit2;
constexpr uint16_t kWatchTimerFlags = kTimerOneShot | kTimerInertBit0;
constexpr uint16_t kSyncTimerFlags = kTimerInertBit0;
constexpr int16_t kLateAfterTicks = 4;
constexpr int16_t kSyncCountMax = 10;

// Above 1000 frames per second the period would be 0 ms, and a frame tick of
// 0 ms cannot be started: playback (and the keys read after each frame)
// would stall after the next reactivation.
// The speed scales the rate: 4 quarters play the file as it was made.
int32_t FramePeriod(int16_t frames_per_second) {
  int32_t period = 4000 / (int32_t{frames_per_second} * g_anim.speed_quarters);
  return period > 0 ? period : 1;
}

void OnFrameTick(UINT, UINT, uintptr_t, uintptr_t, uintptr_t) {
  g_anim.pending_ticks.fetch_add(1, std::memory_order_relaxed);
}

// Repair: a frame tick at the whole-millisecond period (66 ms at 15 frames
// a second) ran ahead of the sound, which a frame carries at the exact rate
// (1470 samples at 22050 Hz, 66.67 ms); the tick keeps the exact rate,
// scaled by the viewer's speed (in quarters).
void StartFrameTick() {
  g_anim.tick_timer = platform::StartRateTimer(
      UINT(g_anim.frames_per_second) * UINT(g_anim.speed_quarters), 4000, OnFrameTick, 0);
}

void StopFrameTick() {
  if (g_anim.tick_timer) timeKillEvent(g_anim.tick_timer);
  g_anim.tick_timer = 0;
}

bool Shown(int16_t result) { return result >= 0 && result <= kReadShownEarly; }

void RenderTick(int16_t, uint32_t) {
  // Paused: only a step or an abort reads.
  const bool paused = g_anim.paused != 0;
  if (paused && g_anim.steps == 0 && !g_anim.abort) {
    // held
  } else if (g_anim.hold_back > 0) {
    --g_anim.hold_back;
  } else {
    int16_t result = g_anim.last_result;
    bool read = false;
    uint16_t flags = g_anim.play_flags;
    if (g_anim.last_result != 0 || paused) {
      read = true;
    } else if (uint16_t pending = g_anim.pending_ticks.exchange(0); pending != 0) {
      read = true;
      if (pending > 1) trace::Dropped(pending - 1u);
      if (pending >= kLateAfterTicks) {
        flags |= kFlagLateFrame;
        ++g_anim.late_frames;
      }
    }
    if (read) {
      result = ReadFrame(flags);
      if (Shown(result)) ++g_anim.frames_read;
      if (Shown(result) && paused && g_anim.steps > 0) --g_anim.steps;
      if (result < 0) g_anim.stop = 1;
      g_anim.last_result = result;
    }
  }
  if (g_anim.render_timer) TimerSetPeriod(g_anim.render_timer, kRenderRepeatMs);
}

void WatchTick(int16_t, uint32_t) {
  WatchDecision d = DecideWatch(StreamFillPercent());
  if (d.hold_back >= 0) g_anim.hold_back = d.hold_back;
  g_anim.watch_rate = d.rate;
  TimerSetPeriod(g_anim.watch_timer, 1000 / g_anim.watch_rate);
}

void SyncTick(int16_t, uint32_t) {
  if (g_anim.sync_count < kSyncCountMax) ++g_anim.sync_count;
}

void ReadingThread(ReaderWake* wake) {
  int16_t count = 8;
  while (!g_anim.stop.load()) {
    count = AdaptBlocks(count, StreamFillPercent(), 70);
    StreamReadAhead(count * kSectorBytes);
    wake->StepDone(count);
    count = wake->Wait(g_anim.stop);
  }
  wake->Ended();
}

// On the virtual clock time must not go on while the reading thread still
// reads what the loop needs, or captures would differ from run to run: the
// pass that wakes it (and the start) waits for that step's end.
void WaitForReaderStep() {
  if (g_anim.wake && platform::GetClockMode() == platform::ClockMode::kVirtual)
    g_anim.wake->WaitForStep();
}

// Ends the reading thread: it only ever waits on the event outside the
// stream lock, so setting the event with the stop flag set lets it return.
void EndReadingThread() {
  if (g_anim.reader.joinable()) {
    g_anim.stop = 1;
    g_anim.wake->Set();
    g_anim.reader.join();
  }
  delete g_anim.wake;
  g_anim.wake = nullptr;
  assert(!g_anim.reader.joinable());
}

// Starts the reading thread on a fresh wake event; false when no thread
// could be had (the event is then released with the pass).
bool StartReadingThread() {
  g_anim.wake = new ReaderWake;
  if (platform::AllocationRefused()) return false;
  try {
    g_anim.reader = std::thread(ReadingThread, g_anim.wake);
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void ReleasePass() {
  platform::SetPollIdleMs(0);
  if (g_anim.sync_timer) TimerRemove(g_anim.sync_timer);
  if (g_anim.watch_timer) TimerRemove(g_anim.watch_timer);
  if (g_anim.render_timer) TimerRemove(g_anim.render_timer);
  g_anim.sync_timer = g_anim.watch_timer = g_anim.render_timer = 0;
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
  assert(g_anim.use_count >= 0);
  if (g_anim.use_count > 0) {
    ++g_anim.use_count;
    return 0;
  }
  int16_t result = CreateRenderBitmap(&g_anim.bitmap, width, height);
  if (result != 0) {
    RecordError("Cannot allocate render bitmap.");
    return result;
  }
  g_anim.pre_frame = pre_frame;
  g_anim.post_frame = post_frame;
  g_anim.use_count = 1;
  ResetAnimationReader();
  return 0;
}

void AnimationEngineShutdown() {
  assert(g_anim.use_count >= 0);
  if (g_anim.use_count <= 0 || --g_anim.use_count > 0) return;
  g_anim.pre_frame = g_anim.post_frame = nullptr;
  FreeRenderBitmap(&g_anim.bitmap);
}

RenderBitmap* AnimationRenderBitmap() { return g_anim.bitmap; }

int16_t PlayAnimation(const char* name, int16_t loops, PassCallback pass, uint16_t play_flags,
                      int16_t frames_per_second, uint16_t mode) {
  // Opened as the stream will open it, checksum table and all: a fault of the
  // table is recorded here and again by the stream (the log folds the repeat).
  int16_t slot = FileOpen(name, 2);
  if (slot == 0) {
    RecordError("Cannot open file %s", name ? name : "");
    return -1;
  }
  FileClose(slot);
  if (frames_per_second < 1) frames_per_second = 1;
  g_anim.frames_per_second = frames_per_second;
  g_anim.steps = 0;
  g_anim.play_flags = play_flags;
  g_anim.mode = mode;
  g_anim.pending_ticks = 0;
  g_anim.hold_back = 0;
  // The last read result is kept: after a play that ended on a negative
  // result the next one reads at its first render tick.
  g_anim.frame_period = FramePeriod(frames_per_second);
  g_anim.frames_per_second = frames_per_second;
  g_anim.frames_read = g_anim.late_frames = 0;
  ResetAnimationReader();
  bool threaded = !(mode & kPlayNoThread);
  for (int16_t loop = 0; loop < loops; ++loop) {
    g_anim.stop = 0;
    QueueAnimation(name, 0);
    if (threaded) {
      // Repair: a reading thread that could not be started ended the process
      // (or left the loop waiting for it); it is recorded and the pass released.
      if (!StartReadingThread()) {
        RecordError("Cannot start reading thread");
        ReleasePass();
        return -1;
      }
      WaitForReaderStep();
      g_anim.render_timer = TimerAdd(RenderTick, g_anim.frame_period, kRenderTimerFlags, 0);
      if (!g_anim.render_timer) {
        RecordError("Cannot allocate render timer");
        ReleasePass();
        return -1;
      }
      g_anim.watch_timer = TimerAdd(WatchTick, 1000 / g_anim.watch_rate, kWatchTimerFlags, 0);
      if (!g_anim.watch_timer) {
        RecordError("Cannot allocate abort timer");
        ReleasePass();
        return -1;
      }
      TimerSetPeriod(g_anim.watch_timer, 1000 / g_anim.watch_rate);
    }
    g_anim.sync_timer = TimerAdd(SyncTick, g_anim.frame_period, kSyncTimerFlags, 0);
    if (!g_anim.sync_timer) {
      RecordError("Cannot allocate sync timer");
      ReleasePass();
      return -1;
    }
    StartFrameTick();
    // With the reading thread the loop's own work is the render tick, due
    // every few milliseconds: a pass each millisecond would mostly find
    // nothing due. (On the virtual clock a pass is still one millisecond.)
    if (threaded) platform::SetPollIdleMs(kRenderRepeatMs);
    while (!g_anim.stop.load()) {
      PumpMessage();
      if (!g_anim.active.load()) continue;
      TimerService();
      if (threaded) {
        g_anim.wake->Offer();
        WaitForReaderStep();
      } else {
        g_anim.block_count = AdaptBlocks(g_anim.block_count, StreamFillPercent(), 60);
        StreamReadAhead(g_anim.block_count * kSectorBytes);
      }
      if (pass) pass();
      if (!threaded) RenderTick(0, 0);
    }
    ReleasePass();
  }
  return 0;
}

namespace {

// A fresh frame tick, with no ticks owed from before, when playback runs.
void RestartFrameTick() {
  StopFrameTick();
  g_anim.pending_ticks = 0;
  if (g_anim.active.load() && !g_anim.paused && g_anim.use_count > 0 && !g_anim.stop.load() &&
      (g_anim.render_timer || g_anim.sync_timer))
    StartFrameTick();
}

}  // namespace

void SetPlaybackActive(int32_t flag) {
  g_anim.active = flag;
  if (flag == 0) {
    StopFrameTick();
    g_anim.pending_ticks = 0;
    g_anim.hold_back = 0;
  } else if (g_anim.use_count > 0 && !g_anim.stop.load() &&
             (g_anim.render_timer || g_anim.sync_timer)) {
    StopFrameTick();
    if (!g_anim.paused) StartFrameTick();
  }
}

void SetPlaybackPaused(int32_t paused) {
  g_anim.paused = paused ? 1 : 0;
  g_anim.steps = 0;
  RestartFrameTick();
}

void StepPlayback() {
  if (g_anim.paused) ++g_anim.steps;
}

void SetPlaybackSpeed(int16_t quarters) {
  g_anim.speed_quarters = quarters < 1 ? 1 : quarters;
  g_anim.frame_period = FramePeriod(g_anim.frames_per_second);
  if (g_anim.sync_timer) TimerSetPeriod(g_anim.sync_timer, g_anim.frame_period);
  RestartFrameTick();
}

void SetFrameRate(int16_t frames_per_second) {
  if (frames_per_second < 1) return;
  g_anim.frames_per_second = frames_per_second;
  g_anim.frame_period = FramePeriod(frames_per_second);
  g_anim.frames_per_second = frames_per_second;
  if (g_anim.sync_timer) TimerSetPeriod(g_anim.sync_timer, g_anim.frame_period);
}

PlayerState InspectPlayer() {
  return PlayerState{g_anim.frame_period.load(), g_anim.watch_rate,    g_anim.block_count,
                     g_anim.hold_back,           g_anim.last_result,   g_anim.pending_ticks.load(),
                     g_anim.active.load(),       g_anim.stop.load(),   g_anim.frames_read,
                     g_anim.late_frames,          g_anim.frames_per_second,
                     g_anim.speed_quarters,       g_anim.paused};
}
