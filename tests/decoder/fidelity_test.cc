// Fidelity checks of the decoder against independent, straight-from-the-format
// models: every motion vector of the three delta-tile tables, and whole
// sequences of delta-tile frames (raw, run-length and block frames, buffer
// switches, drops, refused frames, vectors reaching into the margins) drawn
// next to a byte-for-byte model of the codec's memory.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <random>
#include <vector>

#include "payload.h"

using namespace dtest;

namespace {

// Table 1, entries 0 to 254 as x,y.
constexpr const char* kListedTable1 =
    "0,0 -8,-29 8,-29 -18,-25 17,-25 0,-23 -6,-22 6,-22 -13,-19 12,-19 0,-18 25,-18 "
    "-25,-17 -5,-17 5,-17 -10,-15 10,-15 0,-14 -4,-13 4,-13 19,-13 -19,-12 -8,-11 -2,-11 "
    "0,-11 2,-11 8,-11 -15,-10 -4,-10 4,-10 15,-10 -6,-9 -1,-9 1,-9 6,-9 -29,-8 "
    "-11,-8 -8,-8 -3,-8 3,-8 8,-8 11,-8 29,-8 -5,-7 -2,-7 0,-7 2,-7 5,-7 "
    "-22,-6 -9,-6 -6,-6 -3,-6 -1,-6 1,-6 3,-6 6,-6 9,-6 22,-6 -17,-5 -7,-5 "
    "-4,-5 -2,-5 0,-5 2,-5 4,-5 7,-5 17,-5 -13,-4 -10,-4 -5,-4 -3,-4 -1,-4 "
    "0,-4 1,-4 3,-4 5,-4 10,-4 13,-4 -8,-3 -6,-3 -4,-3 -3,-3 -2,-3 -1,-3 "
    "0,-3 1,-3 2,-3 4,-3 6,-3 8,-3 -11,-2 -7,-2 -5,-2 -3,-2 -2,-2 -1,-2 "
    "0,-2 1,-2 2,-2 3,-2 5,-2 7,-2 11,-2 -9,-1 -6,-1 -4,-1 -3,-1 -2,-1 "
    "-1,-1 0,-1 1,-1 2,-1 3,-1 4,-1 6,-1 9,-1 -31,0 -23,0 -18,0 -14,0 "
    "-11,0 -7,0 -5,0 -4,0 -3,0 -2,0 -1,0 0,-31 1,0 2,0 3,0 4,0 "
    "5,0 7,0 11,0 14,0 18,0 23,0 31,0 -9,1 -6,1 -4,1 -3,1 -2,1 "
    "-1,1 0,1 1,1 2,1 3,1 4,1 6,1 9,1 -11,2 -7,2 -5,2 -3,2 "
    "-2,2 -1,2 0,2 1,2 2,2 3,2 5,2 7,2 11,2 -8,3 -6,3 -4,3 "
    "-2,3 -1,3 0,3 1,3 2,3 3,3 4,3 6,3 8,3 -13,4 -10,4 -5,4 "
    "-3,4 -1,4 0,4 1,4 3,4 5,4 10,4 13,4 -17,5 -7,5 -4,5 -2,5 "
    "0,5 2,5 4,5 7,5 17,5 -22,6 -9,6 -6,6 -3,6 -1,6 1,6 3,6 "
    "6,6 9,6 22,6 -5,7 -2,7 0,7 2,7 5,7 -29,8 -11,8 -8,8 -3,8 "
    "3,8 8,8 11,8 29,8 -6,9 -1,9 1,9 6,9 -15,10 -4,10 4,10 15,10 "
    "-8,11 -2,11 0,11 2,11 8,11 19,12 -19,13 -4,13 4,13 0,14 -10,15 10,15 "
    "-5,17 5,17 25,17 -25,18 0,18 -12,19 13,19 -6,22 6,22 0,23 -17,25 18,25 "
    "-8,29 8,29 0,31 ";
// Table 2, entries 0 to 254 as x,y.
constexpr const char* kListedTable2 =
    "0,0 -6,-22 6,-22 -13,-19 12,-19 0,-18 -5,-17 5,-17 -10,-15 10,-15 0,-14 -4,-13 "
    "4,-13 19,-13 -19,-12 -8,-11 -2,-11 0,-11 2,-11 8,-11 -15,-10 -4,-10 4,-10 15,-10 "
    "-6,-9 -1,-9 1,-9 6,-9 -11,-8 -8,-8 -3,-8 0,-8 3,-8 8,-8 11,-8 -5,-7 "
    "-2,-7 0,-7 2,-7 5,-7 -22,-6 -9,-6 -6,-6 -3,-6 -1,-6 1,-6 3,-6 6,-6 "
    "9,-6 22,-6 -17,-5 -7,-5 -4,-5 -2,-5 -1,-5 0,-5 1,-5 2,-5 4,-5 7,-5 "
    "17,-5 -13,-4 -10,-4 -5,-4 -3,-4 -2,-4 -1,-4 0,-4 1,-4 2,-4 3,-4 5,-4 "
    "10,-4 13,-4 -8,-3 -6,-3 -4,-3 -3,-3 -2,-3 -1,-3 0,-3 1,-3 2,-3 3,-3 "
    "4,-3 6,-3 8,-3 -11,-2 -7,-2 -5,-2 -4,-2 -3,-2 -2,-2 -1,-2 0,-2 1,-2 "
    "2,-2 3,-2 4,-2 5,-2 7,-2 11,-2 -9,-1 -6,-1 -5,-1 -4,-1 -3,-1 -2,-1 "
    "-1,-1 0,-1 1,-1 2,-1 3,-1 4,-1 5,-1 6,-1 9,-1 -23,0 -18,0 -14,0 "
    "-11,0 -7,0 -5,0 -4,0 -3,0 -2,0 -1,0 0,-23 1,0 2,0 3,0 4,0 "
    "5,0 7,0 11,0 14,0 18,0 23,0 -9,1 -6,1 -5,1 -4,1 -3,1 -2,1 "
    "-1,1 0,1 1,1 2,1 3,1 4,1 5,1 6,1 9,1 -11,2 -7,2 -5,2 "
    "-4,2 -3,2 -2,2 -1,2 0,2 1,2 2,2 3,2 4,2 5,2 7,2 11,2 "
    "-8,3 -6,3 -4,3 -3,3 -2,3 -1,3 0,3 1,3 2,3 3,3 4,3 6,3 "
    "8,3 -13,4 -10,4 -5,4 -3,4 -2,4 -1,4 0,4 1,4 2,4 3,4 5,4 "
    "10,4 13,4 -17,5 -7,5 -4,5 -2,5 -1,5 0,5 1,5 2,5 4,5 7,5 "
    "17,5 -22,6 -9,6 -6,6 -3,6 -1,6 1,6 3,6 6,6 9,6 22,6 -5,7 "
    "-2,7 0,7 2,7 5,7 -11,8 -8,8 -3,8 0,8 3,8 8,8 11,8 -6,9 "
    "-1,9 1,9 6,9 -15,10 -4,10 4,10 15,10 -8,11 -2,11 0,11 2,11 8,11 "
    "19,12 -19,13 -4,13 4,13 0,14 -10,15 10,15 -5,17 5,17 0,18 -12,19 13,19 "
    "-6,22 6,22 0,23 ";

using Vector = std::array<int, 2>;

std::vector<Vector> ParseTable(const char* text) {
  std::vector<Vector> out;
  int x, y, used;
  while (std::sscanf(text, " %d,%d%n", &x, &y, &used) == 2) {
    out.push_back({x, y});
    text += used;
  }
  return out;
}

const std::vector<Vector>& VectorTable(int table) {
  static const std::vector<Vector> tables[3] = {
      [] {
        const int steps[16] = {0, 1, 2, 3, 5, 8, 13, 21, -1, -2, -3, -5, -8, -13, -17, -21};
        std::vector<Vector> t;
        for (int i = 0; i < 255; ++i) t.push_back({steps[i % 16], steps[i / 16]});
        return t;
      }(),
      ParseTable(kListedTable1), ParseTable(kListedTable2)};
  return tables[table];
}

Bytes Frame(int method, int table, int sequence, uint32_t length, int frame_flags,
            const Bytes& data, int width = 320, int height = 200, int x = 0, int y = 0) {
  Bytes p = Header(37, x, y, width, height);
  p.push_back(static_cast<uint8_t>(method));
  p.push_back(static_cast<uint8_t>(table));
  Put16(p, sequence);
  Put32(p, length);
  Put32(p, 0);
  p.push_back(static_cast<uint8_t>(frame_flags));
  p.insert(p.end(), 3, 0);
  Append(p, data);
  return p;
}

TEST(FidelityVectors, ListedTablesAreSymmetric) {
  for (int t = 1; t <= 2; ++t) {
    const auto& v = VectorTable(t);
    ASSERT_EQ(v.size(), 255u);
    EXPECT_EQ(v[0], (Vector{0, 0}));
    for (int k = 1; k <= 126; ++k)
      EXPECT_EQ(v[254 - k], (Vector{-v[k][0], -v[k][1]})) << "table " << t << " entry " << k;
  }
  EXPECT_EQ(VectorTable(1)[127], (Vector{0, -31}));
  EXPECT_EQ(VectorTable(2)[127], (Vector{0, -23}));
}

// Opcode i moves the block at (32 + 4 (i % 64), 32 + 4 (i / 64)); a key frame
// whose pixels hold their column (or row), modulo 256, shows each vector's x
// (or y).
TEST(FidelityVectors, EveryEntryOfEveryTable) {
  DecoderRun run;
  for (int table = 0; table < 3; ++table) {
    for (int axis = 0; axis < 2; ++axis) {
      Canvas c(320, 200);
      Bytes key;
      for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 320; ++x) key.push_back(static_cast<uint8_t>(axis == 0 ? x : y));
      ASSERT_EQ(Draw(c, Frame(0, table, 0, 64000, 0, key)), 0);
      Bytes blocks(80 * 50, 0);  // opcode 0: vector (0, 0) in every table
      for (int i = 0; i < 255; ++i)
        blocks[(8 + i / 64) * 80 + 8 + i % 64] = static_cast<uint8_t>(i);
      ASSERT_EQ(Draw(c, Frame(3, table, 1, 0, 0, blocks)), 0);
      for (int i = 0; i < 255; ++i) {
        int bx = 32 + 4 * (i % 64), by = 32 + 4 * (i / 64);
        int want = VectorTable(table)[i][axis];
        for (int r = 0; r < 4; ++r)
          for (int col = 0; col < 4; ++col) {
            int got = static_cast<int8_t>(c.at(bx + col, by + r) - (axis == 0 ? bx + col : by + r));
            ASSERT_EQ(got, want) << "table " << table << " entry " << i << " axis " << axis;
          }
      }
    }
  }
}

