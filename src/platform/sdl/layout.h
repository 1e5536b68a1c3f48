// Where a screen goes in the window, and how it gets there: an integer
// upscale with nearest filtering (the largest that fits), then (when that does
// not land exactly on the final size) a linear enlargement, so pixels stay
// crisp and even; both in one pass on the processor.
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

// The band of rows [first, end) holding every row whose first `width`
// indices differ between two pictures of the same layout; empty (first ==
// end) when they are alike.
struct RowBand {
  int first = 0, end = 0;
};
RowBand ChangedRows(int width, int height, int pitch, const uint8_t* now, const uint8_t* before);

// How the screen's pixels land on the picture's: per output column (and per
// output row) the two screen pixels it falls between and the second one's
// weight in 256ths; the same picture as a whole-factor nearest upscale
// (`prescale`) with a linear step to the layout's size, so pixels stay crisp
// and only their edges blend.
struct Tap {
  int first = 0, second = 0;
  int weight = 0;  // 0 to 256; 0 when both are the same pixel
};
struct Scale {
  std::vector<Tap> columns, rows;
  std::vector<int> blended_columns;  // the columns whose weight is not 0
};
Scale MakeScale(int source_width, int source_height, const Layout& layout);

// The picture's rows that take from the screen's rows in `source`.
RowBand PictureRows(const Scale& scale, RowBand source);

// The picture's rows `rows` of the indexed screen (`pitch` bytes a row)
// through a 768-byte palette, as 0xFFRRGGBB words into `out` (the first of
// those rows, `out_pitch` words a row).
void ScaleIndexed(const Scale& scale, RowBand rows, const uint8_t* indices, int pitch,
                  const uint8_t* rgb768, uint32_t* out, int out_pitch);

}  // namespace platform::sdl
