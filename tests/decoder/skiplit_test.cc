#include <gtest/gtest.h>

#include "payload.h"

using namespace dtest;

namespace {

class SkipLiteral : public ::testing::Test {
 protected:
  DecoderRun run_;
};

TEST_F(SkipLiteral, SkipsKeepThePictureAndZeroBytesAreDrawn) {
  Canvas c(8, 1, 0xEE);
  Bytes p = Header(21, 0, 0, 5, 1);
  Append(p, SkipLitLine({{3, {7, 0}}}));
  EXPECT_EQ(Draw(c, p), 0);
  EXPECT_EQ(c.Pixels(), (Bytes{0xEE, 0xEE, 0xEE, 7, 0, 0xEE, 0xEE, 0xEE}));
}

TEST_F(SkipLiteral, LineEndsAtTheVisibleWidthAndNextLineFollowsItsLength) {
  Canvas c(4, 2, 0xEE);
  Bytes p = Header(21, 0, 0, 3, 2);
  // Covers 6 pixels of a 3-wide object; the rest is stepped over.
  Append(p, SkipLitLine({{1, {1, 2, 3, 4, 5}}}));
  Append(p, SkipLitLine({{0, {8, 9, 10}}}));
  Draw(c, p);
  EXPECT_EQ(c.Pixels(), (Bytes{0xEE, 1, 2, 0xEE, 8, 9, 10, 0xEE}));
}

TEST_F(SkipLiteral, LeftCutDrawsTheLiteralsLastBytes) {
  Canvas c(6, 1, 0xEE);
  Bytes p = Header(21, -2, 0, 6, 1);
  Append(p, SkipLitLine({{1, {1, 2, 3}}, {1, {4, 5}}}));
  Draw(c, p);
  // Source columns 2..5 land on 0..3; the object ends at column 3.
  EXPECT_EQ(c.Pixels(), (Bytes{2, 3, 0xEE, 4, 0xEE, 0xEE}));
}

TEST_F(SkipLiteral, SkipReachingPastTheCutContinuesWithALiteral) {
  Canvas c(6, 1, 0xEE);
  Bytes p = Header(21, -2, 0, 8, 1);
  Append(p, SkipLitLine({{4, {1, 2}}, {0, {3, 4}}}));
  Draw(c, p);
  EXPECT_EQ(c.Pixels(), (Bytes{0xEE, 0xEE, 1, 2, 3, 4}));
}

TEST_F(SkipLiteral, SkipEndingExactlyAtTheCutIsFollowedByALiteral) {
  Canvas c(4, 1, 0xEE);
  Bytes p = Header(21, -3, 0, 7, 1);
  Append(p, SkipLitLine({{3, {1, 2}}, {1, {3}}}));
  Draw(c, p);
  EXPECT_EQ(c.Pixels(), (Bytes{1, 2, 0xEE, 3}));
}

TEST_F(SkipLiteral, LiteralEndingExactlyAtTheCutIsFollowedByASkip) {
  Canvas c(4, 1, 0xEE);
  Bytes p = Header(21, -2, 0, 6, 1);
  Append(p, SkipLitLine({{0, {1, 2}}, {1, {3, 4, 5}}}));
  Draw(c, p);
  EXPECT_EQ(c.Pixels(), (Bytes{0xEE, 3, 4, 5}));
}

TEST_F(SkipLiteral, ClipsOnAllFourSides) {
  Canvas c(8, 8, 0xEE);
  Bytes p = Header(21, 1, 1, 6, 6);
  for (int row = 0; row < 6; ++row) {
    Bytes lit;
    for (int col = 0; col < 6; ++col) lit.push_back(static_cast<uint8_t>(row * 10 + col));
    Append(p, SkipLitLine({{0, lit}}));
  }
  ClipRect clip{2, 3, 3, 2};  // columns 2..4, rows 3..4
  Draw(c, p, 0, 0, 0, &clip);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      bool inside = x >= 2 && x < 5 && y >= 3 && y < 5;
      EXPECT_EQ(c.at(x, y), inside ? (y - 1) * 10 + (x - 1) : 0xEE) << x << "," << y;
    }
  }
}