// The codec as the format describes it, over one 207360-byte allocation
// laid out as 19840 bytes, buffer 0, 39680 bytes, buffer 1, 19840 bytes.
class DeltaModel {
 public:
  static constexpr int kW = 320, kH = 200;
  int Draw(Canvas& c, const Bytes& p, int x, int y, uint16_t flags, const ClipRect* clip) {
    const uint8_t* h = p.data();
    int width = h[6] | (h[7] << 8), height = h[8] | (h[9] << 8);
    if (width > kW || height > kH) return -1;
    x = static_cast<int16_t>(x + static_cast<int16_t>(h[2] | (h[3] << 8)));
    y = static_cast<int16_t>(y + static_cast<int16_t>(h[4] | (h[5] << 8)));
    const uint8_t* f = h + 14;
    int method = f[0], table = f[1];
    int16_t sequence = static_cast<int16_t>(f[2] | (f[3] << 8));
    uint32_t length = f[4] | (f[5] << 8) | (f[6] << 16) | (static_cast<uint32_t>(f[7]) << 24);
    int frame_flags = f[12];
    const uint8_t* d = f + 16;
    int bw = (width + 3) / 4, bh = (height + 3) / 4, stride = 4 * bw;
    size_t cur = kStart[current_];
    if (method == 0 || method == 2) {
      size_t n = std::min<size_t>(length, mem_.size() - cur), i = 0;
      while (i < n) {
        if (method == 0) {
          mem_[cur + i] = *d++;
          ++i;
          continue;
        }
        int c0 = *d++, count = (c0 >> 1) + 1;
        uint8_t v = (c0 & 1) ? *d++ : 0;
        for (int k = 0; k < count; ++k) {
          uint8_t b = (c0 & 1) ? v : *d++;
          if (i < n) mem_[cur + i++] = b;
        }
      }
      for (size_t k = 0; k < mem_.size(); ++k)
        if (k < cur || k >= cur + n) mem_[k] = 0;
    } else if (method == 3 || method == 4) {
      bool in_order = sequence == 0 || static_cast<int16_t>(sequence - last_) == 1;
      bool odd = sequence & 1, keep = frame_flags & 1;
      if (in_order && odd && keep && (flags & DrawLateFrame)) {
        last_ = sequence;
        current_ ^= 1;
        return 1;
      }
      if (in_order) {
        if (odd || !keep) current_ ^= 1;
        cur = kStart[current_];
        size_t prev = kStart[current_ ^ 1];
        int limit = (frame_flags & 4) ? 0xFD : 0xFF;
        int run = 0;
        for (int k = 0; k < bw * bh; ++k) {
          size_t at = static_cast<size_t>((k / bw) * 4 * stride + (k % bw) * 4);
          auto pixel = [&](int r, int col) -> uint8_t& {
            return mem_[cur + at + r * stride + col];
          };
          auto copy = [&](long offset) {
            for (int r = 0; r < 4; ++r)
              for (int col = 0; col < 4; ++col)
                pixel(r, col) = mem_[prev + at + offset + r * stride + col];
          };
          if (run > 0) {
            --run;
            copy(0);
            continue;
          }
          int b = *d++;
          if (method == 4 && b == 0) {
            run = *d++;
            copy(0);
          } else if (b < limit) {
            const Vector& v = VectorTable(table)[b];
            copy(v[1] * stride + v[0]);
          } else if (b == 0xFF) {
            for (int r = 0; r < 4; ++r)
              for (int col = 0; col < 4; ++col) pixel(r, col) = *d++;
          } else if (b == 0xFD) {
            uint8_t v = *d++;
            for (int r = 0; r < 4; ++r)
              for (int col = 0; col < 4; ++col) pixel(r, col) = v;
          } else {
            uint8_t q[4] = {d[0], d[1], d[2], d[3]};
            d += 4;
            for (int r = 0; r < 4; ++r)
              for (int col = 0; col < 4; ++col) pixel(r, col) = q[(r / 2) * 2 + col / 2];
          }
        }
      }
    }
    last_ = sequence;
    int left = 0, top = 0, right = c.width(), bottom = c.height();
    if (clip != nullptr) {
      left = std::max<int>(clip->left, 0);
      top = std::max<int>(clip->top, 0);
      right = std::min(clip->left + clip->width, c.width());
      bottom = std::min(clip->top + clip->height, c.height());
    }
    for (int r = 0; r < height; ++r)
      for (int col = 0; col < width; ++col) {
        int px = x + col, py = y + r;
        if (px < left || px >= right || py < top || py >= bottom) continue;
        uint8_t v = mem_[kStart[current_] + r * stride + col];
        if (v != 0 || !(frame_flags & 2)) c.at(px, py) = v;
      }
    return 0;
  }

