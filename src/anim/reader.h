// The frame reader: walks the top level of the current ".san" file one step
// per ReadFrame, applies the header chunk and processes frames; holds the
// requests that steer playback.
#pragma once

#include <cstdint>

#include "decoder/decoder.h"

// ReadFrame results.
constexpr int16_t kReadAborted = -1;
constexpr int16_t kReadEnded = -2;  // the file ended and no other file is coming
constexpr int16_t kReadDamaged = -3;
constexpr int16_t kReadShown = 0;
constexpr int16_t kReadEndPass = 1;
constexpr int16_t kReadShownEarly = 2;  // among the first 10 frames of its file
constexpr int16_t kReadWaitHeader = 11;
constexpr int16_t kReadWaitAnimHeader = 12;
constexpr int16_t kReadWaitFrame = 13;

// Reader states.
constexpr int16_t kStateChunkHeader = 0;
constexpr int16_t kStateAnimHeader = 'A';
constexpr int16_t kStateFrame = 'F';
constexpr int16_t kStateEnd = 'e';
constexpr int16_t kStateInvalid = -1;  // a top-level tag that is neither "A" nor "F"

// Header and frame flags (one 16-bit space).
constexpr uint16_t kFlagIgnoreRate = 0x0008;
constexpr uint16_t kFlagLateFrame = 0x0010;
constexpr uint16_t kFlagKeepPixels = 0x0020;
constexpr uint16_t kFlagKeepDrawState = 0x0040;
constexpr uint16_t kFlagKeepPalette = 0x0400;

int16_t ReadFrame(uint16_t frame_flags);
// Switch to `name` when the current file ends (or at once, before playback).
void QueueAnimation(const char* name, uint16_t header_flags);
// Takes effect at the next ReadFrame, which returns -1.
void AbortAnimation();
void ProcessFrame(int16_t x, int16_t y, uint16_t frame_flags);

// Engine reset between plays, and the drawing-state reset.
void ResetAnimationReader();
void ResetDrawingState();

struct ReaderState {
  int16_t state;
  int16_t frame_number;
  int16_t frame_count;
  uint16_t file_flags;
  uint32_t chunk_size;
  int32_t abort_request;
  ClipRect clip;
};
ReaderState InspectReader();
