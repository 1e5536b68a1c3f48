// What the in-memory model shows and plays, for the backends and the tools
// that run on it.
//
// The screen is what a monitor would show: the primary surface of the
// exclusive DirectDraw mode with the hardware palette, or, outside that mode,
// the desktop image that GDI draws into with the system palette. It is
// handed to the backend (Backend::screen_shown) after every flip or copy that
// changes what is visible and after every change of the palette in effect.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform::memory {

struct Screen {
  int width = 0;
  int height = 0;
  int pitch = 0;                    // bytes per row of `indices`
  std::vector<uint8_t> indices;     // pitch x height palette indices
  std::array<uint8_t, 768> palette{};  // red, green, blue of entries 0 to 255

  uint8_t At(int x, int y) const { return indices[static_cast<size_t>(y) * pitch + x]; }
};

// The sound card. While the capture is on, every byte a playing buffer's
// cursor passes over is kept, in order, up to the capture limit; turning it
// on or off clears the overflow flag.
void SetAudioCapture(bool on);
// The bytes captured so far (the cursors brought up to the clock first);
// empties the capture.
std::vector<uint8_t> TakeCapturedAudio();
// The most bytes the capture holds; what comes later is dropped and the
// overflow flag set, so a run that never ends cannot eat the memory.
constexpr size_t kDefaultAudioCaptureLimit = size_t{22050} * 3600;  // an hour at 22050 Hz
void SetAudioCaptureLimit(size_t bytes);
// True once bytes were dropped since the capture was turned on.
bool AudioCaptureOverflowed();

}  // namespace platform::memory

namespace platform {

// The dialog's answers when no backend gives them: the control identifiers
// of the successive dialogs, in order, then IDCANCEL (Escape).
void SetScriptedChoices(std::vector<int> choices);

}  // namespace platform