 private:
  static constexpr size_t kStart[2] = {19840, 123520};
  std::vector<uint8_t> mem_ = std::vector<uint8_t>(207360, 0);
  int current_ = 0;
  int16_t last_ = 0;
};

TEST(FidelityDeltaTile, FrameSequencesMatchTheModel) {
  DecoderRun run;
  DeltaModel model;
  Canvas got(320, 200, 0x33), want(320, 200, 0x33);
  // The last sequence number outlives start-up: bring it to 0 on both sides.
  ASSERT_EQ(Draw(got, Frame(1, 0, 0, 0, 0, {})), 0);
  ASSERT_EQ(model.Draw(want, Frame(1, 0, 0, 0, 0, {}), 0, 0, 0, nullptr), 0);
  std::mt19937 rng(37);
  auto rnd = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  int sequence = 0;
  for (int round = 0; round < 600; ++round) {
    bool full = rnd(0, 2) > 0;
    int width = full ? 320 : rnd(1, 320), height = full ? 200 : rnd(1, 200);
    if (rnd(0, 40) == 0) width = 324;
    int blocks = ((width + 3) / 4) * ((height + 3) / 4);
    int method = rnd(0, 9) < 2 ? rnd(0, 2) : rnd(3, 4);
    int table = rnd(0, 2), frame_flags = rnd(0, 7);
    int roll = rnd(0, 19);
    sequence = roll == 0 ? 0 : roll == 1 ? rnd(-40000, 40000) : sequence + 1;
    sequence = static_cast<int16_t>(sequence);
    uint32_t length = 0;
    Bytes data;
    if (method == 0 || method == 2) {
      // Now and then a length past the buffer, into the margin behind it.
      length =
          static_cast<uint32_t>(rnd(0, 9) == 0 ? rnd(0, 90000) : 4 * ((width + 3) / 4) * height);
      uint32_t produced = 0;
      while (produced < length) {
        if (method == 0) {
          data.push_back(static_cast<uint8_t>(rnd(0, 3) == 0 ? 0 : rnd(0, 255)));
          ++produced;
          continue;
        }
        int c = rnd(0, 255), n = (c >> 1) + 1;
        data.push_back(static_cast<uint8_t>(c));
        for (int k = 0; k < ((c & 1) ? 1 : n); ++k)
          data.push_back(static_cast<uint8_t>(rnd(0, 255)));
        produced += n;
      }
    } else {
      for (int k = 0; k < blocks;) {
        int b = rnd(0, 9) < 3 ? 0 : rnd(0, 9) < 2 ? rnd(0xFD, 0xFF) : rnd(0, 255);
        data.push_back(static_cast<uint8_t>(b));
        if (method == 4 && b == 0) {
          int n = rnd(0, 5) == 0 ? rnd(0, 255) : rnd(0, 8);
          data.push_back(static_cast<uint8_t>(n));
          k += n + 1;
          continue;
        }
        int extra = b == 0xFF                        ? 16
                    : (frame_flags & 4) && b == 0xFD ? 1
                    : (frame_flags & 4) && b == 0xFE ? 4
                                                     : 0;
        for (int e = 0; e < extra; ++e)
          data.push_back(static_cast<uint8_t>(rnd(0, 3) == 0 ? 0 : rnd(0, 255)));
        ++k;
      }
    }
    Bytes p = Frame(method, table, sequence, length, frame_flags, data, width, height, rnd(-60, 60),
                    rnd(-60, 60));
    ClipRect clip{static_cast<int16_t>(rnd(-20, 200)), static_cast<int16_t>(rnd(-20, 150)),
                  static_cast<int16_t>(rnd(0, 340)), static_cast<int16_t>(rnd(0, 220))};
    const ClipRect* use = rnd(0, 1) ? &clip : nullptr;
    int16_t x = static_cast<int16_t>(rnd(-40, 40)), y = static_cast<int16_t>(rnd(-40, 40));
    uint16_t flags = rnd(0, 1) ? DrawLateFrame : 0;
    int expect = model.Draw(want, p, x, y, flags, use);
    ASSERT_EQ(DrawObject(got.surface(), use, x, y, flags, p.data(), static_cast<uint32_t>(p.size()),
                         1, 0),
              expect)
        << "round " << round;
    ASSERT_EQ(got.Pixels(), want.Pixels()) << "round " << round << " method " << method;
  }
}

