// The animation engine's one process-wide record, shared by the player and
// the frame reader (not for other subsystems). Owned by player.cc.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "anim/player.h"
#include "anim/reader.h"
#include "platform/mmsystem.h"

namespace anim_internal {

class ReaderWake;

// The reading thread. Should the process exit in the middle of a play (the
// display connection lost, say), the thread is ended by the record's
// destructor rather than left for std::thread's destructor to abort the
// process.
struct ReaderThread : std::thread {
  ~ReaderThread();
  ReaderThread& operator=(std::thread&& other) {
    std::thread::operator=(std::move(other));
    return *this;
  }
};

struct AnimEngine {
  // Start and stop.
  int16_t use_count = 0;
  FrameCallback pre_frame = nullptr;
  FrameCallback post_frame = nullptr;
  RenderBitmap* bitmap = nullptr;

  // The player. The stop flag and the frame period are written by the main
  // thread and read by the reading thread too; pending ticks are raised on
  // the multimedia timer's thread.
  std::atomic<int32_t> stop{0};
  uint16_t play_flags = 0;
  uint16_t mode = 0;
  std::atomic<int32_t> frame_period{66};
  int16_t frames_per_second = 15;  // the frame tick's rate
  std::atomic<uint16_t> pending_ticks{0};
  int16_t hold_back = 0;
  int16_t last_result = 0;
  int16_t watch_rate = 6;   // kept from one playback to the next
  int16_t block_count = 8;  // likewise
  std::atomic<int32_t> active{1};
  // The viewer's controls: while paused no frame is read and the frame tick
  // stands still, except for the frames asked for one at a time; the speed
  // in quarters scales the frame rate.
  int32_t paused = 0;
  int32_t steps = 0;
  int16_t speed_quarters = 4;
  int16_t render_timer = 0;
  int16_t watch_timer = 0;
  int16_t sync_timer = 0;
  UINT tick_timer = 0;
  int16_t sync_count = 0;
  int32_t frames_read = 0;
  int32_t late_frames = 0;
  ReaderWake* wake = nullptr;

  // The frame reader.
  int16_t state = kStateChunkHeader;
  uint32_t chunk_size = 0;
  const uint8_t* chunk_data = nullptr;  // the frame being processed
  int16_t frame_number = 0;
  int16_t frame_count = 1;
  uint16_t file_flags = 0;
  uint16_t pending_flags = 0;  // header flags of the queued file
  int32_t abort = 0;
  ClipRect clip{0, 0, 320, 200};
  int16_t draw_x = 0;
  int16_t draw_y = 0;

  // Last, so that it is ended while the fields above still exist.
  ReaderThread reader;
};

extern AnimEngine g_anim;

}  // namespace anim_internal
