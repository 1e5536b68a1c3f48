// "TEXT" and "TRES" frame sub-chunks turned into DrawText calls. Payload
// (little-endian): x at 0, y at 2, text flags at 4, with flag 4 a rectangle
// (left, top, width, height) at 6; from 16 the zero-terminated text ("TEXT")
// or a 16-bit string number ("TRES").
#pragma once

#include <cstdint>

#include "decoder/decoder.h"
#include "base/tags.h"


// The fields of a text chunk, read from an untrusted payload.
struct TextChunk {
  int16_t x;
  int16_t y;
  uint16_t flags;
  ClipRect rect;     // read only with flag 4, else zeros
  const char* text;  // zero-terminated; null: nothing to draw
};

// Reads a "TEXT" or "TRES" payload of `size` bytes. False (nothing to draw)
// for another tag, a payload too short for its fields, or a "TRES" number
// without a string. A "TEXT" text that runs to the payload's end without a
// terminator is copied (cut at 4001 characters) into a buffer of its own,
// valid until the next call.
bool ReadTextChunk(uint32_t tag, const uint8_t* payload, uint32_t size, TextChunk* chunk);

// The frame engine's own drawing: colour 15, background 0, default font. With
// flag 4 the chunk's rectangle, cut to `clip` (or to the bitmap without
// one), is the clip; nothing is drawn when it comes out empty. Without flag 4
// `clip` is used.
void DrawTextChunk(const Surface* bitmap, const ClipRect* clip, uint32_t tag,
                   const uint8_t* payload, uint32_t size);

// The session's text callback: colour 1, background 0, default font. With
// flag 4 the chunk's rectangle, kept inside 16..304 across and 16..196 down,
// is the clip; nothing is drawn unless both its sizes are at least 1.
// Without flag 4 `clip` is used.
void DrawSessionTextChunk(const Surface* bitmap, const ClipRect* clip, uint32_t tag,
                          const uint8_t* payload, uint32_t size);
