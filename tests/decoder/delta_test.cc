#include <gtest/gtest.h>

#include <map>

#include "payload.h"

using namespace dtest;

namespace {

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

uint8_t Pattern(int x, int y) { return static_cast<uint8_t>((x * 7 + y * 13) % 251 + 1); }

Bytes PatternPicture(int width, int height) {
  Bytes b;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) b.push_back(Pattern(x, y));
  return b;
}

// A block frame whose blocks are opcode 0 (vector (0, 0) in table 0 for
// method 3) except those given, by block index.
Bytes Blocks(int count, const std::map<int, Bytes>& special, uint8_t filler = 0) {
  Bytes b;
  for (int i = 0; i < count; ++i) {
    auto it = special.find(i);
    if (it != special.end()) {
      Append(b, it->second);
    } else {
      b.push_back(filler);
    }
  }
  return b;
}

// Opcode 0xFF with the bytes 1..16.
Bytes LiteralBlock() {
  Bytes b{0xFF};
  for (int i = 1; i <= 16; ++i) b.push_back(static_cast<uint8_t>(i));
  return b;
}

class DeltaTile : public ::testing::Test {
 protected:
  // Puts the pattern into the current buffer with a raw key frame.
  void Key(Canvas& c, int width = 320, int height = 200) {
    Bytes pic = PatternPicture(width, height);
    ASSERT_EQ(Draw(c, Frame(0, 0, 0, static_cast<uint32_t>(pic.size()), 0, pic, width, height)), 0);
  }
  DecoderRun run_;
};

TEST_F(DeltaTile, NotStartedOrTooLargeIsRefused) {
  Canvas c(320, 200, 0xEE);
  Key(c);
  EXPECT_EQ(Draw(c, Frame(1, 0, 0, 0, 0, {}, 324, 200)), -1);
  EXPECT_EQ(Draw(c, Frame(1, 0, 0, 0, 0, {}, 320, 204)), -1);
  Canvas d(320, 200, 0xEE);
  EXPECT_EQ(Draw(d, Frame(1, 0, 0, 0, 0, {})), 0);  // shows the buffer, unchanged
  EXPECT_EQ(d.Pixels(), PatternPicture(320, 200));
  ShutdownDecoder();
  EXPECT_EQ(CodecDeltaTile(kCodecDraw, d.surface(), nullptr, 0, 0, Frame(1, 0, 0, 0, 0, {}).data(),
                           30, 0, 1, 0),
            -1);
}

TEST_F(DeltaTile, RawKeyThenBlockFrameCopiesFromIt) {
  Canvas c(320, 200, 0xEE);
  Key(c);
  EXPECT_EQ(c.Pixels(), PatternPicture(320, 200));
  // Sequence 1 switches to the zeroed buffer; the untouched blocks stay 0.
  Bytes data = Blocks(2, {});
  Canvas d(320, 200, 0xEE);
  EXPECT_EQ(Draw(d, Frame(3, 0, 1, 0, 0, data)), 0);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 12; ++x) EXPECT_EQ(d.at(x, y), (y < 4 && x < 8) ? Pattern(x, y) : 0);
  }
}

TEST_F(DeltaTile, MotionVectorsOfTheThreeTables) {
  struct Case {
    int table;
    uint8_t op;
    int vx, vy;
  } cases[] = {{0, 1, 1, 0},    {0, 16, 0, 1},    {0, 253, -13, -21}, {1, 1, -8, -29},
               {1, 127, 0, -31}, {1, 254, 0, 31}, {2, 127, 0, -23},  {2, 13, 19, -13}};
  int sequence = 0;
  for (const Case& k : cases) {
    Canvas c(320, 200, 0xEE);
    Key(c);
    sequence = 1;
    // The block at (40, 40) only; every other block copies its own place.
    Bytes data = Blocks(80 * 50, {{10 * 80 + 10, {k.op}}});
    ASSERT_EQ(Draw(c, Frame(3, k.table, sequence, 0, 0, data)), 0);
    for (int y = 40; y < 44; ++y)
      for (int x = 40; x < 44; ++x)
        EXPECT_EQ(c.at(x, y), Pattern(x + k.vx, y + k.vy)) << k.table << "/" << int(k.op);
    EXPECT_EQ(c.at(39, 40), Pattern(39, 40));
  }
}

