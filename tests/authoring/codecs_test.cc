#include "authoring/codecs.h"

#include <gtest/gtest.h>

#include <cstring>

#include "decoder/decoder.h"

namespace authoring {
namespace {

// Decodes the run-length byte scheme, for checks that need no decoder.
std::vector<uint8_t> UnRunLength(const uint8_t* p, size_t n) {
  std::vector<uint8_t> out;
  size_t i = 0;
  while (i < n) {
    uint8_t c = p[i++];
    size_t count = (c >> 1) + 1;
    if (c & 1) {
      out.insert(out.end(), count, p[i++]);
    } else {
      out.insert(out.end(), p + i, p + i + count);
      i += count;
    }
  }
  return out;
}

std::vector<uint8_t> Pattern(int w, int h, uint32_t seed) {
  std::vector<uint8_t> px(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      // Flat areas, short runs and noise mixed.
      uint32_t v = (x / 9 + y / 5 + seed) % 7 == 0 ? ((x * 131 + y * 71 + seed) * 2654435761u) >> 24
                                                   : (x / 6 + y / 4 + seed) & 0x1F;
      px[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(v);
    }
  return px;
}

TEST(RunLengthCodes, RoundTripAndZeroRuns) {
  std::vector<uint8_t> data = {5, 5, 5, 5, 1, 2, 3, 0, 0, 4, 4};
  data.insert(data.end(), 300, 9);  // runs longer than 128
  for (int i = 0; i < 200; ++i) data.push_back(static_cast<uint8_t>(i * 37));  // long literal
  data.push_back(0);
  data.insert(data.end(), 5, 0);
  for (Zeros zeros : {Zeros::kAny, Zeros::kTransparent, Zeros::kOpaque}) {
    Bytes codes;
    PutRunLengthCodes(codes, data.data(), data.size(), zeros);
    EXPECT_EQ(UnRunLength(codes.data(), codes.size()), data);
    // Transparent: every 0 comes from a run code; opaque: from a literal.
    size_t i = 0;
    while (i < codes.size()) {
      uint8_t c = codes[i++];
      size_t count = (c >> 1) + 1;
      if (c & 1) {
        if (zeros == Zeros::kOpaque) {
          EXPECT_NE(codes[i], 0);
        }
        ++i;
      } else {
        for (size_t k = 0; k < count; ++k) {
          if (zeros == Zeros::kTransparent) {
            EXPECT_NE(codes[i + k], 0);
          }
        }
        i += count;
      }
    }
  }
}

TEST(ObjectPayloads, HeaderAndLineLayouts) {
  std::vector<uint8_t> px = {0, 0, 7, 7, 7, 0, 3, 0};  // 4 x 2
  Bytes rle = EncodeRunLength(1, -3, 4, 4, 2, px.data(), 4, Zeros::kTransparent);
  EXPECT_EQ(rle[0], 1);
  EXPECT_EQ(static_cast<int16_t>(GetLE16(rle.data() + 2)), -3);
  EXPECT_EQ(GetLE16(rle.data() + 4), 4);
  EXPECT_EQ(GetLE16(rle.data() + 6), 4);
  EXPECT_EQ(GetLE16(rle.data() + 8), 2);
  size_t len0 = GetLE16(rle.data() + 14);
  EXPECT_EQ(UnRunLength(rle.data() + 16, len0), (std::vector<uint8_t>{0, 0, 7, 7}));
  size_t len1 = GetLE16(rle.data() + 16 + len0);
  EXPECT_EQ(UnRunLength(rle.data() + 18 + len0, len1), (std::vector<uint8_t>{7, 0, 3, 0}));
  EXPECT_EQ(rle.size(), 18 + len0 + len1);

  Bytes raw = EncodeRaw(1, 2, 4, 2, px.data(), 4);
  EXPECT_EQ(raw[0], 20);
  EXPECT_EQ(raw.size(), 14u + 8);
  EXPECT_EQ(raw[14 + 4], 7);

  // Skip-literal: skip 2, literal of 2 (field 1), then the line is covered.
  Bytes sl = EncodeSkipLiteral(21, 0, 0, 4, 1, px.data(), 4);
  EXPECT_EQ(sl[0], 21);
  EXPECT_EQ(GetLE16(sl.data() + 14), 6);
  EXPECT_EQ(GetLE16(sl.data() + 16), 2);
  EXPECT_EQ(GetLE16(sl.data() + 18), 1);
  EXPECT_EQ(sl[20], 7);
  EXPECT_EQ(sl.size(), 14u + 2 + 6);
}

TEST(DeltaTile, VectorTablesFollowTheirRules) {
  EXPECT_EQ(DeltaTileVector(0, 0), (std::array<int8_t, 2>{0, 0}));
  EXPECT_EQ(DeltaTileVector(0, 17), (std::array<int8_t, 2>{1, 1}));
  EXPECT_EQ(DeltaTileVector(0, 254), (std::array<int8_t, 2>{-17, -21}));
  for (int t = 1; t <= 2; ++t) {
    EXPECT_EQ(DeltaTileVector(t, 0), (std::array<int8_t, 2>{0, 0}));
    for (int k = 1; k <= 127; ++k) {
      auto a = DeltaTileVector(t, k), b = DeltaTileVector(t, 254 - k);
      if (k == 127) continue;  // its own pair is 254 and 127 is checked below
      EXPECT_EQ(a[0], -b[0]);
      EXPECT_EQ(a[1], -b[1]);
    }
  }
  EXPECT_EQ(DeltaTileVector(1, 127), (std::array<int8_t, 2>{0, -31}));
  EXPECT_EQ(DeltaTileVector(1, 254), (std::array<int8_t, 2>{0, 31}));
  EXPECT_EQ(DeltaTileVector(2, 127), (std::array<int8_t, 2>{0, -23}));
  EXPECT_EQ(DeltaTileVector(2, 254), (std::array<int8_t, 2>{0, 23}));
}

TEST(DeltaTile, FrameHeadersSequenceAndSizes) {
  const int w = 64, h = 32;
  std::vector<uint8_t> a = Pattern(w, h, 1);
  DeltaTileEncoder enc(w, h);
  Bytes intra = enc.Intra(a.data(), w, 0);
  EXPECT_EQ(intra[0], 37);
  EXPECT_EQ(intra[14], 0);                           // method
  EXPECT_EQ(GetLE16(intra.data() + 16), 0);          // sequence
  EXPECT_EQ(GetLE32(intra.data() + 18), 64u * 32);   // length
  EXPECT_EQ(intra[26], 4);                           // extended opcodes
  EXPECT_EQ(intra.size(), 14u + 16 + 64 * 32);
  Bytes rle = enc.Intra(a.data(), w, 2);
  EXPECT_EQ(rle[14], 2);
  EXPECT_EQ(UnRunLength(rle.data() + 30, rle.size() - 30), a);
  // An unchanged picture is two run codes of 128 blocks in method 4.
  Bytes same = enc.Inter(a.data(), w, 4);
  EXPECT_EQ(same[14], 4);
  EXPECT_EQ(GetLE16(same.data() + 16), 2);
  EXPECT_EQ(same.size(), 30u + 2);
  EXPECT_EQ(same[31], 127);
  // Method 3 gives one opcode (vector 0) per block.
  Bytes same3 = enc.Inter(a.data(), w, 3);
  EXPECT_EQ(same3.size(), 30u + 16 * 8);
  Bytes hold = enc.Hold();
  EXPECT_EQ(hold[14], 1);
  EXPECT_EQ(enc.next_sequence(), 5);
}

TEST(DeltaTile, ScrolledPictureIsCodedWithMotionVectors) {
  const int w = 96, h = 64;
  std::vector<uint8_t> big = Pattern(w + 8, h + 8, 3);
  std::vector<uint8_t> a(w * h), b(w * h);
  for (int y = 0; y < h; ++y) {
    std::memcpy(&a[y * w], &big[(y + 4) * (w + 8) + 4], w);
    std::memcpy(&b[y * w], &big[(y + 3) * (w + 8) + 6], w);  // moved by (-2, +1)
  }
  DeltaTileEncoder enc(w, h);
  enc.Intra(a.data(), w);
  Bytes inter = enc.Inter(b.data(), w, 3);
  size_t literals = 0, blocks = 0;
  for (size_t i = 30; i < inter.size(); ++blocks) {
    uint8_t op = inter[i++];
    if (op == 0xFF) ++literals, i += 16;
    else if (op == 0xFD) i += 1;
    else if (op == 0xFE) i += 4;
  }
  EXPECT_EQ(blocks, size_t{w / 4 * h / 4});
  // Only the edge blocks that the move uncovers may need literals.
  EXPECT_LE(literals, size_t{w / 4 + h / 4 + 1});
}


class Decode : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(InitDecoder(kStandardCodecCount, kStandardCodecProcs, kStandardCodecNumbers, 320, 200), 0);
  }
  void TearDown() override { ShutdownDecoder(); }

