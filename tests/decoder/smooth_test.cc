// The smoothing codec 45: its tables and bounds, and random pictures,
// palettes and records against a plain model of the mean.
#include <gtest/gtest.h>

#include <random>

#include "payload.h"

using namespace dtest;

namespace {

Bytes Smoothing(int x, int y, bool tables, const Bytes& records, const Bytes& palette = {},
                const Bytes& pairs = {}) {
  Bytes p = Header(45, x, y, 0, 0);
  for (int v : {0, tables ? 0 : 1, 1}) Put16(p, v);  // 1: the version
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
  return Rows({r, {static_cast<uint8_t>(dy), static_cast<uint8_t>(n)}});
}

// The given (count, value) pairs, then runs of `rest` up to 32768 entries.
Bytes Pairs(Bytes given, uint8_t rest) {
  int filled = 0;
  for (size_t i = 0; i < given.size(); i += 2) filled += given[i];
  for (; filled < 32768; filled += 255) {
    given.push_back(static_cast<uint8_t>(std::min(255, 32768 - filled)));
    given.push_back(rest);
  }
  return given;
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
  Bytes head;
  for (int n = (15 << 10) | 15; n > 0; n -= 255) head.insert(head.end(), {uint8_t(std::min(n, 255)), 3});
  Append(head, {1, 77, 0, 9});  // a count of 0 adds nothing
  return Pairs(head, 3);
}

class SmoothingCodec : public ::testing::Test {
 protected:
  DecoderRun run_;
};

// Kept tables (a cut table is not loaded), records counted with the given
// size, the version, the bounds one inside the clip and the stop row. The
// mean itself is checked against the model below.
TEST_F(SmoothingCodec, KeptTablesGivenSizeVersionAndBounds) {
  Canvas c(10, 10, 1);
  Draw(c, Smoothing(0, 0, true, {}, TestPalette(), TestPairs()));  // tables only
  Draw(c, Smoothing(3, 3, true, {}, Bytes(768, 0), {255, 9}));     // cut: not loaded
  Bytes two = Smoothing(2, 2, false, Rows({Record(0, 0, 0), Record(2, 0, 0)}));
  auto size = static_cast<uint32_t>(two.size());
  EXPECT_EQ(DrawObjectWithin(c.surface(), nullptr, 0, 0, 0, two.data(), 24, size, 1, 0), 0);
  EXPECT_EQ(c.at(2, 2), 3);
  EXPECT_EQ(c.at(4, 2), 1);  // the second record lies past the given size
  EXPECT_EQ(DrawObjectWithin(c.surface(), nullptr, 0, 0, 0, two.data(), 1000, size, 1, 0), 0);
  EXPECT_EQ(c.at(4, 2), 3);
  // Two red and two blue neighbours: index (15 << 10) | 15 of the kept table.
  c.at(6, 6) = 0;
  c.at(5, 6) = c.at(7, 6) = 1;
  c.at(6, 5) = c.at(6, 7) = 2;
  Draw(c, Smoothing(6, 6, false, Record(0, 0, 0)));
  EXPECT_EQ(c.at(6, 6), 77);

  ClipRect clip{2, 2, 6, 6};  // changed: 3 <= x < 7, 3 <= y < 7
  Bytes records = Rows({Record(2, 3, 5),    // columns 2..7: 3..6 change
                        Record(-5, 4, 9),   // row 7 outside the range, column 2..11: stops
                        Record(0, 0, 0)});
  Canvas d(10, 10, 1);
  Bytes p = Smoothing(0, 0, false, records);
  p[18] = 2;  // a version other than 1 does nothing
  Draw(d, p, 0, 0, 0, &clip);
  EXPECT_EQ(d.Pixels(), Bytes(100, 1));
  p[18] = 1;
  Draw(d, p, 0, 0, 0, &clip);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x)
      EXPECT_EQ(d.at(x, y), (y == 3 && x >= 3 && x < 7) ? 3 : 1) << x << "," << y;
  EXPECT_TRUE(d.GuardsIntact());
}

}  // namespace

TEST_F(SmoothingCodec, RandomRecordsMatchAModelOfTheMean) {
  std::mt19937 rng(45);
  auto rnd = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int round = 0; round < 40; ++round) {
    const int w = rnd(3, 70), h = rnd(3, 40);
    Canvas c(w, h, 0);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) c.at(x, y) = static_cast<uint8_t>(rnd(0, 255));
    Bytes palette, pairs, records;
    for (int i = 0; i < 768; ++i) palette.push_back(static_cast<uint8_t>(rnd(0, 255)));
    std::vector<uint8_t> table;
    while (table.size() < 32768) {
      int n = rnd(0, 255), v = rnd(0, 255);
      Append(pairs, {static_cast<uint8_t>(n), static_cast<uint8_t>(v)});
      table.insert(table.end(), n, static_cast<uint8_t>(v));
    }
    // The model: each listed pixel, left to right, from the picture as it is then.
    std::vector<uint8_t> want(static_cast<size_t>(w * h));
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) want[y * w + x] = c.at(x, y);
    int x = 0, y = 0;
    bool stopped = false;
    for (int k = 0; k < 30; ++k) {
      // Rows in turn, the next row and two rows down: runs that the codec
      // may smooth side by side and runs that it must not.
      int r = rnd(0, 9), dx = rnd(-12, 12), dy = r < 6 ? 0 : r < 9 ? 1 : 2, n = rnd(0, 30);
      Append(records, Record(dx, dy, n));
      x += dx;
      y += dy;
      for (int i = 0; i <= n && !stopped; ++i) {
        int px = x + i;
        if (px < 1 || y < 1 || px >= w - 1) continue;
        if (y >= h - 1) {
          stopped = true;
          break;
        }
        int sum[3] = {0, 0, 0};
        for (int q : {y * w + px - 1, y * w + px + 1, (y - 1) * w + px, (y + 1) * w + px})
          for (int j = 0; j < 3; ++j) sum[j] += palette[3 * want[q] + j];
        want[y * w + px] = table[(sum[0] >> 5) << 10 | (sum[1] >> 5) << 5 | (sum[2] >> 5)];
      }
      x += n;
    }
    Draw(c, Smoothing(0, 0, true, records, palette, pairs));
    std::vector<uint8_t> got;
    for (int yy = 0; yy < h; ++yy)
      for (int xx = 0; xx < w; ++xx) got.push_back(c.at(xx, yy));
    ASSERT_EQ(got, want) << "round " << round;
  }
}
