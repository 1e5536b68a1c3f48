// Where a screen goes in the window, and how it gets there: an integer
// upscale with nearest filtering (the largest that fits), then (when that does
// not land exactly on the final size) a linear enlargement, so pixels stay
// crisp and even.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace platform::sdl {

enum class Fit {
  kAspect43,  // the whole picture shown 4:3, as on the monitor of the day
  kSquare,    // square pixels, as large as fits
  kWhole,     // square pixels, a whole factor only (the desktop of /cds)
};

struct Layout {
  int x = 0, y = 0, width = 0, height = 0;  // the picture's rectangle in the window
  int prescale = 1;     // the integer upscale factor (nearest)
  bool linear = false;  // a linear pass from prescale size to width x height
};

constexpr int kMaxPrescale = 8;

// `source` is the screen's size, `output` the window's drawable size. An
// empty source or output gives an empty layout.
Layout ComputeLayout(int source_width, int source_height, int output_width, int output_height,
                     Fit fit);

// The window point (x, y) as a screen pixel, clamped into the screen.
void WindowToScreen(const Layout& layout, int source_width, int source_height, int x, int y,
                    int* sx, int* sy);

// Indexed pixels through a 768-byte palette into 0xAARRGGBB words
// (`pitch` bytes per source row, `out_pitch` words per output row).
void ConvertIndexed(int width, int height, int pitch, const uint8_t* indices,
                    const uint8_t* rgb768, uint32_t* out, int out_pitch);

// The band of rows [first, end) holding every row whose first `width`
// indices differ between two pictures of the same layout; empty (first ==
// end) when they are alike.
struct RowBand {
  int first = 0, end = 0;
};
RowBand ChangedRows(int width, int height, int pitch, const uint8_t* now, const uint8_t* before);

}  // namespace platform::sdl
