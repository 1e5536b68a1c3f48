// The frame engine: walks a frame's sub-chunks and hands each to its owner
// (decoder, palette, sound, text, client callback), with the overlay buffer
// of "STOR"/"FTCH", the ghost redraw "GOST", the conditional "SKIP" and the
// preload buffer of "LOAD".
#pragma once

#include <cstdint>

#include "decoder/decoder.h"

struct RenderBitmap;

// Receives "IACT" payloads, and text records when frame flag 0x200 is set.
using FrameClientCallback = int16_t (*)(RenderBitmap* bitmap, const ClipRect* clip, int16_t x,
                                        int16_t y, const void* record, uint32_t size,
                                        uint16_t frame_flags);

// What the client callback gets for a "TEXT" or "TRES" sub-chunk.
constexpr int16_t kTextRecordKind = 9;
struct TextRecord {
  int16_t kind;  // kTextRecordKind
  int16_t reserved[3];
  uint32_t tag;
  uint32_t size;  // payload size
  const uint8_t* payload;
};

// True when `record`, handed to the client callback, is the text record the
// dispatcher built, not an "IACT" payload: under frame flag 0x200 both reach
// the callback, and a payload could start with the kind value 9.
bool IsFrameTextRecord(const void* record);

// Frame flags the dispatcher itself reads.
constexpr uint16_t kFlagTextToClient = 0x0200;
constexpr uint16_t kGhostModeBits[3] = {0x2000, 0x4000, 0x6000};

constexpr int kConditionFlagCount = 1024;

// 0, or -101 when a buffer cannot be had (the engine then stays stopped).
int16_t FrameEngineInit(FrameClientCallback client, int32_t overlay_size, int32_t preload_size);
void FrameEngineShutdown();

// 0 when the frame is walked, -1 for a damaged frame.
int16_t ProcessFrameChunks(RenderBitmap* bitmap, const ClipRect* clip, int16_t x, int16_t y,
                           const uint8_t* frame, uint32_t size, uint16_t frame_flags);

// Condition flags 1 to 1024. Numbers outside test as 0; clearing a number
// below 1 clears them all.
int16_t TestConditionFlag(int32_t number);
void SetConditionFlag(int32_t number);
void ClearConditionFlag(int32_t number);

// The frame-changed flag is set at the start of every ProcessFrameChunks
// and consumed by PresentFrame; tools and tests may set it.
void SetFrameChangedFlag(int32_t value);

// A look at the engine, for tools and tests.
struct FrameState {
  int32_t frame_changed;
  int32_t no_present;  // set by objects that drew nothing visible and by "VMSK"
  // The preload buffer as collected so far (nothing in the player reads it back).
  const uint8_t* preload;
  int32_t preload_fill;
  uint16_t preload_id;
  int16_t palette_state;  // as PresentFrame will find it (see palette.h)
};
FrameState InspectFrame();
