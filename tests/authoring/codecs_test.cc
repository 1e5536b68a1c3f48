#include "authoring/codecs.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "base/bytes.h"
#include "decoder/decoder.h"

namespace authoring {
namespace {

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

TEST(DeltaTile, UnchangedPicturesAreRunsAndSequencesCount) {
  const int w = 64, h = 32;
  std::vector<uint8_t> a = Pattern(w, h, 1);
  DeltaTileEncoder enc(w, h);
  Bytes intra = enc.Intra(a.data(), w, 0);
  EXPECT_EQ(intra.size(), 14u + 16 + 64 * 32);
  // An unchanged picture is two run codes of 128 blocks in method 4.
  Bytes same = enc.Inter(a.data(), w, 4);
  EXPECT_EQ(ReadLE16(same.data() + 16), 1);  // sequence
  EXPECT_EQ(same.size(), 30u + 2);
  EXPECT_EQ(same[31], 127);
  // Method 3 gives one opcode (vector 0) per block.
  EXPECT_EQ(enc.Inter(a.data(), w, 3).size(), 30u + 16 * 8);
  EXPECT_EQ(enc.Hold()[14], 1);
  EXPECT_EQ(enc.next_sequence(), 4);
}

class Decode : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(InitDecoder(kStandardCodecCount, kStandardCodecProcs, kStandardCodecNumbers, 320, 200), 0);
  }
  void TearDown() override { ShutdownDecoder(); }

  // Draws on a canvas filled with `fill`.
  int16_t Draw(const Bytes& object, std::vector<uint8_t>& canvas, int w, int h, uint8_t fill,
               uint16_t flags = 0) {
    canvas.assign(static_cast<size_t>(w) * h, fill);
    Surface s{canvas.data(), static_cast<uint16_t>(w), static_cast<uint16_t>(h)};
    return DrawObject(&s, nullptr, 0, 0, flags, object.data(), static_cast<uint32_t>(object.size()), 1, 0);
  }
};

std::vector<uint8_t> Crop(const std::vector<uint8_t>& canvas, int cw, int x, int y, int w, int h) {
  std::vector<uint8_t> out;
  for (int r = 0; r < h; ++r) out.insert(out.end(), &canvas[(y + r) * cw + x], &canvas[(y + r) * cw + x + w]);
  return out;
}

TEST_F(Decode, LineCodecsReproduceTheirPictures) {
  // Zeros drawn through the decoder show whether they were coded as runs or
  // literals; rows 4 and 5 hold a run and a literal longer than 128.
  const int w = 300, h = 9;
  std::vector<uint8_t> px = Pattern(w, h, 5);
  for (int i = 0; i < w * h; i += 7) px[i] = 0;  // single zeros
  std::memset(&px[2 * w + 3], 0, 9);           // and a run of them
  std::memset(&px[4 * w], 9, w);
  for (int i = 0; i < 200; ++i) px[5 * w + 50 + i] = static_cast<uint8_t>(i * 37 + 1);
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
  for (const Case& c : cases) {
    std::vector<uint8_t> canvas;
    ASSERT_EQ(Draw(c.object, canvas, 320, 20, 0xEE), 0) << c.name;
    std::vector<uint8_t> want = px;
    if (c.zero_shows_canvas)
      for (uint8_t& v : want)
        if (v == 0) v = 0xEE;
    EXPECT_EQ(Crop(canvas, 320, 5, 6, w, h), want) << c.name;
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
      ASSERT_EQ(Draw(obj, canvas, w, h, 0xEE), 0);
      ASSERT_EQ(canvas, pic) << "table " << int(v.options.vector_table) << " frame " << k;
    }
  }
}

