// The mixing tables, the volume curve and the mix-in's rate conversion.
#include <gtest/gtest.h>

#include <vector>

#include "sound/output.h"

namespace {

class TablesTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(BuildMixTables(7, 1024), 0); }
  void TearDown() override { FreeMixTables(); }
  static std::vector<int32_t> Acc(int n) { return {MixAccumulator(), MixAccumulator() + n}; }
};

TEST_F(TablesTest, VolumeTablesAndCurve) {
  // (level, sample, entry): a signed sample times level / 2, truncated toward zero.
  const int entries[][3] = {{0, 0, 0},    {32, 0, -2048}, {32, 255, 2032},
                            {1, 127, 0},  {3, 125, -4},   {3, 131, 4}};
  for (auto [level, sample, entry] : entries) EXPECT_EQ(VolumeTableEntry(level, sample), entry);
  // Volume to level, negative volumes by magnitude, rounded; 255 is read as -1.
  const std::pair<int, int> curve[] = {{0, 0},     {4, 2},    {40, 19}, {64, 24},
                                       {111, 31},  {127, 32}, {-1, 0},  {255, 0},
                                       {-127, 32}, {-64, 16}, {-128, 32}};
  for (auto [volume, level] : curve) EXPECT_EQ(VolumeCurveLevel(volume), level) << volume;
}

TEST_F(TablesTest, ClipTable) {
  // Seven channels: 0 is 127, +1 is 128, the full sums are the ends and
  // anything beyond counts as the ends; one channel at full scale is 196.
  const std::pair<int32_t, int> seven[] = {{0, 127},       {1, 128},       {-1, 127},
                                           {2032 * 7, 255}, {-2048 * 7, 0}, {2032, 196},
                                           {1 << 20, 255},  {-(1 << 20), 0}};
  for (auto [sum, value] : seven) EXPECT_EQ(ClipTableAt(sum), value) << sum;
  for (int32_t s = -2048 * 7; s < 2032 * 7; ++s) ASSERT_LE(ClipTableAt(s), ClipTableAt(s + 1));
  ASSERT_EQ(BuildMixTables(1, 1024), 0);
  EXPECT_EQ(ClipTableAt(2032), 255);
  EXPECT_EQ(ClipTableAt(-2048), 0);
  EXPECT_EQ(BuildMixTables(0, 1024), -1);
  EXPECT_EQ(MixAccumulator(), nullptr);
}

TEST_F(TablesTest, MixInRateConversion) {
  uint8_t src[8] = {129, 130, 131, 132, 133, 134, 135, 136};
  uint8_t one[2] = {138, 255};
  struct Case {
    const char* what;
    const uint8_t* source;
    int32_t index, out, in, volume;
    std::vector<int32_t> acc;
  };
  const Case cases[] = {
      {"equal", src, 0, 4, 4, 127, {16, 32, 48, 64, 0}},
      {"half rate: each sample twice", src, 2, 6, 3, 127, {0, 0, 16, 16, 32, 32, 48, 48, 0}},
      {"double rate: every second sample", src, 0, 3, 6, 127, {16, 48, 80, 0}},
      {"3 over 5 by the error term", src, 0, 5, 3, 127, {16, 32, 32, 48, 48, 0}},
      {"5 over 3: one step a sum at first", src, 0, 3, 5, 127, {16, 32, 48, 0}},
      {"7 over 4", src, 0, 4, 7, 127, {16, 32, 48, 80}},
      {"level 24: 24 * 1 / 2", src, 0, 4, 4, 64, {12}},
      {"one sample over five: that sample only", one, 0, 5, 1, 127, {160, 160, 160, 160, 160, 0}},
  };
  for (const auto& c : cases) {
    std::fill(MixAccumulator(), MixAccumulator() + 1024, 0);
    MixIn(c.source, c.index, c.out, c.in, 1, c.volume, 0);
    EXPECT_EQ(Acc(int(c.acc.size())), c.acc) << c.what;
  }
  // A range past the accumulator's end is cut; outside it nothing happens.
  std::vector<uint8_t> flat(64, 129);
  std::fill(MixAccumulator(), MixAccumulator() + 1024, 0);
  MixIn(flat.data(), 1020, 64, 64, 1, 127, 0);
  EXPECT_EQ(MixAccumulator()[1023], 16);
  for (auto [index, out, in] : {std::tuple{1024, 4, 4}, {-1, 4, 4}, {0, 4, 0}, {0, -4, 4}})
    MixIn(flat.data(), index, out, in, 1, 127, 0);
  EXPECT_EQ(MixAccumulator()[0], 0);
}

}  // namespace
