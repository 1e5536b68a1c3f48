// Worked examples of the codecs the line model of property_test.cc does not
// cover (codec 2 in both forms, the raw codec 20) and of skip-literal cuts at
// exact edges, each a payload drawn on a small picture and the whole picture
// expected afterwards (E = the untouched background). Transparency, mirroring,
// tint, shading and the opaque box of the line codecs are checked against
// that model.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "payload.h"

using namespace dtest;

namespace {

constexpr uint8_t E = 0xEE;

Bytes Object(uint8_t codec, int width, int height, std::initializer_list<Bytes> lines, int param = 0) {
  Bytes p = Header(codec, 0, 0, width, height, param);
  for (const Bytes& line : lines) Append(p, line);
  return p;
}

// A 10 x 2 run-length object: pixels 1..10 as a literal, then 4 x 0 and 6 x 8.
Bytes TenByTwo(uint8_t codec, int param = 0) {
  return Object(codec, 10, 2,
                {LengthLine({0x12, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}), LengthLine({0x07, 0, 0x0B, 8})},
                param);
}
Bytes Fill(int n, uint8_t v) { return Bytes(static_cast<size_t>(n), v); }
Bytes Seq(int from, int n) {
  Bytes b;
  for (int i = 0; i < n; ++i) b.push_back(static_cast<uint8_t>(from + i));
  return b;
}

struct Case {
  std::string name;
  int w, h;
  uint8_t background;
  Bytes payload;
  int x, y;
  uint16_t flags;
  Bytes want;
  uint8_t tint = 1, fill = 0;
};

void PrintTo(const Case& k, std::ostream* os) { *os << k.name; }

class Examples : public ::testing::TestWithParam<Case> {
 protected:
  DecoderRun run_;
};

TEST_P(Examples, DrawTheExpectedPicture) {
  const Case& k = GetParam();
  Canvas c(k.w, k.h, k.background);
  EXPECT_EQ(Draw(c, k.payload, static_cast<int16_t>(k.x), static_cast<int16_t>(k.y), k.flags,
                 nullptr, k.tint, k.fill),
            0);
  EXPECT_EQ(c.Pixels(), k.want);
  EXPECT_TRUE(c.GuardsIntact());
}

const Case kCases[] = {
    {"Codec2WithParamIsCodec1", 10, 1, E, TenByTwo(2, 1), 0, 0, DrawMirrorX,
     {10, 9, 8, 7, 6, 5, 4, 3, 2, 1}},
    {"PointListMovesAccumulate", 6, 2, E,
     Rows({Header(2, 5, 0, 0, 0), {0, 0, 0, 1}, {0xFB, 0xFF, 0, 2}, {0xFF, 0xFF, 0, 3},
           {2, 0, 1, 4}, {0, 0, 0, 5}, {1}}),
     0, 0, 0, Rows({{2, E, E, E, E, 1}, {E, 5, E, E, E, E}})},
    // Cuts that end inside a literal or a skip: edges the random model seldom hits.
    {"LeftCutSkipLiteral", 6, 1, E, Object(21, 6, 1, {SkipLitLine({{1, {1, 2, 3}}, {1, {4, 5}}})}),
     -2, 0, 0, {2, 3, E, 4, E, E}},
    {"SkipEndingAtTheCutThenLiteral", 4, 1, E,
     Object(21, 7, 1, {SkipLitLine({{3, {1, 2}}, {1, {3}}})}), -3, 0, 0, {1, 2, E, 3}},
    {"RawFromTheFifthByteAtMinus4", 320, 1, E, Rows({Header(20, 0, 0, 8, 1), Seq(1, 8)}), -4, 0, 0,
     Rows({Seq(5, 4), Fill(316, E)})},
    {"RawShortDataDrawsWhatItHas", 4, 2, E, Rows({Header(20, 0, 0, 4, 2), Seq(1, 6)}), 0, 0, 0,
     {1, 2, 3, 4, 5, 6, E, E}},
};

INSTANTIATE_TEST_SUITE_P(Codecs, Examples, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) { return info.param.name; });

// Clipping on all four sides for the raw codec (the line codecs are compared
// with the model under random clips): an 8 x 8 object of distinct pixels at
// (2, 3) under the clip (4, 5, 4, 3).
TEST(Clip, AllFourSides) {
  DecoderRun run;
  Bytes p = Header(20, 0, 0, 8, 8, 1);
  for (int row = 0; row < 8; ++row) Append(p, Seq(row * 10 + 1, 8));
  Canvas c(12, 12, 100);
  ClipRect clip{4, 5, 4, 3};
  Draw(c, p, 2, 3, 0, &clip);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 12; ++x) {
      bool inside = x >= 4 && x < 8 && y >= 5 && y < 8;
      ASSERT_EQ(c.at(x, y), inside ? (y - 3) * 10 + (x - 2) + 1 : 100) << x << "," << y;
    }
}

TEST(ShadeTable, LoadedKeptAndRefusedWhenShort) {
  DecoderRun run;
  Canvas c(4, 1, 0);
  for (int i = 0; i < 4; ++i) c.at(i, 0) = static_cast<uint8_t>(i);
  Bytes p = Header(23, 0, 0, 4, 1, 256);
  for (int i = 0; i < 256; ++i) p.push_back(static_cast<uint8_t>(255 - i));
  Append(p, LengthLine({1, 2}));
  Draw(c, p);
  EXPECT_EQ(c.Pixels(), (Bytes{0, 254, 253, 3}));
  Bytes later = Object(23, 4, 1, {LengthLine({0, 1})}, 300);
  Draw(c, later);
  EXPECT_EQ(c.at(0, 0), 255);
  Bytes short_table = Header(23, 0, 0, 4, 1, 256);
  short_table.resize(short_table.size() + 100, 7);
  Draw(c, short_table);
  Draw(c, later);
  EXPECT_EQ(c.at(0, 0), 0);  // the kept table, not the short one
}

TEST(PointList, SizeCountsRecordsButOnlyRealBytesAreRead) {
  DecoderRun run;
  Bytes p = Rows({Header(2, 0, 0, 8, 2), {1, 0, 0, 10}, {1, 0, 0, 11}});
  Bytes padded = p;
  padded.resize(p.size() + 8, 0x77);  // past the real object: never read
  Canvas c(8, 1, 0), d(8, 1, 0);
  EXPECT_EQ(DrawObjectWithin(c.surface(), nullptr, 0, 0, 0, padded.data(), 30, 22, 1, 0), 0);
  EXPECT_EQ(c.Pixels(), (Bytes{0, 10, 11, 0, 0, 0, 0, 0}));
  EXPECT_EQ(DrawObjectWithin(d.surface(), nullptr, 0, 0, 0, p.data(), 18, 22, 1, 0), 0);
  EXPECT_EQ(d.Pixels(), (Bytes{0, 10, 0, 0, 0, 0, 0, 0}));
  // The run-length form ignores a ghost redraw's short size.
  Canvas e(10, 1, E);
  Bytes q = TenByTwo(2, 1);
  DrawObjectWithin(e.surface(), nullptr, 0, 0, 0, q.data(), 6, static_cast<uint32_t>(q.size()), 1, 0);
  EXPECT_EQ(e.Pixels(), Seq(1, 10));
}

}  // namespace