// Left to choose, the encoder takes the smaller key-frame method, the
// smaller block method, and per block the cheapest code; the decoder still
// gives back every picture.
TEST_F(Decode, DeltaTileChoosesTheCheapestCodings) {
  const int w = 64, h = 32, blocks = (w / 4) * (h / 4);
  DeltaTileEncoder enc(w, h);
  std::vector<uint8_t> canvas;
  std::vector<uint8_t> noise = Pattern(w, h, 7), flat(w * h, 7), moved = flat, checker = flat;
  for (int i = 0; i < w * h; ++i) noise[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
  for (int y = 8; y < 12; ++y)
    for (int x = 0; x < 4; ++x) flat[y * w + 3 + x] = 9, moved[y * w + 8 + x] = 9;
  for (int b = 0; b < blocks; b += 2)
    for (int r = 0; r < 4; ++r) checker[(b / 16 * 4 + r) * w + b % 16 * 4] = 1;
  struct Step {
    const char* name;
    const std::vector<uint8_t>* picture;
    bool intra;
    uint8_t method;
    size_t size;  // of the codec data, 0: not checked
  } steps[] = {
      {"noise key frame: raw", &noise, true, 0, 16 + w * h},
      {"flat key frame: run-length", &flat, true, 2, 0},
      // Every block one byte: the moved solid block is a motion vector, not a
      // fill; the blocks it left are copies of flat ones.
      {"moved block: vectors", &moved, false, 4, 16 + 2 + 3 + 2},
      {"lone changes: method 3", &checker, false, 3, 16 + blocks / 2 * 17 + blocks / 2},
      {"nothing changed: method 4", &checker, false, 4, 16 + 2},
  };
  for (const Step& s : steps) {
    Bytes object = s.intra ? enc.Intra(s.picture->data(), w) : enc.Inter(s.picture->data(), w);
    EXPECT_EQ(object[14], s.method) << s.name;
    if (s.size) {
      EXPECT_EQ(object.size() - 14, s.size) << s.name;
    }
    ASSERT_EQ(Draw(object, canvas, w, h, 0xEE), 0) << s.name;
    EXPECT_EQ(canvas, *s.picture) << s.name;
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
  std::vector<uint8_t> canvas, pic(w * h);
  for (int k = 0; k < 6; ++k) {
    for (int y = 0; y < h; ++y) std::memcpy(&pic[y * w], &big[(y + k) * (w + 40) + 2 * k], w);
    Bytes object = k == 0 ? enc.Intra(pic.data(), w) : enc.Inter(pic.data(), w);
    // Late: the odd frames are dropped; the even ones still come out exact.
    int16_t r = Draw(object, canvas, 320, 60, 0xEE, DrawLateFrame);
    ASSERT_EQ(r, k % 2) << "frame " << k;
    if (r != 0) continue;
    ASSERT_EQ(Crop(canvas, 320, 1, 3, w, h), pic) << "frame " << k;
  }
}

// The pixels a clip (or the whole canvas) lets the codecs change.
struct Bounds {
  int left, top, right, bottom;
  bool Inside(int x, int y, int margin = 0) const {
    return x >= left + margin && x < right - margin && y >= top + margin && y < bottom - margin;
  }
};

// Draws `object` on the canvas through the player's decoder, clipped by
// `clip` unless its width is 0; returns the pixels the clip lets it change.
Bounds DrawClipped(std::vector<uint8_t>& canvas, int cw, int ch, const ClipRect& clip,
                   const Bytes& object) {
  Surface s{canvas.data(), uint16_t(cw), uint16_t(ch)};
  EXPECT_EQ(DrawObject(&s, clip.width ? &clip : nullptr, 0, 0, 0, object.data(),
                       static_cast<uint32_t>(object.size()), 1, 0),
            0);
  return clip.width ? Bounds{clip.left, clip.top, clip.left + clip.width, clip.top + clip.height}
                    : Bounds{0, 0, cw, ch};
}

TEST_F(Decode, ShadeObjectsChangeExactlyTheirPixels) {
  const int cw = 320, ch = 200;
  std::mt19937 rng(23);
  std::vector<uint8_t> start(cw * ch);
  for (uint8_t& v : start) v = static_cast<uint8_t>(rng());
  std::array<uint8_t, 256> reverse{}, plus_three{};
  for (int i = 0; i < 256; ++i) reverse[i] = static_cast<uint8_t>(255 - i), plus_three[i] = static_cast<uint8_t>(i + 3);
  // A wide mask: runs longer than 255 both ways, empty rows, single pixels.
  const int w = 300, h = 40;
  std::vector<uint8_t> mask(w * h, 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      mask[y * w + x] = y % 7 == 3 ? 0 : y % 5 == 0 ? 1 : y % 5 == 1 ? x == w - 1 : (rng() & 3) == 0;
  std::vector<PixelPos> scattered;
  for (int i = 0; i < 500; ++i)
    scattered.push_back({static_cast<int16_t>(int(rng() % 360) - 20), static_cast<int16_t>(int(rng() % 240) - 20)});
  struct Case {
    const char* name;
    ShadeMode mode;
    const std::array<uint8_t, 256>* table;  // the one in effect, null for offset mode
    int x, y;
    ClipRect clip;  // width 0: none
    bool list;      // drawn from `scattered` instead of the mask
  } cases[] = {
      {"offset", ShadeMode::Offset(4), nullptr, 10, 30, {}, false},
      {"offset 0", ShadeMode::Offset(0), nullptr, 10, 30, {}, false},
      {"table sent", ShadeMode::SendTable(reverse), &reverse, 10, 30, {}, false},
      {"table kept", ShadeMode::KeptTable(), &reverse, -40, -10, {}, false},
      {"other table", ShadeMode::SendTable(plus_three), &plus_three, 60, 170, {}, false},
      {"kept, clipped", ShadeMode::KeptTable(), &plus_three, 5, 20, {17, 25, 200, 30}, false},
      {"list over the edges", ShadeMode::Offset(200), nullptr, 0, 0, {}, true},
      {"list, clipped", ShadeMode::KeptTable(), &plus_three, 0, 0, {3, 4, 300, 150}, true},
  };
  for (const Case& c : cases) {
    const Bytes object = c.list ? EncodeShade(scattered, c.mode)
                                : EncodeShade(static_cast<int16_t>(c.x), static_cast<int16_t>(c.y), w, h,
                                              mask.data(), w, c.mode);
    std::vector<uint8_t> canvas = start;
    SCOPED_TRACE(c.name);
    const Bounds b = DrawClipped(canvas, cw, ch, c.clip, object);
    std::vector<uint8_t> want = start;
    auto change = [&](int x, int y) {
      if (!b.Inside(x, y)) return;
      uint8_t& p = want[y * cw + x];
      p = c.table ? (*c.table)[p] : static_cast<uint8_t>(p + c.mode.param);
    };
    if (c.list) {
      std::vector<PixelPos> once = scattered;
      std::sort(once.begin(), once.end(), [](PixelPos a, PixelPos b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
      once.erase(std::unique(once.begin(), once.end()), once.end());
      for (PixelPos p : once) change(p.x, p.y);
    } else {
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          if (mask[y * w + x]) change(c.x + x, c.y + y);
    }
    EXPECT_EQ(canvas, want) << c.name;
  }
}

// What smoothing the listed pixels in row order does to a canvas: the
// oracle the encoded objects are held to.
void SmoothModel(std::vector<uint8_t>& canvas, int cw, const Bounds& b, std::vector<PixelPos> pixels,
                 const SmoothingTables& t) {
  std::sort(pixels.begin(), pixels.end(), [](PixelPos a, PixelPos b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
  pixels.erase(std::unique(pixels.begin(), pixels.end()), pixels.end());
  for (PixelPos p : pixels) {
    if (!b.Inside(p.x, p.y, 1)) continue;
    int sum[3] = {};
    for (int at : {p.y * cw + p.x - 1, p.y * cw + p.x + 1, (p.y - 1) * cw + p.x, (p.y + 1) * cw + p.x})
      for (int k = 0; k < 3; ++k) sum[k] += t.palette[3 * canvas[at] + k];
    canvas[p.y * cw + p.x] = t.colours[((sum[0] >> 5) << 10) | ((sum[1] >> 5) << 5) | (sum[2] >> 5)];
  }
}

TEST_F(Decode, SmoothingObjectsMatchTheirModelWithSentAndKeptTables) {
  const int cw = 320, ch = 600;  // taller than a one-byte move down
  std::mt19937 rng(45);
  uint8_t palette[768];
  for (int i = 0; i < 256; ++i) {  // a ramp of greys, reds and blues, then noise
    const int v = (i % 64) * 4;
    palette[3 * i] = static_cast<uint8_t>(i < 64 ? v : i < 128 ? v : 0);
    palette[3 * i + 1] = static_cast<uint8_t>(i < 64 ? v : 0);
    palette[3 * i + 2] = static_cast<uint8_t>(i < 64 ? v : i < 128 ? 0 : i < 192 ? v : rng());
  }
  palette[765] = 124, palette[766] = 4, palette[767] = 124;  // a purple
  const SmoothingTables all = SmoothingTablesFor(palette);
  const SmoothingTables greys = SmoothingTablesFor(palette, 0, 63);
  // Two red and two blue neighbours (index 15 << 10 | 15) give the purple,
  // unless it is left out.
  EXPECT_EQ(all.colours[(15 << 10) | 15], 255);
  EXPECT_LT(greys.colours[(15 << 10) | 15], 64);
  std::vector<uint8_t> start(cw * ch);
  for (int y = 0; y < ch; ++y)
    for (int x = 0; x < cw; ++x) start[y * cw + x] = static_cast<uint8_t>(y < 300 ? rng() : (x / 20) * 4);

  std::vector<PixelPos> random, band, tall;
  for (int i = 0; i < 3000; ++i)
    random.push_back({static_cast<int16_t>(int(rng() % 340) - 10), static_cast<int16_t>(int(rng() % 320) - 10)});
  for (int y = 100; y < 104; ++y)
    for (int x = -5; x < 325; ++x) band.push_back({static_cast<int16_t>(x), static_cast<int16_t>(y)});  // runs over 256
  for (int y : {2, 3, 290, 599, 598, 597})  // gaps of more than 255 rows, the last rows
    for (int x : {0, 1, 2, 100, 318, 319}) tall.push_back({static_cast<int16_t>(x), static_cast<int16_t>(y)});
  struct Case {
    const char* name;
    const std::vector<PixelPos>* pixels;
    const SmoothingTables* sent;  // null: kept
    const SmoothingTables* used;
    ClipRect clip;  // width 0: none
  } cases[] = {
      {"random, tables sent", &random, &all, &all, {}},
      {"band, kept", &band, nullptr, &all, {}},
      {"tall, greys sent", &tall, &greys, &greys, {}},
      {"random, kept, clipped", &random, nullptr, &greys, {40, 30, 100, 50}},
      {"band, clip ends above it", &band, &all, &all, {0, 0, 320, 101}},
      {"tall, clipped", &tall, nullptr, &all, {1, 2, 317, 596}},
  };
  std::vector<uint8_t> canvas = start, want = start;  // each case works on what the last left
  for (const Case& c : cases) {
    const Bytes object = EncodeSmoothing(*c.pixels, c.sent);
    SCOPED_TRACE(c.name);
    const Bounds b = DrawClipped(canvas, cw, ch, c.clip, object);
    SmoothModel(want, cw, b, *c.pixels, *c.used);
    ASSERT_EQ(canvas, want) << c.name;
    if (c.used != &greys) continue;
    for (PixelPos p : *c.pixels) {
      if (b.Inside(p.x, p.y, 1)) {
        ASSERT_LT(canvas[p.y * cw + p.x], 64) << c.name;
      }
    }
  }
  // The mask form codes the same object as the list of its pixels.
  std::vector<uint8_t> mask(30 * 20);
  std::vector<PixelPos> listed;
  for (int i = 0; i < 600; ++i)
    if ((mask[i] = (i * 7) % 5 == 0)) listed.push_back({static_cast<int16_t>(50 + i % 30), static_cast<int16_t>(60 + i / 30)});
  listed.push_back({79, 79});
  mask.back() = 1;
  EXPECT_EQ(EncodeSmoothing(50, 60, 30, 20, mask.data(), 30, nullptr), EncodeSmoothing(listed, nullptr));
}

}  // namespace
}  // namespace authoring
