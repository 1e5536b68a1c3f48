// Current palette, fixed-point fades (7 fraction bits) and frame presentation.
#include "frame/palette.h"

#include <cstring>

#include "base/bytes.h"
#include "base/trace.h"
#include "display/display.h"
#include "frame/frame.h"
#include "frame/internal.h"

using namespace frame_internal;

namespace {

constexpr uint32_t kFadeDeltasOffset = 4;
constexpr uint32_t kFadePaletteOffset = kFadeDeltasOffset + 2 * kPaletteBytes;  // 1540

void StartFade(const uint8_t* deltas) {
  for (int i = 0; i < kPaletteBytes; ++i) {
    g_frame.accumulators[i] = uint16_t(g_frame.palette[i] << 7);
    g_frame.deltas[i] = ReadLE16s(deltas + 2 * i);
  }
}

}  // namespace

void SetCurrentPalette(const uint8_t* palette, int32_t full) {
  if (palette != g_frame.palette) std::memcpy(g_frame.palette, palette, kPaletteBytes);
  g_frame.palette_state = full ? 2 : 1;
}

uint8_t* CurrentPalette() { return g_frame.palette; }

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
    std::memcpy(g_frame.palette, payload + kFadePaletteOffset, kPaletteBytes);
    StartFade(payload + kFadeDeltasOffset);
  } else {
    for (int i = 0; i < kPaletteBytes; ++i) {
      g_frame.accumulators[i] = uint16_t(g_frame.accumulators[i] + g_frame.deltas[i]);
      g_frame.palette[i] = uint8_t((g_frame.accumulators[i] >> 7) & 0xFF);
    }
    g_frame.palette_state = 1;
  }
}

void SetPresentCallback(PresentCallback callback) { g_frame.present_callback = callback; }

void PresentFrame(RenderBitmap* bitmap, const ClipRect* clip, uint16_t frame_flags) {
  if (!g_frame.frame_changed) return;
  g_frame.frame_changed = 0;
  int32_t show = !g_frame.no_present && !(frame_flags & kFlagNoPresent);
  if (show || g_frame.palette_state != 0) trace::Screen(show != 0);
  if (g_frame.present_callback) {
    g_frame.present_callback(bitmap, clip, frame_flags, g_frame.palette_state >= 2, show,
                             g_frame.palette_state);
    if (g_frame.palette_state != 0) g_frame.palette_state = 0;
    return;
  }
  if (g_frame.palette_state >= 2) BlackOutScreen();
  if (show) PresentBitmap(bitmap, 0, 0, clip);
  if (g_frame.palette_state != 0) {
    SetScreenPalette(g_frame.palette);
    g_frame.palette_state = 0;
  }
}

void ResetPalette() {
  std::memset(g_frame.palette, 0, sizeof g_frame.palette);
  std::memset(g_frame.accumulators, 0, sizeof g_frame.accumulators);
  std::memset(g_frame.deltas, 0, sizeof g_frame.deltas);
  g_frame.palette_state = 0;
}