// Codecs 2 (point list) and 45 (smoothing) next to models of their records.
class PointModels {
 public:
  void DrawPoints(Canvas& c, const Bytes& p, int x, int y, const ClipRect* clip) {
    int left, top, right, bottom;
    Bounds(c, clip, left, top, right, bottom);
    for (size_t k = 0; k < (p.size() - 14) / 4; ++k) {
      const uint8_t* r = p.data() + 14 + 4 * k;
      x = static_cast<int16_t>(x + static_cast<int16_t>(r[0] | (r[1] << 8)));
      y = static_cast<int16_t>(y + r[2]);
      if (x >= left && x < right && y >= top && y < bottom) c.at(x, y) = r[3];
    }
  }
  void DrawSmoothing(Canvas& c, const Bytes& p, int x, int y, const ClipRect* clip) {
    const uint8_t* d = p.data() + 14;
    if (d[4] != 1) return;
    size_t at = 20;
    if ((d[2] | (d[3] << 8)) == 0) {
      std::copy(p.begin() + 20, p.begin() + 20 + 768, palette_.begin());
      at += 768;
      for (int filled = 0; filled < 32768; at += 2)
        for (int k = 0; k < p[at] && filled < 32768; ++k) table_[filled++] = p[at + 1];
    }
    int left, top, right, bottom;
    Bounds(c, clip, left, top, right, bottom);
    for (size_t k = 0; k < (p.size() - at) / 4; ++k) {
      const uint8_t* r = p.data() + at + 4 * k;
      x = static_cast<int16_t>(x + static_cast<int16_t>(r[0] | (r[1] << 8)));
      y = static_cast<int16_t>(y + r[2]);
      for (int i = 0; i <= r[3]; ++i) {
        int px = x + i;
        if (px < left + 1 || y < top + 1 || px >= right - 1) continue;
        if (y >= bottom - 1) return;
        int sum[3] = {0, 0, 0};
        for (uint8_t n : {c.at(px - 1, y), c.at(px + 1, y), c.at(px, y - 1), c.at(px, y + 1)})
          for (int j = 0; j < 3; ++j) sum[j] += palette_[3 * n + j];
        c.at(px, y) = table_[(sum[0] / 32) * 1024 + (sum[1] / 32) * 32 + sum[2] / 32];
      }
      x = static_cast<int16_t>(x + r[3]);
    }
  }

