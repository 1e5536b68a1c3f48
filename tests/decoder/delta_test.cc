// The delta-tile codec: random frame sequences (raw, run-length and block
// frames with every vector of the three tables, buffer switches, drops,
// refused frames, vectors reaching into the margins, clipped and transparent
// shows) next to a byte-for-byte model of the codec's memory. A single wrong
// table entry fails the sequences within a few frames.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <random>
#include <vector>

#include "base/bytes.h"
#include "payload.h"

using namespace dtest;

namespace {

// Entries 1 to 126 of tables 1 and 2 as x,y; entry 127 is (0, -M), 254 is
// (0, M) and entry 254 - k mirrors entry k.
constexpr const char* kListed[2] = {
    "-8,-29 8,-29 -18,-25 17,-25 0,-23 -6,-22 6,-22 -13,-19 12,-19 0,-18 25,-18 -25,-17 -5,-17 "
    "5,-17 -10,-15 10,-15 0,-14 -4,-13 4,-13 19,-13 -19,-12 -8,-11 -2,-11 0,-11 2,-11 8,-11 "
    "-15,-10 -4,-10 4,-10 15,-10 -6,-9 -1,-9 1,-9 6,-9 -29,-8 -11,-8 -8,-8 -3,-8 3,-8 8,-8 11,-8 "
    "29,-8 -5,-7 -2,-7 0,-7 2,-7 5,-7 -22,-6 -9,-6 -6,-6 -3,-6 -1,-6 1,-6 3,-6 6,-6 9,-6 22,-6 "
    "-17,-5 -7,-5 -4,-5 -2,-5 0,-5 2,-5 4,-5 7,-5 17,-5 -13,-4 -10,-4 -5,-4 -3,-4 -1,-4 0,-4 "
    "1,-4 3,-4 5,-4 10,-4 13,-4 -8,-3 -6,-3 -4,-3 -3,-3 -2,-3 -1,-3 0,-3 1,-3 2,-3 4,-3 6,-3 "
    "8,-3 -11,-2 -7,-2 -5,-2 -3,-2 -2,-2 -1,-2 0,-2 1,-2 2,-2 3,-2 5,-2 7,-2 11,-2 -9,-1 -6,-1 "
    "-4,-1 -3,-1 -2,-1 -1,-1 0,-1 1,-1 2,-1 3,-1 4,-1 6,-1 9,-1 -31,0 -23,0 -18,0 -14,0 -11,0 "
    "-7,0 -5,0 -4,0 -3,0 -2,0 -1,0 ",
    "-6,-22 6,-22 -13,-19 12,-19 0,-18 -5,-17 5,-17 -10,-15 10,-15 0,-14 -4,-13 4,-13 19,-13 "
    "-19,-12 -8,-11 -2,-11 0,-11 2,-11 8,-11 -15,-10 -4,-10 4,-10 15,-10 -6,-9 -1,-9 1,-9 6,-9 "
    "-11,-8 -8,-8 -3,-8 0,-8 3,-8 8,-8 11,-8 -5,-7 -2,-7 0,-7 2,-7 5,-7 -22,-6 -9,-6 -6,-6 -3,-6 "
    "-1,-6 1,-6 3,-6 6,-6 9,-6 22,-6 -17,-5 -7,-5 -4,-5 -2,-5 -1,-5 0,-5 1,-5 2,-5 4,-5 7,-5 "
    "17,-5 -13,-4 -10,-4 -5,-4 -3,-4 -2,-4 -1,-4 0,-4 1,-4 2,-4 3,-4 5,-4 10,-4 13,-4 -8,-3 "
    "-6,-3 -4,-3 -3,-3 -2,-3 -1,-3 0,-3 1,-3 2,-3 3,-3 4,-3 6,-3 8,-3 -11,-2 -7,-2 -5,-2 -4,-2 "
    "-3,-2 -2,-2 -1,-2 0,-2 1,-2 2,-2 3,-2 4,-2 5,-2 7,-2 11,-2 -9,-1 -6,-1 -5,-1 -4,-1 -3,-1 "
    "-2,-1 -1,-1 0,-1 1,-1 2,-1 3,-1 4,-1 5,-1 6,-1 9,-1 -23,0 -18,0 -14,0 -11,0 -7,0 -5,0 -4,0 "
    "-3,0 -2,0 -1,0 "};

using Vector = std::array<int, 2>;

std::vector<Vector> MakeTable(int table) {
  std::vector<Vector> t(255, Vector{0, 0});
  if (table == 0) {
    const int steps[16] = {0, 1, 2, 3, 5, 8, 13, 21, -1, -2, -3, -5, -8, -13, -17, -21};
    for (int i = 0; i < 255; ++i) t[i] = {steps[i % 16], steps[i / 16]};
    return t;
  }
  const char* text = kListed[table - 1];
  int used = 0;
  for (int k = 1; k <= 126; ++k, text += used) {
    std::sscanf(text, " %d,%d%n", &t[k][0], &t[k][1], &used);
    t[254 - k] = {-t[k][0], -t[k][1]};
  }
  t[127] = {0, table == 1 ? -31 : -23};
  t[254] = {0, -t[127][1]};
  return t;
}

const Vector& VectorOf(int table, int i) {
  static const std::vector<Vector> tables[3] = {MakeTable(0), MakeTable(1), MakeTable(2)};
  return tables[table][i];
}

Bytes Frame(int method, int table, int sequence, uint32_t length, int frame_flags, const Bytes& data,
            int width = 320, int height = 200, int x = 0, int y = 0) {
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

// The codec as the format describes it, over one 207360-byte allocation
// laid out as 19840 bytes, buffer 0, 39680 bytes, buffer 1, 19840 bytes.
class DeltaModel {
 public:
  int Draw(Canvas& c, const Bytes& p, int x, int y, uint16_t flags, const ClipRect* clip) {
    const uint8_t* h = p.data();
    int width = ReadLE16(h + 6), height = ReadLE16(h + 8);
    if (width > 320 || height > 200) return -1;
    x = static_cast<int16_t>(x + ReadLE16s(h + 2));
    y = static_cast<int16_t>(y + ReadLE16s(h + 4));
    const uint8_t* f = h + 14;
    int method = f[0], table = f[1], frame_flags = f[12];
    int16_t sequence = ReadLE16s(f + 2);
    uint32_t length = ReadLE32(f + 4);
    const uint8_t* d = f + 16;
    int bw = (width + 3) / 4, bh = (height + 3) / 4, stride = 4 * bw;
    if (method == 0 || method == 2) {
      size_t cur = kStart[current_], n = std::min<size_t>(length, mem_.size() - cur), i = 0;
      while (i < n) {
        if (method == 0) {
          mem_[cur + i++] = *d++;
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
        size_t cur = kStart[current_], prev = kStart[current_ ^ 1];
        int limit = (frame_flags & 4) ? 0xFD : 0xFF, run = 0;
        for (int k = 0; k < bw * bh; ++k) {
          size_t at = static_cast<size_t>((k / bw) * 4 * stride + (k % bw) * 4);
          auto block = [&](auto value) {
            for (int r = 0; r < 4; ++r)
              for (int col = 0; col < 4; ++col) mem_[cur + at + r * stride + col] = value(r, col);
          };
          auto copy = [&](long offset) {
            block([&](int r, int col) { return mem_[prev + at + offset + r * stride + col]; });
          };
          int b = run > 0 ? -1 : *d++;
          if (b == -1) {
            --run;
            copy(0);
          } else if (method == 4 && b == 0) {
            run = *d++;
            copy(0);
          } else if (b < limit) {
            copy(VectorOf(table, b)[1] * stride + VectorOf(table, b)[0]);
          } else if (b == 0xFF) {
            block([&](int, int) { return *d++; });
          } else if (b == 0xFD) {
            uint8_t v = *d++;
            block([&](int, int) { return v; });
          } else {
            const uint8_t* q = d;
            d += 4;
            block([&](int r, int col) { return q[(r / 2) * 2 + col / 2]; });
          }
        }
      }
    }
    last_ = sequence;
    Area area(c, clip);
    for (int r = 0; r < height; ++r)
      for (int col = 0; col < width; ++col) {
        int px = x + col, py = y + r;
        if (!area.Has(px, py)) continue;
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

TEST(DeltaTileModel, FrameSequencesMatchTheModel) {
  DecoderRun run;
  DeltaModel model;
  Canvas got(320, 200, 0x33), want(320, 200, 0x33);
  // The last sequence number outlives start-up: bring it to 0 on both sides.
  ASSERT_EQ(Draw(got, Frame(1, 0, 0, 0, 0, {})), 0);
  ASSERT_EQ(model.Draw(want, Frame(1, 0, 0, 0, 0, {}), 0, 0, 0, nullptr), 0);
  std::mt19937 rng(37);
  auto rnd = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto byte = [&] { return static_cast<uint8_t>(rnd(0, 3) == 0 ? 0 : rnd(0, 255)); };
  int sequence = 0;
  for (int round = 0; round < 600; ++round) {
    bool full = rnd(0, 2) > 0;
    int width = full ? 320 : rnd(1, 320), height = full ? 200 : rnd(1, 200);
    if (rnd(0, 40) == 0) width = 324;
    int method = rnd(0, 9) < 2 ? rnd(0, 2) : rnd(3, 4), frame_flags = rnd(0, 7), roll = rnd(0, 19);
    sequence = static_cast<int16_t>(roll == 0 ? 0 : roll == 1 ? rnd(-40000, 40000) : sequence + 1);
    uint32_t length = 0;
    Bytes data;
    if (method == 0 || method == 2) {
      // Now and then a length past the buffer, into the margin behind it.
      length = static_cast<uint32_t>(rnd(0, 9) == 0 ? rnd(0, 90000) : 4 * ((width + 3) / 4) * height);
      for (uint32_t produced = 0; produced < length;) {
        int c = method == 0 ? 0 : rnd(0, 255), n = method == 0 ? 1 : (c >> 1) + 1;
        if (method == 2) data.push_back(static_cast<uint8_t>(c));
        for (int k = 0; k < ((c & 1) ? 1 : n); ++k) data.push_back(byte());
        produced += n;
      }
    } else {
      // Long stretches of one opcode, as panning and still pictures give.
      for (int k = 0, blocks = ((width + 3) / 4) * ((height + 3) / 4), b = 0; k < blocks; ++k) {
        if (k == 0 || rnd(0, 9) < 4)
          b = rnd(0, 9) < 3 ? 0 : rnd(0, 9) < 2 ? rnd(0xFD, 0xFF) : rnd(0, 255);
        data.push_back(static_cast<uint8_t>(b));
        if (method == 4 && b == 0) {
          int n = rnd(0, 5) == 0 ? rnd(0, 255) : rnd(0, 8);
          data.push_back(static_cast<uint8_t>(n));
          k += n;
          continue;
        }
        int extra = b == 0xFF ? 16 : !(frame_flags & 4) ? 0 : b == 0xFD ? 1 : b == 0xFE ? 4 : 0;
        for (int e = 0; e < extra; ++e) data.push_back(byte());
      }
    }
    // A third of the frames are shown unclipped at the origin, as the player shows them.
    bool placed = rnd(0, 2) > 0;
    Bytes p = Frame(method, rnd(0, 2), sequence, length, frame_flags, data, width, height,
                    placed ? rnd(-60, 60) : 0, placed ? rnd(-60, 60) : 0);
    ClipRect clip{static_cast<int16_t>(rnd(-20, 200)), static_cast<int16_t>(rnd(-20, 150)),
                  static_cast<int16_t>(rnd(0, 340)), static_cast<int16_t>(rnd(0, 220))};
    const ClipRect* use = placed && rnd(0, 1) ? &clip : nullptr;
    int16_t x = static_cast<int16_t>(placed ? rnd(-40, 40) : 0);
    int16_t y = static_cast<int16_t>(placed ? rnd(-40, 40) : 0);
    uint16_t flags = rnd(0, 1) ? DrawLateFrame : 0;
    int expect = model.Draw(want, p, x, y, flags, use);
    ASSERT_EQ(Draw(got, p, x, y, flags, use), expect) << "round " << round;
    ASSERT_EQ(got.Pixels(), want.Pixels()) << "round " << round << " method " << method;
  }
  ShutdownDecoder();  // not started: refused
  EXPECT_EQ(CodecDeltaTile(kCodecDraw, got.surface(), nullptr, 0, 0, Frame(1, 0, 0, 0, 0, {}).data(),
                           30, 0, 1, 0),
            -1);
}

}  // namespace
