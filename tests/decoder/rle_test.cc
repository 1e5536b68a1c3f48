#include <gtest/gtest.h>

#include <random>

#include "payload.h"

using namespace dtest;

namespace {

class RunLength : public ::testing::Test {
 protected:
  DecoderRun run_;
};

// One line of codes behind its length.
Bytes Codes(const Bytes& codes) { return LengthLine(codes); }

// A 10 x 2 object: line 0 is pixels 1..10 as a literal, line 1 is 4 x 0 then 6 x 8.
Bytes TenByTwo(uint8_t codec, int param = 0) {
  Bytes p = Header(codec, 0, 0, 10, 2, param);
  Append(p, Codes({0x12, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  Append(p, Codes({0x07, 0, 0x0B, 8}));
  return p;
}

TEST_F(RunLength, CodeSizes) {
  Canvas c(130, 1, 0xEE);
  Bytes p = Header(1, 0, 0, 130, 1);
  Bytes lit(128, 3);
  Bytes codes = {0x01, 5, 0xFE};
  Append(codes, lit);
  codes.push_back(0x01);
  codes.push_back(6);
  Append(p, Codes(codes));
  Draw(c, p);
  EXPECT_EQ(c.at(0, 0), 5);
  EXPECT_EQ(c.at(1, 0), 3);
  EXPECT_EQ(c.at(128, 0), 3);
  EXPECT_EQ(c.at(129, 0), 6);
  Bytes q = Header(3, 0, 0, 130, 1);
  Append(q, Codes({0xFF, 7, 0x03, 8}));
  Draw(c, q);
  EXPECT_EQ(c.at(127, 0), 7);
  EXPECT_EQ(c.at(128, 0), 8);
  EXPECT_EQ(c.at(129, 0), 8);
}

TEST_F(RunLength, ZeroRunsAreTransparentOnlyInCodec1) {
  Canvas c(10, 2, 0xEE);
  Draw(c, TenByTwo(1));
  EXPECT_EQ(c.at(0, 1), 0xEE);
  EXPECT_EQ(c.at(4, 1), 8);
  Bytes p = Header(1, 0, 0, 2, 1);
  Append(p, Codes({0x02, 0, 4}));  // a literal 0 paints
  Draw(c, p);
  EXPECT_EQ(c.at(0, 0), 0);
  Canvas d(10, 2, 0xEE);
  Draw(d, TenByTwo(3));
  EXPECT_EQ(d.at(0, 1), 0);
  Canvas e(10, 2, 0xEE);
  Draw(e, TenByTwo(1), 0, 0, DrawOpaque);
  EXPECT_EQ(e.at(3, 1), 0);
  Canvas f(10, 2, 0xEE);
  Draw(f, TenByTwo(3), 0, 0, DrawMirrorX);  // codec 3 ignores the flags
  EXPECT_EQ(f.at(0, 0), 1);
  EXPECT_EQ(f.at(0, 1), 0);
}

TEST_F(RunLength, LeftCutAndLongLines) {
  Canvas c(10, 2, 0xEE);
  Draw(c, TenByTwo(1), -3, 0);
  for (int x = 0; x < 7; ++x) EXPECT_EQ(c.at(x, 0), 4 + x);
  EXPECT_EQ(c.at(7, 0), 0xEE);
  EXPECT_EQ(c.at(0, 1), 0xEE);  // rest of the zero run
  EXPECT_EQ(c.at(1, 1), 8);
  // A line describing more than the width draws only the width; the next line
  // starts after its length.
  Canvas d(6, 2, 0xEE);
  Bytes p = Header(3, 0, 0, 3, 2);
  Append(p, Codes({0x09, 1, 0x04, 2, 3, 4}));
  Append(p, Codes({0x04, 5, 6, 7}));
  Draw(d, p);
  EXPECT_EQ(d.Pixels(), (Bytes{1, 1, 1, 0xEE, 0xEE, 0xEE, 5, 6, 7, 0xEE, 0xEE, 0xEE}));
}

TEST_F(RunLength, MirrorLeftToRight) {
  Canvas c(10, 2, 0xEE);
  Draw(c, TenByTwo(1), 0, 0, DrawMirrorX);
  for (int x = 0; x < 10; ++x) EXPECT_EQ(c.at(x, 0), 10 - x);
  EXPECT_EQ(c.at(9, 1), 0xEE);
  EXPECT_EQ(c.at(5, 1), 8);
  // Cut on the right: the first source pixels fall past R.
  Canvas d(8, 2, 0xEE);
  Draw(d, TenByTwo(1), 0, 0, DrawMirrorX | DrawOpaque);
  for (int x = 0; x < 8; ++x) EXPECT_EQ(d.at(x, 0), 10 - x);
  EXPECT_EQ(d.at(7, 1), 0xEE);  // mirrored is always transparent
  // Cut on the left.
  Canvas e(10, 2, 0xEE);
  Draw(e, TenByTwo(1), -4, 0, DrawMirrorX);
  for (int x = 0; x < 6; ++x) EXPECT_EQ(e.at(x, 0), 6 - x);
  EXPECT_EQ(e.at(6, 0), 0xEE);
}

TEST_F(RunLength, MirrorTopToBottomAndBoth) {
  Canvas c(10, 3, 0xEE);
  Draw(c, TenByTwo(1), 0, 0, DrawMirrorY);
  EXPECT_EQ(c.at(0, 1), 1);
  EXPECT_EQ(c.at(5, 0), 8);
  Canvas d(10, 3, 0xEE);
  Draw(d, TenByTwo(1), 0, 1, DrawMirrorX | DrawMirrorY);
  EXPECT_EQ(d.at(9, 2), 1);  // first source pixel in the bottom-right corner
  EXPECT_EQ(d.at(0, 2), 10);
  EXPECT_EQ(d.at(0, 1), 8);
  EXPECT_EQ(d.at(9, 1), 0xEE);
  // Bottom clip: the first source line falls below and is skipped.
  Canvas e(10, 1, 0xEE);
  Draw(e, TenByTwo(1), 0, 0, DrawMirrorY);
  EXPECT_EQ(e.at(0, 0), 0xEE);
  EXPECT_EQ(e.at(4, 0), 8);
  // Top clip: the second source line would be above.
  Canvas f(10, 2, 0xEE);
  Draw(f, TenByTwo(1), 0, -1, DrawMirrorY);
  EXPECT_EQ(f.at(0, 0), 1);
  EXPECT_EQ(f.at(4, 1), 0xEE);
}

TEST_F(RunLength, ClipsOnAllFourSides) {
  Canvas c(12, 12, 0xEE);
  Bytes p = Header(3, 0, 0, 8, 8);
  for (int row = 0; row < 8; ++row) {
    Bytes lit = {0x0E};
    for (int col = 0; col < 8; ++col) lit.push_back(static_cast<uint8_t>(row * 10 + col));
    Append(p, Codes(lit));
  }
  ClipRect clip{4, 5, 4, 3};
  for (int flags : {0, DrawMirrorX | DrawMirrorY}) {
    Canvas d(12, 12, 0xEE);
    p[0] = flags ? 1 : 3;
    Draw(d, p, 2, 3, static_cast<uint16_t>(flags), &clip);
    for (int y = 0; y < 12; ++y)
      for (int x = 0; x < 12; ++x) {
        bool inside = x >= 4 && x < 8 && y >= 5 && y < 8;
        int sx = flags ? 7 - (x - 2) : x - 2, sy = flags ? 7 - (y - 3) : y - 3;
        EXPECT_EQ(d.at(x, y), inside ? sy * 10 + sx : 0xEE) << flags << ":" << x << "," << y;
      }
  }
}

TEST_F(RunLength, PointListMovesAccumulate) {
  Canvas c(10, 4, 0xEE);
  Bytes p = Header(2, 5, 1, 0, 0);
  auto rec = [&p](int dx, int dy, int colour) {
    Put16(p, dx);
    p.push_back(static_cast<uint8_t>(dy));
    p.push_back(static_cast<uint8_t>(colour));
  };
  rec(0, 0, 1);
  rec(-5, 0, 2);
  rec(-1, 0, 3);  // outside: not drawn, but the position moves
  rec(2, 2, 4);
  rec(0, 0, 5);
  p.push_back(0x01);  // part of a record: ignored
  Draw(c, p);
  EXPECT_EQ(c.at(5, 1), 1);
  EXPECT_EQ(c.at(0, 1), 2);
  EXPECT_EQ(c.at(1, 3), 5);
  EXPECT_TRUE(c.GuardsIntact());
}

TEST_F(RunLength, PointListWithParamIsCodec1Mirroring) {
  Canvas c(10, 2, 0xEE);
  Draw(c, TenByTwo(2, 1), 0, 0, DrawMirrorX);
  EXPECT_EQ(c.at(0, 0), 10);
  EXPECT_EQ(c.at(9, 1), 0xEE);
  // A ghost redraw hands a 6-byte size; the run-length form still draws.
  Canvas d(10, 2, 0xEE);
  Bytes p = TenByTwo(2, 1);
  EXPECT_EQ(DrawObjectWithin(d.surface(), nullptr, 0, 0, 0, p.data(), 6,
                             static_cast<uint32_t>(p.size()), 1, 0),
            0);
  EXPECT_EQ(d.at(0, 0), 1);
}

TEST(PointListSize, CodecsSeeTheGivenSizeButReadOnlyTheAvailableBytes) {
  DecoderRun run;
  Canvas c(8, 2, 0);
  // A point list of two records, handed over with a size that claims four.
  Bytes p = Header(2, 0, 0, 8, 2);
  for (int i = 0; i < 2; ++i) {
    Put16(p, 1);
    p.push_back(0);
    p.push_back(static_cast<uint8_t>(10 + i));
  }
  Bytes padded = p;
  padded.resize(p.size() + 8, 0x77);  // bytes past the real object that must not be read
  EXPECT_EQ(DrawObjectWithin(c.surface(), nullptr, 0, 0, 0, padded.data(), 30, 22, 1, 0), 0);
  EXPECT_EQ(c.at(1, 0), 10);
  EXPECT_EQ(c.at(2, 0), 11);
  EXPECT_EQ(c.at(3, 0), 0);
  // A smaller size than the object counts fewer records.
  Canvas d(8, 2, 0);
  EXPECT_EQ(DrawObjectWithin(d.surface(), nullptr, 0, 0, 0, p.data(), 18, 22, 1, 0), 0);
  EXPECT_EQ(d.at(1, 0), 10);
  EXPECT_EQ(d.at(2, 0), 0);
}

// Every code length, against a plain expansion of the codes: straight and
// mirrored, so the word-sized copies and fills are checked at every size.
TEST_F(RunLength, EveryCodeLengthMatchesAPlainExpansion) {
  std::mt19937 rng(7);
  const int width = 300;
  Bytes p = Header(1, 0, 0, width, 1);
  Bytes codes, expanded;
  while (static_cast<int>(expanded.size()) < width) {
    int n = static_cast<int>(rng() % 128) + 1;
    if (rng() % 2) {
      uint8_t v = static_cast<uint8_t>(rng() % 4);  // zero runs now and then
      codes.push_back(static_cast<uint8_t>(((n - 1) << 1) | 1));
      codes.push_back(v);
      expanded.insert(expanded.end(), n, v);
    } else {
      codes.push_back(static_cast<uint8_t>((n - 1) << 1));
      for (int i = 0; i < n; ++i) {
        uint8_t v = static_cast<uint8_t>(rng() % 250 + 1);
        codes.push_back(v);
        expanded.push_back(v);
      }
    }
  }
  Append(p, Codes(codes));
  Canvas straight(width, 1, 0xEE), mirrored(width, 1, 0xEE);
  Draw(straight, p);
  Draw(mirrored, p, 0, 0, DrawMirrorX);
  for (int x = 0; x < width; ++x) {
    uint8_t want = expanded[x] == 0 ? 0xEE : expanded[x];
    ASSERT_EQ(straight.at(x, 0), want) << x;
    ASSERT_EQ(mirrored.at(width - 1 - x, 0), want) << x;
  }
}

}  // namespace
