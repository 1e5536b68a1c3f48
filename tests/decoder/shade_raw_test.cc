#include <gtest/gtest.h>

#include "payload.h"

using namespace dtest;

namespace {

class Shade : public ::testing::Test {
 protected:
  DecoderRun run_;
};

Bytes Counts(const Bytes& fields) { return LengthLine(fields); }

TEST_F(Shade, OffsetModeWrapsAndNegativeParamIsOffsetZero) {
  Canvas c(6, 1, 254);
  c.at(0, 0) = 10;
  Bytes p = Header(23, 0, 0, 6, 1, 4);
  Append(p, Counts({0, 3, 1, 2}));
  Draw(c, p);
  EXPECT_EQ(c.Pixels(), (Bytes{14, 2, 2, 254, 2, 2}));
  Bytes q = Header(23, 0, 0, 6, 1, 0x8000);
  Append(q, Counts({0, 6}));
  Draw(c, q);
  EXPECT_EQ(c.Pixels(), (Bytes{14, 2, 2, 254, 2, 2}));
  Bytes r = Header(23, 0, 0, 6, 1, 0xFFFF);  // -1: offset 255
  Append(r, Counts({0, 1}));
  Draw(c, r);
  EXPECT_EQ(c.at(0, 0), 13);
}

TEST_F(Shade, TableModeLoadsAndKeepsTheTable) {
  Canvas c(4, 1, 0);
  for (int i = 0; i < 4; ++i) c.at(i, 0) = static_cast<uint8_t>(i);
  Bytes p = Header(23, 0, 0, 4, 1, 256);
  for (int i = 0; i < 256; ++i) p.push_back(static_cast<uint8_t>(255 - i));
  Append(p, Counts({1, 2}));
  Draw(c, p);
  EXPECT_EQ(c.Pixels(), (Bytes{0, 254, 253, 3}));
  Bytes q = Header(23, 0, 0, 4, 1, 300);
  Append(q, Counts({0, 1}));
  Draw(c, q);
  EXPECT_EQ(c.at(0, 0), 255);
  // An object too short for its table leaves table and picture alone.
  Bytes short_table = Header(23, 0, 0, 4, 1, 256);
  short_table.resize(short_table.size() + 100, 7);
  Draw(c, short_table);
  Draw(c, q);
  EXPECT_EQ(c.at(0, 0), 0);
}

TEST_F(Shade, LeftCutAlternatesCountsAndSkips) {
  Canvas c(5, 1, 10);
  Bytes p = Header(23, -2, 0, 7, 1, 1);
  Append(p, Counts({2, 2, 1, 2}));  // source: s s c c s c c
  Draw(c, p);
  EXPECT_EQ(c.Pixels(), (Bytes{11, 11, 10, 11, 11}));
  Canvas d(5, 1, 10);
  Bytes q = Header(23, -1, 0, 6, 1, 1);
  Append(q, Counts({3, 1, 1, 5}));  // the skip reaches past the cut
  Draw(d, q);
  EXPECT_EQ(d.Pixels(), (Bytes{10, 10, 11, 10, 11}));
}

TEST_F(Shade, ClipsOnAllFourSides) {
  Canvas c(8, 8, 10);
  Bytes p = Header(23, 0, 0, 8, 8, 5);
  for (int i = 0; i < 8; ++i) Append(p, Counts({0, 8}));
  ClipRect clip{2, 3, 4, 2};
  Draw(c, p, 0, 0, 0, &clip);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) EXPECT_EQ(c.at(x, y), (x >= 2 && x < 6 && y >= 3 && y < 5) ? 15 : 10);
}

class Raw : public ::testing::Test {
 protected:
  DecoderRun run_;
};

TEST_F(Raw, ClipsAndKeepsTheSourceStride) {
  Canvas c(320, 3, 0xEE);
  Bytes p = Header(20, -4, 0, 8, 2);
  for (int i = 0; i < 16; ++i) p.push_back(static_cast<uint8_t>(i + 1));
  Draw(c, p);
  EXPECT_EQ(c.at(0, 0), 5);
  EXPECT_EQ(c.at(3, 0), 8);
  EXPECT_EQ(c.at(4, 0), 0xEE);
  EXPECT_EQ(c.at(0, 1), 13);
  EXPECT_EQ(c.at(0, 2), 0xEE);
  Canvas d(4, 4, 0xEE);
  ClipRect clip{1, 1, 2, 2};
  Draw(d, p, 0, 0, DrawAbsolute, &clip);
  EXPECT_EQ(d.Pixels(), (Bytes{0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 10, 11, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE,
                               0xEE, 0xEE, 0xEE, 0xEE}));
  Draw(d, p, 0, -1, DrawAbsolute);  // the top row skipped in the source
  EXPECT_EQ(d.at(0, 0), 9);
}

TEST_F(Raw, ShortDataDrawsWhatItHas) {
  Canvas c(4, 2, 0xEE);
  Bytes p = Header(20, 0, 0, 4, 2);
  for (int i = 0; i < 6; ++i) p.push_back(static_cast<uint8_t>(i + 1));
  Draw(c, p);
  EXPECT_EQ(c.Pixels(), (Bytes{1, 2, 3, 4, 5, 6, 0xEE, 0xEE}));
}

}  // namespace
