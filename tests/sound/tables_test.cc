// The mixing tables, the volume curve and the mix-in's rate conversion.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "sound/output.h"

namespace {

class TablesTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(BuildMixTables(7, 1024), 0); }
  void TearDown() override { FreeMixTables(); }
  std::vector<int32_t> Clear() {
    std::fill(MixAccumulator(), MixAccumulator() + 1024, 0);
    return {};
  }
  std::vector<int32_t> Acc(int n) { return std::vector<int32_t>(MixAccumulator(), MixAccumulator() + n); }
};

TEST_F(TablesTest, VolumeTablesAndCurve) {
  EXPECT_EQ(VolumeTableEntry(0, 0), 0);
  EXPECT_EQ(VolumeTableEntry(32, 0), -2048);
  EXPECT_EQ(VolumeTableEntry(32, 255), 2032);
  EXPECT_EQ(VolumeTableEntry(32, 128), 0);
  EXPECT_EQ(VolumeTableEntry(1, 127), 0);   // -1/2 truncates toward zero
  EXPECT_EQ(VolumeTableEntry(3, 125), -4);  // -9/2
  EXPECT_EQ(VolumeTableEntry(3, 131), 4);
  EXPECT_EQ(VolumeCurveLevel(0), 0);
  EXPECT_EQ(VolumeCurveLevel(4), 2);
  EXPECT_EQ(VolumeCurveLevel(40), 19);
  EXPECT_EQ(VolumeCurveLevel(64), 24);
  EXPECT_EQ(VolumeCurveLevel(111), 31);
  EXPECT_EQ(VolumeCurveLevel(127), 32);
  // Negative volumes by magnitude, rounded; 255 is read as -1.
  EXPECT_EQ(VolumeCurveLevel(-127), 32);
  EXPECT_EQ(VolumeCurveLevel(-64), 16);
  EXPECT_EQ(VolumeCurveLevel(-1), 0);
  EXPECT_EQ(VolumeCurveLevel(255), 0);
  EXPECT_EQ(VolumeCurveLevel(-128), 32);
}

TEST_F(TablesTest, ClipTableFormula) {
  EXPECT_EQ(ClipTableAt(0), 127);
  EXPECT_EQ(ClipTableAt(1), 128);
  EXPECT_EQ(ClipTableAt(-1), 127);
  EXPECT_EQ(ClipTableAt(2032 * 7), 255);
  EXPECT_EQ(ClipTableAt(-2048 * 7), 0);
  EXPECT_EQ(ClipTableAt(2032), 196);  // one channel at full scale of seven
  // Beyond the ends the sums count as the ends.
  EXPECT_EQ(ClipTableAt(1 << 20), 255);
  EXPECT_EQ(ClipTableAt(-(1 << 20)), 0);
  // Monotone throughout.
  for (int32_t s = -2048 * 7; s < 2032 * 7; ++s) ASSERT_LE(ClipTableAt(s), ClipTableAt(s + 1));
  // Against the formula at a few points of each side.
  for (int32_t i : {5, 100, 2000, 9000}) {
    EXPECT_EQ(ClipTableAt(i), static_cast<int>(128 + 0.5 * (254.0 * 7 * i / (2032.0 * 7 + 6.0 * i) + 1)));
    EXPECT_EQ(ClipTableAt(-i), static_cast<int>(128 - 0.5 * (256.0 * 7 * i / (2048.0 * 7 + 6.0 * i) + 1)));
  }
  ASSERT_EQ(BuildMixTables(1, 1024), 0);
  EXPECT_EQ(ClipTableAt(2032), 255);
  EXPECT_EQ(ClipTableAt(-2048), 0);
  EXPECT_EQ(BuildMixTables(0, 1024), -1);
  EXPECT_EQ(MixAccumulator(), nullptr);
}

TEST_F(TablesTest, MixInAtEqualDoubleHalfAndOddRates) {
  uint8_t src[8] = {129, 130, 131, 132, 133, 134, 135, 136};
  Clear();
  MixIn(src, 0, 4, 4, 1, 127, 0);  // equal
  EXPECT_EQ(Acc(5), (std::vector<int32_t>{16, 32, 48, 64, 0}));
  Clear();
  MixIn(src, 2, 6, 3, 1, 127, 0);  // half rate: each sample twice
  EXPECT_EQ(Acc(9), (std::vector<int32_t>{0, 0, 16, 16, 32, 32, 48, 48, 0}));
  Clear();
  MixIn(src, 0, 3, 6, 1, 127, 0);  // double rate: every second sample
  EXPECT_EQ(Acc(4), (std::vector<int32_t>{16, 48, 80, 0}));
  Clear();
  MixIn(src, 0, 5, 3, 1, 127, 0);  // 3 over 5 by the error term
  EXPECT_EQ(Acc(6), (std::vector<int32_t>{16, 32, 32, 48, 48, 0}));
  Clear();
  MixIn(src, 0, 3, 5, 1, 127, 0);  // 5 over 3: one step a sum at first
  EXPECT_EQ(Acc(4), (std::vector<int32_t>{16, 32, 48, 0}));
  Clear();
  MixIn(src, 0, 4, 7, 1, 127, 0);  // 7 over 4
  EXPECT_EQ(Acc(4), (std::vector<int32_t>{16, 32, 48, 80}));
  Clear();
  MixIn(src, 0, 4, 4, 1, 64, 0);  // level 24: 24 * 1 / 2
  EXPECT_EQ(Acc(1), (std::vector<int32_t>{12}));
}

TEST_F(TablesTest, MixInStaysInsideInputAndAccumulator) {
  // One input sample stretched over five outputs uses that sample only.
  uint8_t one[2] = {138, 255};
  Clear();
  MixIn(one, 0, 5, 1, 1, 127, 0);
  EXPECT_EQ(Acc(6), (std::vector<int32_t>{160, 160, 160, 160, 160, 0}));
  // A range past the accumulator's end is cut; outside it nothing happens.
  std::vector<uint8_t> src(64, 129);
  Clear();
  MixIn(src.data(), 1020, 64, 64, 1, 127, 0);
  EXPECT_EQ(MixAccumulator()[1023], 16);
  MixIn(src.data(), 1024, 4, 4, 1, 127, 0);
  MixIn(src.data(), -1, 4, 4, 1, 127, 0);
  MixIn(src.data(), 0, 4, 0, 1, 127, 0);
  MixIn(src.data(), 0, -4, 4, 1, 127, 0);
  EXPECT_EQ(MixAccumulator()[0], 0);
}

}  // namespace
