// One demonstration session: starts every engine in a fixed order, plays the
// demonstration's two files back to back, and stops the engines again.
#pragma once

#include <cstdint>

#include "decoder/decoder.h"

struct RenderBitmap;

// The two files of a demonstration, in playing order.
struct DemoFiles {
  const char* first;
  const char* second;
};
// 102: the second demonstration; any other value: the first.
DemoFiles DemoFilesFor(uint16_t choice);

constexpr int16_t kSessionFramesPerSecond = 15;
// The second file keeps the first one's last picture and its frame rate.
constexpr uint16_t kSecondFileFlags = 0x28;

// The text of the first demonstration: its strings and fonts (font 0 first).
constexpr const char* kSessionStringFile = "CV2VID\\COBALT2.TRS";
constexpr const char* kSessionFontFiles[3] = {"CV2VID\\TALKFONT.NUT", "CV2VID\\SMALFONT.NUT",
                                              "CV2VID\\TITLFONT.NUT"};

// Plays the demonstration of the current demo choice.
void PlayDemoSession();

// Callbacks handed to the engines.
int16_t SessionFrameDone(RenderBitmap* bitmap, const ClipRect* clip, int16_t x, int16_t y,
                         int16_t frame_number, int16_t frame_count);
void SessionTick();
int16_t SessionText(RenderBitmap* bitmap, const ClipRect* clip, int16_t x, int16_t y,
                    const void* record, uint32_t size, uint16_t frame_flags);
void SessionPresent(RenderBitmap* bitmap, const ClipRect* clip, uint16_t frame_flags,
                    int32_t full_palette, int32_t show, int16_t palette_state);

// Files of the current session that have reached their end (0 or 1).
int16_t ChainCounter();
void SetChainCounter(int16_t value);
