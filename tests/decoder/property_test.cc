// Random payloads, whole, damaged or cut short, drawn at random places with
// random clips: nothing outside the clip bounds changes, nothing outside the
// payload is read (under the address sanitizer), and the line codecs draw
// exactly what a pixel-at-a-time reading of the same bytes gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "payload.h"

using namespace dtest;

namespace {

class Gen {
 public:
  // `side`: the usual object size; `typical`: the usual skip and literal size.
  explicit Gen(uint32_t seed, int side = 40, int typical = 6)
      : side_(side), typical_(typical), rng_(seed) {}
  int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  bool Chance(int percent) { return Int(0, 99) < percent; }
  uint8_t Byte() { return static_cast<uint8_t>(Int(0, 255)); }
  // A count that is usually small but sometimes wild.
  int Count(int typical) { return Chance(90) ? Int(0, typical) : Int(0, 65535); }

  Bytes Lines(int codec, int height) {
    Bytes out;
    for (int row = 0; row < height; ++row) {
      Bytes body;
      for (int fields = Int(0, 8); fields > 0; --fields) {
        if (codec == 1 || codec == 2 || codec == 3) {
          uint8_t c = Byte();
          body.push_back(c);
          int n = (c & 1) ? 1 : (c >> 1) + 1;
          for (int i = 0; i < n; ++i) body.push_back(Byte());
        } else if (codec == 23) {
          body.push_back(static_cast<uint8_t>(Count(typical_)));
          body.push_back(static_cast<uint8_t>(Count(typical_)));
        } else {
          Put16(body, Count(typical_));
          int n = Count(typical_);
          Put16(body, n);
          for (int i = 0; i <= std::min(n, 300); ++i) body.push_back(Byte());
        }
      }
      int length = Chance(90) ? static_cast<int>(body.size()) : Count(40);
      Put16(out, length);
      Append(out, body);
    }
    return out;
  }

  Bytes Payload(int codec) {
    int width = Chance(90) ? Int(0, side_) : Int(0, 65535);
    int height = Chance(90) ? Int(0, side_) : Int(0, 65535);
    if (codec == 37 && Chance(80)) {
      width = Int(0, 64);
      height = Int(0, 64);
    }
    int param = 0;
    if (codec == 2) param = Chance(50) ? 0 : 1;
    if (codec == 23) param = Chance(30) ? 256 : (Chance(50) ? Int(257, 400) : Int(-300, 255));
    Bytes p = Header(static_cast<uint8_t>(codec), Int(-50, 50), Int(-50, 50), width, height, param);
    int lines = std::min(height, 60);
    if (codec == 23 && param == 256)
      for (int i = 0; i < 256; ++i) p.push_back(Byte());
    if (codec == 37) {
      p.push_back(static_cast<uint8_t>(Int(0, 5)));
      p.push_back(static_cast<uint8_t>(Chance(95) ? Int(0, 2) : Int(3, 255)));
      Put16(p, Chance(50) ? 0 : Int(0, 4));
      Put32(p, static_cast<uint32_t>(Chance(80) ? Int(0, 5000) : Int(0, 300000)));
      Put32(p, 0);
      p.push_back(static_cast<uint8_t>(Int(0, 7)));
      p.insert(p.end(), 3, 0);
      for (int n = Int(0, 3000); n > 0; --n) p.push_back(Chance(30) ? 0xFD + Int(0, 2) : Byte());
    } else if (codec == 45) {
      Put16(p, 0);
      bool tables = Chance(30);
      Put16(p, tables ? 0 : 1);
      p.push_back(Chance(90) ? 1 : Byte());
      p.push_back(0);
      if (tables) {
        for (int i = 0; i < 768; ++i) p.push_back(Byte());
        int filled = 0;
        while (filled < 32768 && Chance(99)) {
          int n = Int(0, 255) * 3;
          p.push_back(static_cast<uint8_t>(std::min(n, 255)));
          p.push_back(Byte());
          filled += std::min(n, 255);
        }
      }
      for (int records = Int(0, 60); records > 0; --records) {
        Put16(p, Int(-20, 20));
        p.push_back(static_cast<uint8_t>(Int(0, 3)));
        p.push_back(static_cast<uint8_t>(Int(0, 30)));
      }
    } else if (codec == 20 || (codec == 2 && param == 0)) {
      for (int n = Int(0, codec == 20 ? 2000 : 200); n > 0; --n) p.push_back(Byte());
    } else {
      Append(p, Lines(codec, lines));
    }
    if (Chance(20)) {  // damage
      for (int flips = Int(1, 8); flips > 0 && p.size() > 14; --flips)
        p[Int(14, static_cast<int>(p.size()) - 1)] = Byte();
    }
    if (Chance(40)) p.resize(Int(0, static_cast<int>(p.size())));  // cut short
    return p;
  }

