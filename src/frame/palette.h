// The current palette with its fades, and the decision to present a frame.
#pragma once

#include <cstdint>

#include "decoder/decoder.h"

struct RenderBitmap;

// palette_state: 0 unchanged since the last present, 1 changed by a fade
// step, 2 replaced as a whole.
using PresentCallback = void (*)(RenderBitmap* bitmap, const ClipRect* clip, uint16_t frame_flags,
                                 int32_t full_palette, int32_t show, int16_t palette_state);

constexpr uint16_t kFlagNoPresent = 0x8000;

// Red, green, blue of entries 0 to 255.
constexpr int kPaletteBytes = 768;

// Copies the 768-byte palette (unless it is the current one already); the
// state becomes 2 with `full`, else 1.
void SetCurrentPalette(const uint8_t* palette, int32_t full);
uint8_t* CurrentPalette();

// The "XPAL" handler. A payload too short for what its command reads is
// ignored.
void PaletteFade(const uint8_t* payload, uint32_t size);

void SetPresentCallback(PresentCallback callback);
void PresentFrame(RenderBitmap* bitmap, const ClipRect* clip, uint16_t frame_flags);

// Back to an all-black palette, state 0, no fade (tests and tools).
void ResetPalette();