TEST_F(SkipLiteral, MirrorFlagsAreIgnored) {
  Canvas c(3, 1, 0xEE);
  Bytes p = Header(21, 0, 0, 3, 1);
  Append(p, SkipLitLine({{0, {1, 2, 3}}}));
  Draw(c, p, 0, 0, DrawMirrorX | DrawMirrorY);
  EXPECT_EQ(c.Pixels(), (Bytes{1, 2, 3}));
}

TEST_F(SkipLiteral, TruncatedLiteralDrawsOnlyItsBytes) {
  Canvas c(6, 2, 0xEE);
  Bytes p = Header(21, 0, 0, 6, 2);
  Bytes line = SkipLitLine({{1, {1, 2, 3, 4}}});
  line.resize(line.size() - 2);  // the data ends inside the literal
  Append(p, line);
  Draw(c, p);
  EXPECT_EQ(c.Pixels(), (Bytes{0xEE, 1, 2, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));
}

TEST_F(SkipLiteral, TintAddsToEveryByte) {
  Canvas c(3, 1, 0xEE);
  Bytes p = Header(44, 0, 0, 3, 1);
  Append(p, SkipLitLine({{0, {1, 0, 2}}}));
  Draw(c, p, 0, 0, 0, nullptr, 10);
  EXPECT_EQ(c.Pixels(), (Bytes{10, 9, 11}));
  Draw(c, p, 0, 0, 0, nullptr, 0);
  EXPECT_EQ(c.Pixels(), (Bytes{0, 255, 1}));
  Draw(c, p, 0, 0, 0, nullptr, 1);
  EXPECT_EQ(c.Pixels(), (Bytes{1, 0, 2}));
}

TEST_F(SkipLiteral, OpaqueTintedFillsTheBoxFirst) {
  Canvas c(16, 20, 0xEE);
  Bytes p = Header(44, 0, 0, 8, 12);
  for (int row = 0; row < 12; ++row) Append(p, SkipLitLine({{2, {3}}, {5, {}}}));
  Draw(c, p, 5, 5, DrawOpaque, nullptr, 1, 0);
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 16; ++x) {
      bool in_box = x >= 5 && x < 13 && y >= 5 && y < 17;
      uint8_t want = !in_box ? 0xEE : (x == 7 ? 3 : 0);
      EXPECT_EQ(c.at(x, y), want) << x << "," << y;
    }
  }
  // Without DrawOpaque, and for codec 21, there is no box.
  Canvas d(16, 20, 0xEE);
  Draw(d, p, 5, 5, 0, nullptr, 1, 0);
  EXPECT_EQ(d.at(5, 5), 0xEE);
  p[0] = 21;
  Draw(d, p, 5, 5, DrawOpaque, nullptr, 1, 0);
  EXPECT_EQ(d.at(5, 5), 0xEE);
}

TEST_F(SkipLiteral, BoxIsClipped) {
  Canvas c(6, 6, 0xEE);
  Bytes p = Header(44, 0, 0, 10, 10);
  ClipRect clip{1, 1, 3, 3};
  Draw(c, p, -2, -2, DrawOpaque, &clip, 1, 4);  // no lines: only the box
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x)
      EXPECT_EQ(c.at(x, y), (x >= 1 && x < 4 && y >= 1 && y < 4) ? 4 : 0xEE);
  EXPECT_TRUE(c.GuardsIntact());
}

TEST_F(SkipLiteral, TintAtEveryLiteralLength) {
  for (int n = 1; n <= 70; ++n) {
    Canvas c(72, 1, 0xEE);
    Bytes lit;
    for (int i = 0; i < n; ++i) lit.push_back(static_cast<uint8_t>(i * 37 + 200));
    Bytes p = Header(44, 0, 0, n + 1, 1);
    Append(p, SkipLitLine({{1, lit}}));
    Draw(c, p, 0, 0, 0, nullptr, 100);
    EXPECT_EQ(c.at(0, 0), 0xEE);
    for (int i = 0; i < n; ++i) ASSERT_EQ(c.at(i + 1, 0), static_cast<uint8_t>(lit[i] + 99)) << n;
    ASSERT_EQ(c.at(n + 1, 0), 0xEE) << n;
  }
}

}  // namespace