 private:
  int side_, typical_;
  std::mt19937 rng_;
};

std::string CodecName(const ::testing::TestParamInfo<int>& info) {
  return "Codec" + std::to_string(info.param);
}

class RandomPayloads : public ::testing::TestWithParam<int> {
 protected:
  DecoderRun run_;
};

TEST_P(RandomPayloads, StayInsideTheClipAndThePayload) {
  const int codec = GetParam();
  Gen g(1234u + static_cast<uint32_t>(codec));
  for (int round = 0; round < 1500; ++round) {
    Bytes bytes = g.Payload(codec);
    // An exact heap block, so any read past it is caught.
    size_t n = bytes.size();
    std::unique_ptr<uint8_t[]> payload(new uint8_t[std::max<size_t>(n, 1)]);
    std::copy(bytes.begin(), bytes.end(), payload.get());
    int w = g.Int(1, 48), h = g.Int(1, 48);
    if (codec == 37 && g.Chance(10)) {
      w = 320;
      h = 200;
    }
    Canvas c(w, h, 0xEE);
    ClipRect clip{static_cast<int16_t>(g.Int(-10, w + 5)), static_cast<int16_t>(g.Int(-10, h + 5)),
                  static_cast<int16_t>(g.Int(-5, w + 20)), static_cast<int16_t>(g.Int(-5, h + 20))};
    bool use_clip = g.Chance(70);
    uint16_t flags = static_cast<uint16_t>(g.Int(0, 0xFFFF) & ~DrawAbsolute);
    if (g.Chance(50)) flags &= DrawOpaque | DrawMirrorX | DrawMirrorY | DrawLateFrame;
    int16_t x = static_cast<int16_t>(g.Int(-60, 60)), y = static_cast<int16_t>(g.Int(-60, 60));
    // Sometimes a ghost-style call: the codecs are told another size.
    uint32_t told = g.Chance(30) ? static_cast<uint32_t>(g.Int(0, 100000)) : static_cast<uint32_t>(n);
    int16_t result = DrawObjectWithin(c.surface(), use_clip ? &clip : nullptr, x, y, flags,
                                      payload.get(), told, static_cast<uint32_t>(n), g.Byte(), g.Byte());
    ASSERT_GE(result, -1);
    ASSERT_LE(result, 1);
    ASSERT_TRUE(c.GuardsIntact()) << "codec " << codec << " round " << round;
    Area area(c, use_clip ? &clip : nullptr);
    for (int py = 0; py < h; ++py)
      for (int px = 0; px < w; ++px)
        ASSERT_TRUE(area.Has(px, py) || c.at(px, py) == 0xEE) << "codec " << codec << " round " << round;
  }
}

INSTANTIATE_TEST_SUITE_P(EveryCodec, RandomPayloads, ::testing::Values(1, 2, 3, 20, 21, 23, 37, 44, 45),
                         CodecName);


// --- The line codecs read one pixel at a time, straight from the format.
// Source pixels of one line, up to `limit`: -1 keeps the picture, -2 is a
// shaded pixel, else the value. The line ends where its bytes end.
std::vector<int> ExpandLine(int codec, const uint8_t* p, const uint8_t* e, int limit, bool opaque) {
  std::vector<int> out;
  auto full = [&] { return static_cast<int>(out.size()) >= limit; };
  bool skip = true;
  while (!full()) {
    if (codec == 1 || codec == 3) {
      if (p == e) break;
      int c = *p++, n = (c >> 1) + 1;
      if (c & 1) {
        if (p == e) break;
        int v = *p++;
        out.insert(out.end(), n, (v == 0 && !opaque) ? -1 : v);
      } else {
        for (int i = 0; i < n && p != e; ++i) out.push_back(*p++);
      }
    } else {
      int field = codec == 23 ? 1 : 2;
      if (e - p < field) break;
      int n = field == 1 ? *p : ReadLE16(p);
      p += field;
      if (skip || codec == 23) {
        out.insert(out.end(), n, skip ? -1 : -2);
      } else {
        for (int i = 0; i <= n && p != e; ++i) out.push_back(*p++);
      }
      skip = !skip;
    }
  }
  return out;
}

// The picture as the format says the object draws it.
void ModelDraw(Canvas& c, int codec, const Bytes& payload, int x, int y, uint16_t flags,
               const ClipRect* clip, uint8_t tint, uint8_t fill) {
  ObjectHeader h = ReadObjectHeader(payload.data());
  int width = static_cast<int16_t>(h.width), height = static_cast<int16_t>(h.height);
  Area a(c, clip);
  bool mirror_x = codec == 1 && (flags & DrawMirrorX);
  bool mirror_y = codec == 1 && (flags & DrawMirrorY);
  bool opaque = codec == 3 || (codec == 1 && !mirror_x && !mirror_y && (flags & DrawOpaque));
  if (codec == 44 && (flags & DrawOpaque))
    for (int row = std::max(y, a.top); row < std::min(y + height, a.bottom); ++row)
      for (int col = std::max(x, a.left); col < std::min(x + width, a.right); ++col) c.at(col, row) = fill;
  int param = static_cast<int16_t>(h.param);
  const uint8_t* p = payload.data() + kObjectHeaderSize;
  const uint8_t* end = payload.data() + payload.size();
  for (int line = 0; line < height && end - p >= 2 && width > 0; ++line) {
    int length = ReadLE16(p);
    const uint8_t* begin = p + 2;
    p = end - begin < length ? end : begin + length;
    int row = mirror_y ? y + height - 1 - line : y + line;
    if (row < a.top || row >= a.bottom) continue;
    std::vector<int> pixels = ExpandLine(codec, begin, p, width, opaque);
    for (int i = 0; i < std::min<int>(width, static_cast<int>(pixels.size())); ++i) {
      int col = mirror_x ? x + width - 1 - i : x + i;
      if (col < a.left || col >= a.right || pixels[i] == -1) continue;
      uint8_t& d = c.at(col, row);
      if (pixels[i] == -2) {
        d = static_cast<uint8_t>(d + param);  // offset mode only here
      } else {
        d = static_cast<uint8_t>(codec == 44 ? pixels[i] + tint - 1 : pixels[i]);
      }
    }
  }
}

class LineCodecs : public ::testing::TestWithParam<int> {
 protected:
  DecoderRun run_;
};

TEST_P(LineCodecs, DrawWhatTheFormatSays) {
  const int codec = GetParam();
  Gen g(99u + static_cast<uint32_t>(codec), 90, 40);
  for (int round = 0; round < 1000; ++round) {
    Bytes p = g.Payload(codec);
    if (p.size() < static_cast<size_t>(kObjectHeaderSize)) continue;
    if (codec == 23) {  // offset mode: the table is process state
      int param = g.Int(-300, 255);
      p[12] = static_cast<uint8_t>(param);
      p[13] = static_cast<uint8_t>(param >> 8);
    }
    int w = g.Int(1, 100), h = g.Int(1, 40);
    Canvas got(w, h), want(w, h);
    for (int i = 0; i < w * h; ++i) got.at(i % w, i / w) = want.at(i % w, i / w) = g.Byte();
    ClipRect clip{static_cast<int16_t>(g.Int(-10, w)), static_cast<int16_t>(g.Int(-10, h)),
                  static_cast<int16_t>(g.Int(0, w + 20)), static_cast<int16_t>(g.Int(0, h + 20))};
    const ClipRect* use = g.Chance(60) ? &clip : nullptr;
    uint16_t flags = static_cast<uint16_t>(DrawAbsolute | g.Int(0, 3) * DrawMirrorX |
                                           (g.Chance(40) ? DrawOpaque : 0));
    int x = g.Int(-100, 100), y = g.Int(-40, 40);
    uint8_t tint = g.Byte(), fill = g.Byte();
    Draw(got, p, static_cast<int16_t>(x), static_cast<int16_t>(y), flags, use, tint, fill);
    ModelDraw(want, codec, p, x, y, flags, use, tint, fill);
    ASSERT_EQ(got.Pixels(), want.Pixels()) << "codec " << codec << " round " << round;
  }
}

INSTANTIATE_TEST_SUITE_P(Lines, LineCodecs, ::testing::Values(1, 3, 21, 23, 44), CodecName);

}  // namespace
