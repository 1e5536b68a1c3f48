// Payload builders and a guarded destination picture for the decoder tests.
#pragma once

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <utility>
#include <vector>

#include "decoder/decoder.h"

namespace dtest {

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& b, int v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void Put32(Bytes& b, uint32_t v) {
  Put16(b, static_cast<int>(v & 0xFFFF));
  Put16(b, static_cast<int>(v >> 16));
}
inline void Append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }
inline Bytes Rows(std::initializer_list<Bytes> rows) {
  Bytes b;
  for (const Bytes& r : rows) Append(b, r);
  return b;
}

inline Bytes Header(uint8_t codec, int x, int y, int width, int height, int param = 0) {
  Bytes b{codec, 0};
  for (int v : {x, y, width, height, 0, param}) Put16(b, v);
  return b;
}

// A line of raw field bytes behind its length.
inline Bytes LengthLine(const Bytes& body) {
  Bytes line;
  Put16(line, static_cast<int>(body.size()));
  Append(line, body);
  return line;
}

// A skip-literal line: (skip, literal bytes) pairs.
inline Bytes SkipLitLine(std::initializer_list<std::pair<int, Bytes>> fields) {
  Bytes body;
  for (const auto& [skip, literal] : fields) {
    Put16(body, skip);
    if (literal.empty()) continue;  // a trailing skip
    Put16(body, static_cast<int>(literal.size()) - 1);
    Append(body, literal);
  }
  return LengthLine(body);
}

// A picture with guard bytes before and after its pixels.
class Canvas {
 public:
  static constexpr int kGuard = 256;
  Canvas(int width, int height, uint8_t background = 0xEE)
      : width_(width), height_(height), store_(kGuard * 2 + width * height, kGuardValue) {
    std::fill(store_.begin() + kGuard, store_.end() - kGuard, background);
    surface_ = Surface{store_.data() + kGuard, static_cast<uint16_t>(width),
                       static_cast<uint16_t>(height)};
  }
  const Surface* surface() const { return &surface_; }
  uint8_t& at(int x, int y) { return store_[kGuard + y * width_ + x]; }
  uint8_t at(int x, int y) const { return store_[kGuard + y * width_ + x]; }
  bool GuardsIntact() const {
    auto guard = [](uint8_t v) { return v == kGuardValue; };
    return std::all_of(store_.begin(), store_.begin() + kGuard, guard) &&
           std::all_of(store_.end() - kGuard, store_.end(), guard);
  }
  std::vector<uint8_t> Pixels() const {
    return std::vector<uint8_t>(store_.begin() + kGuard, store_.end() - kGuard);
  }
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  static constexpr uint8_t kGuardValue = 0xA5;
  int width_, height_;
  std::vector<uint8_t> store_;
  Surface surface_;
};

// Where a draw may write: the clip, if any, within the picture.
struct Area {
  Area(const Canvas& c, const ClipRect* clip)
      : left(clip ? std::max<int>(clip->left, 0) : 0),
        top(clip ? std::max<int>(clip->top, 0) : 0),
        right(clip ? std::min(clip->left + clip->width, c.width()) : c.width()),
        bottom(clip ? std::min(clip->top + clip->height, c.height()) : c.height()) {}
  bool Has(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
  int left, top, right, bottom;
};

// Starts the standard codecs for 320 x 200 for the life of a test.
struct DecoderRun {
  DecoderRun() { InitDecoder(kStandardCodecCount, kStandardCodecProcs, kStandardCodecNumbers, 320, 200); }
  ~DecoderRun() { ShutdownDecoder(); }
};

inline int16_t Draw(const Canvas& c, const Bytes& payload, int16_t x = 0, int16_t y = 0,
                    uint16_t flags = 0, const ClipRect* clip = nullptr, uint8_t tint = 1,
                    uint8_t fill = 0) {
  return DrawObject(c.surface(), clip, x, y, flags, payload.data(),
                    static_cast<uint32_t>(payload.size()), tint, fill);
}

}  // namespace dtest