  // Draws on a canvas filled with `fill`; true when any pixel changed.
  bool Draw(const Bytes& object, std::vector<uint8_t>& canvas, int w, int h, uint8_t fill,
            uint16_t flags = 0, int16_t* result = nullptr) {
    canvas.assign(static_cast<size_t>(w) * h, fill);
    Surface s{canvas.data(), static_cast<uint16_t>(w), static_cast<uint16_t>(h)};
    int16_t r = DrawObject(&s, nullptr, 0, 0, flags, object.data(), static_cast<uint32_t>(object.size()), 1, 0);
    if (result) *result = r;
    for (uint8_t v : canvas)
      if (v != fill) return true;
    return false;
  }
};

std::vector<uint8_t> Crop(const std::vector<uint8_t>& canvas, int cw, int x, int y, int w, int h) {
  std::vector<uint8_t> out;
  for (int r = 0; r < h; ++r) out.insert(out.end(), &canvas[(y + r) * cw + x], &canvas[(y + r) * cw + x + w]);
  return out;
}

TEST_F(Decode, LineCodecsReproduceTheirPictures) {
  const int w = 37, h = 9;
  std::vector<uint8_t> px = Pattern(w, h, 5);
  for (int i = 0; i < w * h; i += 7) px[i] = 0;  // single zeros
  std::memset(&px[2 * w + 3], 0, 9);           // and a run of them
  struct Case {
    const char* name;
    Bytes object;
    bool zero_shows_canvas;  // pixels 0 leave the canvas as it was
  } cases[] = {
      {"codec 3", EncodeRunLength(3, 5, 6, w, h, px.data(), w), false},
      {"codec 1 opaque zeros", EncodeRunLength(1, 5, 6, w, h, px.data(), w, Zeros::kOpaque), false},
      {"codec 1 transparent", EncodeRunLength(1, 5, 6, w, h, px.data(), w, Zeros::kTransparent), true},
      {"codec 20", EncodeRaw(5, 6, w, h, px.data(), w), false},
      {"codec 21", EncodeSkipLiteral(21, 5, 6, w, h, px.data(), w), true},
  };
  bool zeros = false;
  for (uint8_t v : px) zeros |= v == 0;
  ASSERT_TRUE(zeros);
  for (const Case& c : cases) {
    std::vector<uint8_t> canvas;
    ASSERT_TRUE(Draw(c.object, canvas, 64, 20, 0xEE)) << c.name;
    std::vector<uint8_t> want = px;
    if (c.zero_shows_canvas)
      for (uint8_t& v : want)
        if (v == 0) v = 0xEE;
    EXPECT_EQ(Crop(canvas, 64, 5, 6, w, h), want) << c.name;
  }
}

TEST_F(Decode, DeltaTileSequencesDecodeBitExactly) {
  const int w = 320, h = 200;
  struct Variant {
    DeltaTileEncoder::Options options;
    int method;
  } variants[] = {
      {{0, true, false, false, 0, 0}, 4},
      {{1, false, false, false, 0, 0}, 3},
      {{2, true, true, false, 0, 0}, 4},
      {{0, false, true, false, 0, 0}, 3},
  };
  std::vector<uint8_t> big = Pattern(w + 64, h + 64, 11);
  for (const Variant& v : variants) {
    DeltaTileEncoder enc(w, h, v.options);
    std::vector<uint8_t> canvas(w * h);
    for (int k = 0; k < 8; ++k) {
      // A scrolling picture with a solid bar and a changing square.
      std::vector<uint8_t> pic(w * h);
      for (int y = 0; y < h; ++y) std::memcpy(&pic[y * w], &big[(y + k * 3) * (w + 64) + k * 5], w);
      for (int y = 40; y < 60; ++y) std::memset(&pic[y * w + 100], 200 + k, 80);
      for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x) pic[(y + 150) * w + x + 10 * k] = static_cast<uint8_t>(x ^ y ^ k);
      Bytes obj = k == 0 ? enc.Intra(pic.data(), w, v.method == 3 ? 0 : 2) : enc.Inter(pic.data(), w, v.method);
      int16_t r = 0;
      Draw(obj, canvas, w, h, 0xEE, 0, &r);
      ASSERT_EQ(r, 0);
      ASSERT_EQ(canvas, pic) << "table " << int(v.options.vector_table) << " frame " << k;
    }
  }
}

