// Current palette, fixed-point fades (7 fraction bits) and frame presentation.
#include "frame/palette.h"

#include <cstring>

#include "base/bytes.h"
#include "display/display.h"
#include "frame/frame.h"

namespace {

uint8_t g_palette[kPaletteBytes];
int16_t g_palette_state = 0;
uint16_t g_accumulators[kPaletteBytes];
int16_t g_deltas[kPaletteBytes];
PresentCallback g_present_callback = nullptr;

constexpr uint32_t kFadeDeltasOffset = 4;
constexpr uint32_t kFadePaletteOffset = kFadeDeltasOffset + 2 * kPaletteBytes;  // 1540

void StartFade(const uint8_t* deltas) {
  for (int i = 0; i < kPaletteBytes; ++i) {
    g_accumulators[i] = uint16_t(g_palette[i] << 7);
    g_deltas[i] = ReadLE16s(deltas + 2 * i);
  }
}

}  // namespace

void SetCurrentPalette(const uint8_t* palette, int32_t full) {
  if (palette != g_palette) std::memcpy(g_palette, palette, kPaletteBytes);
  g_palette_state = full ? 2 : 1;
}

uint8_t* CurrentPalette() { return g_palette; }

int16_t PaletteState() { return g_palette_state; }

void PaletteFade(const uint8_t* payload, uint32_t size) {
  // Only the command is needed for a step; a start needs all its deltas and,
  // for command 512, the new palette behind them.
  if (size < kFadeDeltasOffset) return;
  int16_t command = ReadLE16s(payload + 2);
  if (command == 0) {
    if (size < kFadePaletteOffset) return;
    StartFade(payload + kFadeDeltasOffset);
  } else if (command == 512) {
    if (size < kFadePaletteOffset + kPaletteBytes) return;
    std::memcpy(g_palette, payload + kFadePaletteOffset, kPaletteBytes);
    StartFade(payload + kFadeDeltasOffset);
  } else {
    for (int i = 0; i < kPaletteBytes; ++i) {
      g_accumulators[i] = uint16_t(g_accumulators[i] + g_deltas[i]);
      g_palette[i] = uint8_t((g_accumulators[i] >> 7) & 0xFF);
    }
    g_palette_state = 1;
  }
}

void SetPresentCallback(PresentCallback callback) { g_present_callback = callback; }

void PresentFrame(RenderBitmap* bitmap, const ClipRect* clip, uint16_t frame_flags) {
  if (!FrameChangedFlag()) return;
  SetFrameChangedFlag(0);
  int32_t show = !NoPresentFlag() && !(frame_flags & kFlagNoPresent);
  if (g_present_callback) {
    g_present_callback(bitmap, clip, frame_flags, g_palette_state >= 2, show, g_palette_state);
    if (g_palette_state != 0) g_palette_state = 0;
    return;
  }
  if (g_palette_state >= 2) BlackOutScreen();
  if (show) PresentBitmap(bitmap, 0, 0, clip);
  if (g_palette_state != 0) {
    SetScreenPalette(g_palette);
    g_palette_state = 0;
  }
}

void ResetPalette() {
  std::memset(g_palette, 0, sizeof g_palette);
  std::memset(g_accumulators, 0, sizeof g_accumulators);
  std::memset(g_deltas, 0, sizeof g_deltas);
  g_palette_state = 0;
}
