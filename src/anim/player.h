// The animation player: owns the render bitmap and drives playback of a
// ".san" file in real time (playback loop, reading thread, render, watch and
// sync timers, the multimedia frame tick).
#pragma once

#include <cstdint>

#include "decoder/decoder.h"

struct RenderBitmap;

// Pre- and post-frame callbacks: bitmap, clip, draw x, draw y, frame number,
// frame count; the result is not used.
using FrameCallback = int16_t (*)(RenderBitmap* bitmap, const ClipRect* clip, int16_t x,
                                  int16_t y, int16_t frame_number, int16_t frame_count);
// Called once per pass of the playback loop.
using PassCallback = void (*)();

// Mode bit 0: no reading thread; the loop reads ahead and reads frames itself.
constexpr uint16_t kPlayNoThread = 0x0001;

// 0, or the display's error code when the render bitmap cannot be made.
int16_t AnimationEngineInit(FrameCallback pre_frame, FrameCallback post_frame, int16_t width,
                            int16_t height);
void AnimationEngineShutdown();

// 0, or -1 when the file cannot be opened or a timer slot cannot be had.
// Frames per second must be above 0 (a value below 1 is taken as 1).
int16_t PlayAnimation(const char* name, int16_t loops, PassCallback pass, uint16_t play_flags,
                      int16_t frames_per_second, uint16_t mode);

// Called by the display when the application is activated (non-zero) or
// deactivated (0): playback freezes while it is in the background.
void SetPlaybackActive(int32_t flag);

// The viewer's controls. Paused, the playback loop runs on (messages,
// timers, the pass callback) but reads no frame, and the frame tick stands
// still: resuming starts a fresh tick, so no frames are owed for the pause.
// A step while paused lets frames be read until one is shown. The speed, in
// quarters (4: as made), scales the frame rate and restarts the tick.
void SetPlaybackPaused(int32_t paused);
void StepPlayback();
void SetPlaybackSpeed(int16_t quarters);

// Sets the frame period; the running frame tick keeps its period until it is
// next started by SetPlaybackActive.
void SetFrameRate(int16_t frames_per_second);

// The render bitmap made at start (null while stopped).
RenderBitmap* AnimationRenderBitmap();

// The watch tick's arithmetic for a ring fill in percent: the render ticks to
// hold back (0 for none) and the new watch rate per second. An empty ring
// holds back as long as a fill of 1 percent would (100 ticks).
struct WatchDecision {
  int16_t hold_back;  // -1: leave the current count alone
  int16_t rate;
};
WatchDecision DecideWatch(int16_t fill);

// A look at the player, for the debug overlay, tools and tests.
struct PlayerState {
  int32_t frame_period;
  int16_t watch_rate;
  int16_t block_count;
  int16_t hold_back;
  int16_t last_result;
  uint16_t pending_ticks;
  int32_t active;
  int32_t stop;
  int32_t frames_read;  // reads that processed a frame (results 0, 1, 2)
  int32_t late_frames;  // reads that carried the late-frame flag
  int16_t frames_per_second;  // the file's, or the caller's
  int16_t speed_quarters;
  int32_t paused;
};
PlayerState InspectPlayer();
