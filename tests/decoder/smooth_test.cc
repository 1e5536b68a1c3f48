#include <gtest/gtest.h>

#include "payload.h"

using namespace dtest;

namespace {

// A smoothing object; with tables, palette entry v is (v, 0, 255 - v) unless
// `palette` is given, and the colour table maps every index to its low byte
// through `pairs`.
Bytes Smoothing(int x, int y, bool tables, const Bytes& records, const Bytes& palette = {},
                const Bytes& pairs = {}, int version = 1) {
  Bytes p = Header(45, x, y, 0, 0);
  Put16(p, 0);
  Put16(p, tables ? 0 : 1);
  p.push_back(static_cast<uint8_t>(version));
  p.push_back(0);
  if (tables) {
    Append(p, palette);
    Append(p, pairs);
  }
  Append(p, records);
  return p;
}

Bytes Record(int dx, int dy, int n) {
  Bytes r;
  Put16(r, dx);
  r.push_back(static_cast<uint8_t>(dy));
  r.push_back(static_cast<uint8_t>(n));
  return r;
}

// Palette: 1 = (255, 0, 0), 2 = (0, 0, 255); colour table: index (15 << 10) | 15
// maps to 77, everything else to 3.
Bytes TestPalette() {
  Bytes pal(768, 0);
  pal[3] = 255;
  pal[8] = 255;
  return pal;
}
Bytes TestPairs() {
  int target = (15 << 10) | 15;
  Bytes pairs;
  int filled = 0;
  while (filled < target) {
    int n = std::min(255, target - filled);
    pairs.push_back(static_cast<uint8_t>(n));
    pairs.push_back(3);
    filled += n;
  }
  pairs.push_back(1);
  pairs.push_back(77);
  filled++;
  pairs.push_back(0);  // adds nothing
  pairs.push_back(9);
  while (filled < 32768) {
    int n = std::min(255, 32768 - filled);
    pairs.push_back(static_cast<uint8_t>(n));
    pairs.push_back(3);
    filled += n;
  }
  return pairs;
}

class SmoothingCodec : public ::testing::Test {
 protected:
  DecoderRun run_;
};

TEST_F(SmoothingCodec, VersionOtherThanOneDoesNothing) {
  Canvas c(8, 8, 1);
  Draw(c, Smoothing(0, 0, true, Record(3, 3, 0), TestPalette(), TestPairs(), 2));
  EXPECT_EQ(c.Pixels(), Bytes(64, 1));
}

TEST_F(SmoothingCodec, MeanOfTheFourNeighbours) {
  Canvas c(8, 8, 0);
  c.at(2, 3) = 1;
  c.at(4, 3) = 1;
  c.at(3, 2) = 2;
  c.at(3, 4) = 2;
  Draw(c, Smoothing(0, 0, true, Record(3, 3, 0), TestPalette(), TestPairs()));
  EXPECT_EQ(c.at(3, 3), 77);
  // Kept tables: a later object without them uses the same ones.
  c.at(3, 3) = 0;
  Draw(c, Smoothing(3, 3, false, Record(0, 0, 0)));
  EXPECT_EQ(c.at(3, 3), 77);
}

TEST_F(SmoothingCodec, TablePairsFillInOrder) {
  Canvas c(8, 8, 0);
  // Pairs (200, 7), (0, 9), (255, 1), then the rest: index 0 is 7, 454 is 1.
  Bytes pairs = {200, 7, 0, 9, 255, 1};
  for (int filled = 455; filled < 32768; filled += 255) {
    pairs.push_back(static_cast<uint8_t>(std::min(255, 32768 - filled)));
    pairs.push_back(5);
  }
  Bytes pal(768, 0);
  // Four neighbours (0, 113, 48) sum to (0, 452, 192): index (14 << 5) | 6 = 454.
  pal[3 * 9 + 1] = 113;
  pal[3 * 9 + 2] = 48;
  Draw(c, Smoothing(2, 2, true, Record(0, 0, 0), pal, pairs));
  EXPECT_EQ(c.at(2, 2), 7);
  c.at(1, 4) = 9;
  c.at(3, 4) = 9;
  c.at(2, 3) = 9;
  c.at(2, 5) = 9;
  Draw(c, Smoothing(2, 4, false, Record(0, 0, 0)));
  EXPECT_EQ(c.at(2, 4), 1);
}

TEST_F(SmoothingCodec, BoundsOneInsideTheClipAndTheStopRow) {
  Canvas c(10, 10, 0);
  Draw(c, Smoothing(0, 0, true, {}, TestPalette(), TestPairs()));  // tables only
  ClipRect clip{2, 2, 6, 6};  // changed: 3 <= x < 7, 3 <= y < 7
  Bytes records;
  Append(records, Record(2, 3, 5));   // columns 2..7: 3..6 change
  Append(records, Record(-5, 4, 9));  // row 7 outside the range, column 2..11: stops
  Append(records, Record(0, 0, 0));
  Canvas d(10, 10, 1);
  Draw(d, Smoothing(0, 0, false, records), 0, 0, 0, &clip);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x)
      EXPECT_EQ(d.at(x, y), (y == 3 && x >= 3 && x < 7) ? 3 : 1) << x << "," << y;
  EXPECT_TRUE(d.GuardsIntact());
}

TEST_F(SmoothingCodec, RecordsCountedWithTheGivenSize) {
  Canvas c(10, 10, 1);
  Draw(c, Smoothing(0, 0, true, {}, TestPalette(), TestPairs()));
  Bytes p = Smoothing(2, 2, false, Record(0, 0, 0));
  Append(p, Record(2, 0, 0));
  EXPECT_EQ(DrawObjectWithin(c.surface(), nullptr, 0, 0, 0, p.data(), 24,
                             static_cast<uint32_t>(p.size()), 1, 0),
            0);
  EXPECT_EQ(c.at(2, 2), 3);
  EXPECT_EQ(c.at(4, 2), 1);  // the second record lies past the given size
  EXPECT_EQ(DrawObjectWithin(c.surface(), nullptr, 0, 0, 0, p.data(), 1000,
                             static_cast<uint32_t>(p.size()), 1, 0),
            0);
  EXPECT_EQ(c.at(4, 2), 3);
}

TEST_F(SmoothingCodec, TruncatedTablesAreNotLoaded) {
  Canvas c(8, 8, 0);
  Draw(c, Smoothing(0, 0, true, {}, TestPalette(), TestPairs()));
  Bytes p = Smoothing(3, 3, true, {}, Bytes(768, 0), {255, 9});
  Draw(c, p);
  c.at(2, 3) = 1;
  c.at(4, 3) = 1;
  c.at(3, 2) = 2;
  c.at(3, 4) = 2;
  Draw(c, Smoothing(3, 3, false, Record(0, 0, 0)));
  EXPECT_EQ(c.at(3, 3), 77);
}

}  // namespace