TEST_F(DeltaTile, ExtendedOpcodesFillOrMove) {
  Canvas c(320, 200, 0xEE);
  Key(c);
  // Without bit 2, 0xFD is vector 253 of table 0: (-13, -21).
  Bytes data = Blocks(80 * 50, {{10 * 80 + 10, {0xFD}}});
  Draw(c, Frame(3, 0, 1, 0, 0, data));
  EXPECT_EQ(c.at(40, 40), Pattern(27, 19));
  Key(c);
  data = Blocks(80 * 50, {{0, {0xFD, 9}}, {1, {0xFE, 1, 2, 3, 4}}, {2, LiteralBlock()}});
  Draw(c, Frame(3, 0, 1, 0, 4, data));
  // Rows of blocks 0..2: a fill, quarters (2 x 2 each), 16 literal bytes.
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 12; ++x) {
      int want = x < 4 ? 9 : x < 8 ? 1 + (y / 2) * 2 + (x - 4) / 2 : 1 + y * 4 + (x - 8);
      EXPECT_EQ(c.at(x, y), want) << x << "," << y;
    }
  EXPECT_EQ(c.at(12, 0), Pattern(12, 0));
}

TEST_F(DeltaTile, RunOfMethod4ContinuesOnTheNextBlockRow) {
  Canvas c(12, 12, 0xEE);
  Key(c, 12, 12);
  // Three blocks a row. Block 0 is filled; blocks 1..5 copy unchanged; the rest filled.
  Bytes data = {0xFD, 50, 0, 4, 0xFD, 60, 0xFD, 61, 0xFD, 62};
  ASSERT_EQ(Draw(c, Frame(4, 0, 1, 0, 4, data, 12, 12)), 0);
  EXPECT_EQ(c.at(0, 0), 50);
  EXPECT_EQ(c.at(4, 0), Pattern(4, 0));
  EXPECT_EQ(c.at(8, 3), Pattern(8, 3));
  EXPECT_EQ(c.at(0, 4), Pattern(0, 4));
  EXPECT_EQ(c.at(11, 7), Pattern(11, 7));
  EXPECT_EQ(c.at(0, 8), 60);
  EXPECT_EQ(c.at(4, 8), 61);
  EXPECT_EQ(c.at(8, 8), 62);
  // In method 3 opcode 0 is vector 0, never a run.
  Key(c, 12, 12);
  data = {0xFD, 50, 0, 0xFD, 70};
  Draw(c, Frame(3, 0, 1, 0, 4, data, 12, 12));
  EXPECT_EQ(c.at(4, 0), Pattern(4, 0));
  EXPECT_EQ(c.at(8, 0), 70);
}

TEST_F(DeltaTile, OutOfOrderFrameIsNotDecoded) {
  Canvas c(8, 4, 0xEE);
  Key(c, 8, 4);
  ASSERT_EQ(Draw(c, Frame(3, 0, 4, 0, 0, Bytes{0xFF}, 8, 4)), 0);  // 0 -> 4: refused
  Bytes fill5 = {0xFD, 5, 0xFD, 5};
  Canvas d(8, 4, 0xEE);
  // Restart the count: sequence 0 is always taken.
  ASSERT_EQ(Draw(d, Frame(3, 0, 0, 0, 4, fill5, 8, 4)), 0);
  for (int s = 1; s <= 5; ++s) ASSERT_EQ(Draw(d, Frame(3, 0, s, 0, 4, fill5, 8, 4)), 0);
  EXPECT_EQ(d.at(0, 0), 5);
  Bytes fill7 = {0xFD, 7, 0xFD, 7};
  ASSERT_EQ(Draw(d, Frame(3, 0, 7, 0, 4, fill7, 8, 4)), 0);
  EXPECT_EQ(d.at(0, 0), 5);  // frame 5 shown again
  Bytes fill8 = {0xFD, 8, 0xFD, 8};
  ASSERT_EQ(Draw(d, Frame(3, 0, 8, 0, 4, fill8, 8, 4)), 0);
  EXPECT_EQ(d.at(0, 0), 8);
}

