// The engines a demonstration plays on: one set of sizes, one start-up order,
// one reverse unwinding. The session, santool's export, the fuzz targets and
// the test fixtures all start the engines through here.
#pragma once

#include <cstdint>

#include "anim/player.h"
#include "frame/frame.h"
#include "sound/sound.h"

// Fixed sizes of the engines.
struct EngineSizes {
  int16_t video_mode;
  int32_t ring;           // stream ring buffer
  int32_t largest_frame;  // largest frame the stream hands out
  int32_t overlay;        // frame engine's overlay buffer
  int32_t preload;        // frame engine's preload buffer
  int16_t width;          // render bitmap and decoder
  int16_t height;
  int32_t output_rate;  // Hz
  int32_t sound_reserve;
  int32_t channel_sizes[8];  // mixer channels, closed by 0
};

inline constexpr EngineSizes kEngineSizes{
    19,  400000, 300000, 300000, 400000, 320, 200, 22050, 200000,
    {100, 100, 100000, 100000, 80000, 80000, 800000, 0}};

// The engines in start order; each stops after those started later.
enum EngineStage : int {
  kEngineVideo,
  kEngineTimer,
  kEngineStream,
  kEngineFrame,
  kEngineAnimation,
  kEngineDecoder,
  kEngineSound,
  kEngineKeyboard,
};

// What a caller hands to the engines, and how far the start goes.
struct EngineSetup {
  FrameClientCallback text = nullptr;  // frame engine's client
  FrameCallback frame_done = nullptr;  // animation engine's post-frame callback
  SoundDriver driver = nullptr;        // nullptr: the output driver (SoundDriverProc)
  EngineStage last = kEngineKeyboard;
};

// Starts the engines in order up to `setup.last`. A refused video mode
// returns at once without a message; any other failure records its message,
// stops what was started, last of all the video mode, and returns false.
bool StartEngines(const EngineSetup& setup);
// Stops the engines from `last_started` down to the video mode.
void StopEngines(EngineStage last_started);
