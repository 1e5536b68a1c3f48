#include "platform/sdl/layout.h"

#include <algorithm>
#include <cstring>

namespace platform::sdl {

Layout ComputeLayout(int sw, int sh, int ow, int oh, Fit fit) {
  Layout l;
  if (sw <= 0 || sh <= 0 || ow <= 0 || oh <= 0) return l;
  if (fit == Fit::kWhole) {
    // A screen larger than the window is still shown, cut at the edges.
    l.prescale = std::max(1, std::min(ow / sw, oh / sh));
    l.width = sw * l.prescale;
    l.height = sh * l.prescale;
  } else {
    const int64_t rw = fit == Fit::kAspect43 ? 4 : sw;
    const int64_t rh = fit == Fit::kAspect43 ? 3 : sh;
    if (int64_t{ow} * rh > int64_t{oh} * rw) {
      l.height = oh;
      l.width = static_cast<int>((int64_t{oh} * rw + rh / 2) / rh);
    } else {
      l.width = ow;
      l.height = static_cast<int>((int64_t{ow} * rh + rw / 2) / rw);
    }
    l.width = std::max(1, l.width);
    l.height = std::max(1, l.height);
    // The largest whole factor that fits: the linear step then enlarges by
    // less than two, and the prescaled picture (drawn on the processor
    // without a graphics card) is the smallest that keeps pixels even.
    l.prescale = std::clamp(std::min(l.width / sw, l.height / sh), 1, kMaxPrescale);
    l.linear = l.width != sw * l.prescale || l.height != sh * l.prescale;
  }
  l.x = (ow - l.width) / 2;
  l.y = (oh - l.height) / 2;
  return l;
}

void WindowToScreen(const Layout& l, int sw, int sh, int x, int y, int* sx, int* sy) {
  int px = 0, py = 0;
  if (l.width > 0 && l.height > 0) {
    px = static_cast<int>(int64_t{x - l.x} * sw / l.width);
    py = static_cast<int>(int64_t{y - l.y} * sh / l.height);
  }
  *sx = std::clamp(px, 0, std::max(0, sw - 1));
  *sy = std::clamp(py, 0, std::max(0, sh - 1));
}

namespace {

// Output pixel x of `output` samples the upscaled line (`source` x `factor`
// pixels) at (x + 0.5) * upscaled / output - 0.5, between two of its pixels.
std::vector<Tap> Taps(int source, int factor, int output) {
  std::vector<Tap> taps(static_cast<size_t>(std::max(output, 0)));
  const int64_t upscaled = int64_t{source} * factor;
  for (int x = 0; x < output; ++x) {
    // In 256ths of an upscaled pixel.
    int64_t at = ((2 * int64_t{x} + 1) * upscaled * 256 - int64_t{output} * 256) / (2 * int64_t{output});
    at = std::max<int64_t>(at, 0);
    const int64_t left = std::min<int64_t>(at >> 8, upscaled - 1);
    const int64_t right = std::min<int64_t>(left + 1, upscaled - 1);
    Tap& t = taps[static_cast<size_t>(x)];
    t.first = static_cast<int>(left / factor);
    t.second = static_cast<int>(right / factor);
    t.weight = t.first == t.second ? 0 : static_cast<int>(at & 255);
    if (t.weight == 0) t.second = t.first;
  }
  return taps;
}

// a + (b - a) * w / 256 on each byte (w from 0 to 256), two pixels to a
// word: each byte's product fits the 16 bits it has between the masks.
constexpr uint64_t kEvenBytes = 0x00FF00FF00FF00FFull;
inline uint64_t Blend2(uint64_t a, uint64_t b, uint64_t w) {
  const uint64_t even = ((a & kEvenBytes) * (256 - w) + (b & kEvenBytes) * w) >> 8;
  const uint64_t odd = ((a >> 8) & kEvenBytes) * (256 - w) + ((b >> 8) & kEvenBytes) * w;
  return (even & kEvenBytes) | (odd & ~kEvenBytes);
}
inline uint32_t Blend(uint32_t a, uint32_t b, uint32_t w) {
  return static_cast<uint32_t>(Blend2(a, b, w));
}

// A screen row's colours spread over the picture's columns: the nearest
// one everywhere, then the few columns on a pixel's edge blended.
void ExpandRow(const Scale& s, const uint32_t* colours, uint32_t* out) {
  const size_t width = s.columns.size();
  const Tap* taps = s.columns.data();
  for (size_t x = 0; x < width; ++x) out[x] = colours[taps[x].first];
  for (int x : s.blended_columns)
    out[x] = Blend(colours[taps[x].first], colours[taps[x].second], static_cast<uint32_t>(taps[x].weight));
}

// Two picture rows blended, two pixels at a time.
void BlendRows(const uint32_t* a, const uint32_t* b, uint32_t w, size_t width, uint32_t* out) {
  size_t x = 0;
  for (; x + 2 <= width; x += 2) {
    uint64_t pa, pb;
    std::memcpy(&pa, a + x, 8);
    std::memcpy(&pb, b + x, 8);
    const uint64_t mixed = Blend2(pa, pb, w);
    std::memcpy(out + x, &mixed, 8);
  }
  if (x < width) out[x] = Blend(a[x], b[x], w);
}

}  // namespace

Scale MakeScale(int sw, int sh, const Layout& l) {
  Scale s;
  if (sw <= 0 || sh <= 0 || l.width <= 0 || l.height <= 0) return s;
  s.columns = Taps(sw, l.prescale, l.width);
  s.rows = Taps(sh, l.prescale, l.height);
  for (size_t x = 0; x < s.columns.size(); ++x)
    if (s.columns[x].weight != 0) s.blended_columns.push_back(static_cast<int>(x));
  return s;
}

RowBand PictureRows(const Scale& s, RowBand source) {
  const int height = static_cast<int>(s.rows.size());
  RowBand band{height, height};
  for (int y = 0; y < height; ++y) {
    const Tap& t = s.rows[static_cast<size_t>(y)];
    const bool takes = (t.first >= source.first && t.first < source.end) ||
                       (t.second >= source.first && t.second < source.end);
    if (!takes) continue;
    if (band.first == height) band.first = y;
    band.end = y + 1;
  }
  return band;
}

void ScaleIndexed(const Scale& s, RowBand rows, const uint8_t* indices, int pitch,
                  const uint8_t* rgb768, uint32_t* out, int out_pitch) {
  uint32_t table[256];
  for (int i = 0; i < 256; ++i)
    table[i] = 0xFF000000u | uint32_t{rgb768[3 * i]} << 16 | uint32_t{rgb768[3 * i + 1]} << 8 |
               rgb768[3 * i + 2];
  const size_t width = s.columns.size();
  // The last two screen rows expanded to the picture's width: most picture
  // rows repeat one of them.
  std::vector<uint32_t> expanded(2 * width);
  std::vector<uint32_t> colours(static_cast<size_t>(std::max(pitch, 1)));
  int held[2] = {-1, -1};
  // Picture rows go down the screen: the slot to reuse is the one not
  // holding `keep` and holding the upper row.
  auto row_of = [&](int source_row, int keep) -> const uint32_t* {
    for (int i = 0; i < 2; ++i)
      if (held[i] == source_row) return expanded.data() + i * width;
    const int slot = held[0] == keep ? 1 : held[1] == keep ? 0 : (held[0] <= held[1] ? 0 : 1);
    held[slot] = source_row;
    const uint8_t* row = indices + static_cast<size_t>(source_row) * pitch;
    for (int x = 0; x < pitch; ++x) colours[static_cast<size_t>(x)] = table[row[x]];
    uint32_t* line = expanded.data() + slot * width;
    ExpandRow(s, colours.data(), line);
    return line;
  };
  for (int y = rows.first; y < rows.end; ++y) {
    const Tap& t = s.rows[static_cast<size_t>(y)];
    uint32_t* dst = out + static_cast<size_t>(y - rows.first) * out_pitch;
    const uint32_t* a = row_of(t.first, -2);
    if (t.weight == 0) {
      std::memcpy(dst, a, width * sizeof(uint32_t));
    } else {
      BlendRows(a, row_of(t.second, t.first), static_cast<uint32_t>(t.weight), width, dst);
    }
  }
}

RowBand ChangedRows(int width, int height, int pitch, const uint8_t* now, const uint8_t* before) {
  auto differs = [&](int y) {
    const size_t at = static_cast<size_t>(y) * pitch;
    return std::memcmp(now + at, before + at, static_cast<size_t>(width)) != 0;
  };
  RowBand band;
  while (band.first < height && !differs(band.first)) ++band.first;
  if (band.first == height) return {height, height};
  band.end = height;
  while (!differs(band.end - 1)) --band.end;
  return band;
}

}  // namespace platform::sdl
