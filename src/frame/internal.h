// The frame engine's one process-wide record, shared by the dispatcher and
// the palette (not for other subsystems). Owned by dispatch.cc.
#pragma once

#include <cstdint>

#include "frame/frame.h"
#include "frame/palette.h"

namespace frame_internal {

// Nothing is collected before a piece 0 arrives.
constexpr int32_t kNoPiece = -0x10000;

struct FrameEngine {
  // The dispatcher.
  int16_t use_count = 0;
  FrameClientCallback client = nullptr;
  // The text record being handed to the client callback, while it runs.
  const TextRecord* text_record_in_call = nullptr;
  uint8_t* overlay = nullptr;
  int32_t overlay_size = 0;
  // The overlay holds a stored sub-chunk; until then "FTCH" has nothing to
  // draw (the buffer's bytes are not initialised).
  bool overlay_filled = false;
  uint8_t* preload = nullptr;
  int32_t preload_size = 0;
  uint16_t preload_id = 0;
  int32_t last_piece = kNoPiece;
  int32_t preload_fill = 0;
  uint8_t conditions[kConditionFlagCount / 8] = {};
  int32_t frame_changed = 0;
  int32_t no_present = 0;

  // The current palette and its fade (7 fraction bits).
  uint8_t palette[kPaletteBytes] = {};
  int16_t palette_state = 0;  // 0 unchanged, 1 fade step, 2 replaced
  uint16_t accumulators[kPaletteBytes] = {};
  int16_t deltas[kPaletteBytes] = {};
  PresentCallback present_callback = nullptr;
};

extern FrameEngine g_frame;

}  // namespace frame_internal