TEST_F(Decode, DeltaTileOddSizesAndDroppedFrames) {
  const int w = 318, h = 50;  // stride 320, blocks cover two hidden columns
  DeltaTileEncoder::Options o;
  o.droppable = true;
  o.x = 1;
  o.y = 3;
  DeltaTileEncoder enc(w, h, o);
  std::vector<uint8_t> big = Pattern(w + 40, h + 40, 2);
  std::vector<std::vector<uint8_t>> pics;
  for (int k = 0; k < 6; ++k) {
    std::vector<uint8_t> pic(w * h);
    for (int y = 0; y < h; ++y) std::memcpy(&pic[y * w], &big[(y + k) * (w + 40) + 2 * k], w);
    pics.push_back(pic);
  }
  std::vector<Bytes> objects;
  objects.push_back(enc.Intra(pics[0].data(), w));
  for (int k = 1; k < 6; ++k) objects.push_back(enc.Inter(pics[k].data(), w));
  std::vector<uint8_t> canvas;
  for (int k = 0; k < 6; ++k) {
    // Late: the odd frames are dropped; the even ones still come out exact.
    int16_t r = 0;
    bool drew = Draw(objects[k], canvas, 320, 60, 0xEE, DrawLateFrame, &r);
    if (k == 0) {
      ASSERT_TRUE(drew);
    }
    if (k % 2 == 1) {
      EXPECT_EQ(r, 1) << k;
      continue;
    }
    ASSERT_EQ(r, 0);
    ASSERT_EQ(Crop(canvas, 320, 1, 3, w, h), pics[k]) << "frame " << k;
  }
}


}  // namespace
}  // namespace authoring