 private:
  static void Bounds(const Canvas& c, const ClipRect* clip, int& left, int& top, int& right,
                     int& bottom) {
    left = 0, top = 0, right = c.width(), bottom = c.height();
    if (clip != nullptr) {
      left = std::max<int>(clip->left, 0);
      top = std::max<int>(clip->top, 0);
      right = std::min(clip->left + clip->width, c.width());
      bottom = std::min(clip->top + clip->height, c.height());
    }
  }
  std::array<uint8_t, 768> palette_{};
  std::array<uint8_t, 32768> table_{};
};

TEST(FidelityPoints, PointListsAndSmoothingMatchTheModels) {
  DecoderRun run;
  PointModels model;
  std::mt19937 rng(45);
  auto rnd = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int round = 0; round < 400; ++round) {
    bool smooth = round % 2 == 1;
    // The smoothing tables are process state: the first object brings them.
    bool tables = round == 1 || (smooth && rnd(0, 4) == 0);
    Bytes p = Header(smooth ? 45 : 2, rnd(-10, 10), rnd(-10, 10), 0, 0);
    if (smooth) {
      Put16(p, 0);
      Put16(p, tables ? 0 : rnd(1, 3));
      p.push_back(static_cast<uint8_t>(rnd(0, 9) == 0 ? rnd(0, 2) : 1));
      p.push_back(0);
      if (tables) {
        for (int k = 0; k < 768; ++k) p.push_back(static_cast<uint8_t>(rnd(0, 255)));
        for (int filled = 0; filled < 32768;) {
          int n = rnd(0, 255);
          p.push_back(static_cast<uint8_t>(n));
          p.push_back(static_cast<uint8_t>(rnd(0, 255)));
          filled += n;
        }
      }
    }
    for (int k = rnd(0, 40); k > 0; --k) {
      Put16(p, rnd(0, 9) == 0 ? rnd(-32768, 32767) : rnd(-20, 12));
      p.push_back(static_cast<uint8_t>(rnd(0, 9) == 0 ? rnd(0, 255) : rnd(0, 3)));
      p.push_back(static_cast<uint8_t>(smooth ? rnd(0, 12) : rnd(0, 255)));
    }
    p.resize(p.size() + static_cast<size_t>(rnd(0, 3)), 0);  // a partial record is not read
    Canvas got(60, 40), want(60, 40);
    for (int i = 0; i < 60 * 40; ++i)
      got.at(i % 60, i / 60) = want.at(i % 60, i / 60) = rnd(0, 255);
    ClipRect clip{static_cast<int16_t>(rnd(-5, 40)), static_cast<int16_t>(rnd(-5, 30)),
                  static_cast<int16_t>(rnd(0, 70)), static_cast<int16_t>(rnd(0, 50))};
    const ClipRect* use = rnd(0, 1) ? &clip : nullptr;
    int16_t x = static_cast<int16_t>(rnd(-20, 60)), y = static_cast<int16_t>(rnd(-20, 40));
    ASSERT_EQ(Draw(got, p, x, y, 0, use), 0);
    int hx = static_cast<int16_t>(p[2] | (p[3] << 8)),
        hy = static_cast<int16_t>(p[4] | (p[5] << 8));
    int px = static_cast<int16_t>(x + hx), py = static_cast<int16_t>(y + hy);
    if (smooth) {
      model.DrawSmoothing(want, p, px, py, use);
    } else {
      model.DrawPoints(want, p, px, py, use);
    }
    ASSERT_EQ(got.Pixels(), want.Pixels()) << "round " << round;
  }
}

}  // namespace
