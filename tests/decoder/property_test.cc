// Random payloads, whole or cut short, drawn at random places with random
// clips: nothing outside the clip bounds changes, and (under the address
// sanitizer) nothing outside the payload is read.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>

#include "payload.h"

using namespace dtest;

namespace {

class Gen {
 public:
  explicit Gen(uint32_t seed) : rng_(seed) {}
  int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  bool Chance(int percent) { return Int(0, 99) < percent; }
  uint8_t Byte() { return static_cast<uint8_t>(Int(0, 255)); }
  // A count that is usually small but sometimes wild.
  int Count(int typical) { return Chance(90) ? Int(0, typical) : Int(0, 65535); }

  Bytes Lines(int codec, int height) {
    Bytes out;
    for (int row = 0; row < height; ++row) {
      Bytes body;
      int fields = Int(0, 8);
      for (int f = 0; f < fields; ++f) {
        if (codec == 1 || codec == 2 || codec == 3) {
          uint8_t c = Byte();
          body.push_back(c);
          int n = (c & 1) ? 1 : (c >> 1) + 1;
          for (int i = 0; i < n; ++i) body.push_back(Byte());
        } else if (codec == 23) {
          body.push_back(static_cast<uint8_t>(Count(6)));
          body.push_back(static_cast<uint8_t>(Count(6)));
        } else {
          Put16(body, Count(6));
          int n = Count(6);
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
    int width = Chance(90) ? Int(0, 40) : Int(0, 65535);
    int height = Chance(90) ? Int(0, 40) : Int(0, 65535);
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
      int n = Int(0, 3000);
      for (int i = 0; i < n; ++i) p.push_back(Chance(30) ? 0xFD + Int(0, 2) : Byte());
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
      int records = Int(0, 60);
      for (int i = 0; i < records; ++i) {
        Put16(p, Int(-20, 20));
        p.push_back(static_cast<uint8_t>(Int(0, 3)));
        p.push_back(static_cast<uint8_t>(Int(0, 30)));
      }
    } else if (codec == 20) {
      int n = Int(0, 2000);
      for (int i = 0; i < n; ++i) p.push_back(Byte());
    } else if (codec == 2 && param == 0) {
      int n = Int(0, 200);
      for (int i = 0; i < n; ++i) p.push_back(Byte());
    } else {
      Append(p, Lines(codec, lines));
    }
    if (Chance(20)) {  // damage
      int flips = Int(1, 8);
      for (int i = 0; i < flips && p.size() > 14; ++i) p[Int(14, static_cast<int>(p.size()) - 1)] = Byte();
    }
    if (Chance(40)) p.resize(Int(0, static_cast<int>(p.size())));  // cut short
    return p;
  }

 private:
  std::mt19937 rng_;
};

void Exercise(int codec, uint32_t seed, int rounds) {
  Gen g(seed);
  for (int round = 0; round < rounds; ++round) {
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
    int left = 0, top = 0, right = w, bottom = h;
    if (use_clip) {
      left = std::max<int>(clip.left, 0);
      top = std::max<int>(clip.top, 0);
      right = std::min<int>(clip.left + clip.width, w);
      bottom = std::min<int>(clip.top + clip.height, h);
    }
    for (int py = 0; py < h; ++py)
      for (int px = 0; px < w; ++px) {
        bool inside = px >= left && px < right && py >= top && py < bottom;
        if (!inside) {
          ASSERT_EQ(c.at(px, py), 0xEE) << "codec " << codec << " round " << round;
        }
      }
  }
}

class RandomPayloads : public ::testing::TestWithParam<int> {
 protected:
  DecoderRun run_;
};

TEST_P(RandomPayloads, StayInsideTheClipAndThePayload) {
  Exercise(GetParam(), 1234u + static_cast<uint32_t>(GetParam()), 1500);
}

INSTANTIATE_TEST_SUITE_P(EveryCodec, RandomPayloads,
                         ::testing::Values(1, 2, 3, 20, 21, 23, 37, 44, 45),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return "Codec" + std::to_string(info.param);
                         });

}  // namespace