TEST_F(DeltaTile, DroppableLateFrameIsSkippedAndFlipsTheBuffers) {
  Canvas c(8, 4, 0xEE);
  Bytes fill = {0xFD, 3, 0xFD, 3};
  ASSERT_EQ(Draw(c, Frame(3, 0, 0, 0, 4, fill, 8, 4)), 0);  // into buffer 1
  Canvas d(8, 4, 0xEE);
  Bytes fill9 = {0xFD, 9, 0xFD, 9};
  EXPECT_EQ(Draw(d, Frame(3, 0, 1, 0, 5, fill9, 8, 4), 0, 0, DrawLateFrame), 1);
  EXPECT_EQ(d.at(0, 0), 0xEE);  // nothing drawn
  // The flip made buffer 0 (still zero) current; an even keep frame of copies shows it.
  Bytes copy = {0, 0};
  EXPECT_EQ(Draw(d, Frame(3, 0, 2, 0, 1, copy, 8, 4)), 0);
  EXPECT_EQ(d.at(0, 0), 3);  // decoded in place against buffer 1
  // Without DrawLateFrame the odd droppable frame is decoded and shown.
  EXPECT_EQ(Draw(d, Frame(3, 0, 3, 0, 5, fill9, 8, 4)), 0);
  EXPECT_EQ(d.at(0, 0), 9);
}

TEST_F(DeltaTile, TransparentShowClippedOnTheLeft) {
  Canvas c(320, 200, 0xEE);
  Bytes pic = PatternPicture(100, 50);
  for (int i = 0; i < 100 * 50; i += 3) pic[i] = 0;
  ASSERT_EQ(Draw(c, Frame(0, 0, 0, 5000, 2, pic, 100, 50, -10, 0)), 0);
  for (int y = 0; y < 50; ++y) {
    for (int x = 0; x < 90; ++x) {
      uint8_t v = pic[y * 100 + x + 10];
      ASSERT_EQ(c.at(x, y), v == 0 ? 0xEE : v) << x << "," << y;
    }
    EXPECT_EQ(c.at(90, y), 0xEE);
  }
}

TEST_F(DeltaTile, Width318UsesStride320AndShowsOnly318Columns) {
  Canvas c(320, 200, 0xEE);
  Bytes pic(320 * 200, 4);
  ASSERT_EQ(Draw(c, Frame(0, 0, 0, 64000, 0, pic, 318, 200)), 0);
  EXPECT_EQ(c.at(317, 0), 4);
  EXPECT_EQ(c.at(318, 0), 0xEE);
  EXPECT_EQ(c.at(0, 1), 4);  // the source row stride is 320
  // 80 blocks a row: the 81st opcode belongs to the second block row.
  Bytes data = Blocks(81, {{80, {0xFD, 6}}});
  Draw(c, Frame(3, 0, 0, 0, 4, data, 318, 200));
  EXPECT_EQ(c.at(0, 4), 6);
  EXPECT_EQ(c.at(317, 0), 4);
}

TEST_F(DeltaTile, RunLengthFrameAndLengthCut) {
  Canvas c(8, 2, 0xEE);
  Bytes data = {0x07, 9, 0x04, 1, 2, 3, 0xFF, 5};  // 4 x 9, then 1 2 3, then a run cut at 16
  ASSERT_EQ(Draw(c, Frame(2, 0, 0, 16, 0, data, 8, 2)), 0);
  EXPECT_EQ(c.Pixels(), (Bytes{9, 9, 9, 9, 1, 2, 3, 5, 5, 5, 5, 5, 5, 5, 5, 5}));
  // A raw frame longer than its data fills what it has; the rest is zero.
  ASSERT_EQ(Draw(c, Frame(0, 0, 0, 64000, 0, Bytes{1, 2, 3}, 8, 2)), 0);
  EXPECT_EQ(c.Pixels(), (Bytes{1, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(DeltaTile, ShowClipsOnAllFourSides) {
  Canvas c(20, 20, 0xEE);
  Bytes pic = PatternPicture(16, 16);
  ClipRect clip{4, 5, 6, 7};
  ASSERT_EQ(DrawObject(c.surface(), &clip, 0, 0, 0, Frame(0, 0, 0, 256, 0, pic, 16, 16, 2, 3).data(),
                       30 + 256, 1, 0),
            0);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) {
      bool inside = x >= 4 && x < 10 && y >= 5 && y < 12;
      EXPECT_EQ(c.at(x, y), inside ? Pattern(x - 2, y - 3) : 0xEE);
    }
  // Wholly outside: decoded, nothing shown, result 0.
  Canvas d(20, 20, 0xEE);
  EXPECT_EQ(Draw(d, Frame(0, 0, 0, 256, 0, pic, 16, 16, 30, 0)), 0);
  EXPECT_EQ(d.Pixels(), Bytes(400, 0xEE));
}

}  // namespace
