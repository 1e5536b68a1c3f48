#include <functional>

#include "base/bytes.h"
#include "base/mem.h"
#include "text_fixture.h"

namespace {

using texttest::Box;
using texttest::BoxFont;
using texttest::Glyphs;
using texttest::Picture;

class FontTest : public texttest::TextTest {
 protected:
  AnimResource* Load(const std::vector<uint8_t>& bytes) {
    FreeAnimResource(&r);
    EXPECT_EQ(LoadAnimResource(&r, WriteBytes("d.nut", bytes).c_str()), 0);
    return r;
  }
  void TearDown() override {
    FreeAnimResource(&r);
    TextTest::TearDown();
  }
  AnimResource* r = nullptr;
};

// Offset of the "FRME" header of frame `index` in a font image.
size_t FrameAt(const std::vector<uint8_t>& b, int index) {
  size_t p = 8 + 8 + ReadBE32(b.data() + 12);
  for (int i = 0; i < index; ++i) p += 8 + ReadBE32(b.data() + p + 4);
  return p;
}

Glyphs Numbered(int count) {
  Glyphs g(count);
  for (int c = 0; c < count; ++c) g[c] = Box(uint16_t(1 + c % 7), 3);
  return g;
}

TEST_F(FontTest, IndexesOneGlyphPerFrame) {
  Glyphs g = Numbered(80);
  g[66].reset();  // a frame without an object
  ASSERT_EQ(LoadAnimResource(&r, WriteFont("a.nut", g).c_str()), 0);
  EXPECT_EQ(r->count, 80);
  Font f = {nullptr, nullptr, r, 0, 0};
  EXPECT_EQ(GlyphWidth(&f, 65), 1 + 65 % 7);
  EXPECT_EQ(GlyphWidth(&f, 66), 0);
  EXPECT_EQ(GlyphWidth(&f, 67), 1 + 67 % 7);  // later frames keep their numbers
  EXPECT_FALSE(HasGlyph(&f, 80));
  FreeAnimResource(&r);
  EXPECT_EQ(r, nullptr);

  // An image in memory is read in place, only as far as its given size.
  const auto image = authoring::BuildNutFont(Numbered(10));
  ASSERT_EQ(LoadAnimResource(&r, image.data(), uint32_t(image.size())), 0);
  EXPECT_EQ(r->data, image.data());
  EXPECT_EQ(r->count, 10);
  FreeAnimResource(&r);  // not ours to free (the sanitizer would see it)
  ASSERT_EQ(LoadAnimResource(&r, image.data(), 820), 0);  // inside glyph 0
  EXPECT_EQ(r->count, 1);
  EXPECT_EQ(r->offsets[0], 0u);
}

TEST_F(FontTest, DamagedFilesHaveFewerGlyphs) {
  const auto good = authoring::BuildNutFont(Numbered(10));
  const size_t object = FrameAt(good, 3) + 16;  // glyph 3's object
  struct Damage {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> edit;
    int count;
    int missing;  // a frame left without a glyph, or -1
  };
  const Damage damages[] = {
      {"cut inside glyph 6", [&](auto& b) { b.resize(FrameAt(good, 6) + 20); }, 7, 6},
      {"object larger than its frame",
       [&](auto& b) { WriteBE32(b.data() + FrameAt(good, 2) + 12, ReadBE32(good.data() + FrameAt(good, 2) + 12) + 100); }, 10, 2},
      {"a literal longer than the object", [&](auto& b) { b[object + 18] = 0x40; }, 10, 3},
      {"container size past the file", [&](auto& b) { WriteBE32(b.data() + 4, 0x7FFFFFF0u); }, 10, -1},
      {"empty", [&](auto& b) { b.clear(); }, 0, -1},
  };
  for (const auto& d : damages) {
    auto bytes = good;
    d.edit(bytes);
    Load(bytes);
    EXPECT_EQ(r->count, d.count) << d.what;
    if (d.missing < 0) continue;
    EXPECT_EQ(r->offsets[d.missing], 0u) << d.what;
    EXPECT_NE(r->offsets[d.missing - 1], 0u) << d.what;
  }

  FreeAnimResource(&r);
  ClearLogs();
  EXPECT_EQ(LoadAnimResource(&r, Path("none.nut").c_str()), kErrCannotOpen);
  EXPECT_EQ(r, nullptr);
  EXPECT_EQ(ErrorLogEntries(),
            std::vector<std::string>{"Cannot open resource " + Path("none.nut") + "."});
}

TEST_F(FontTest, LineHeightComesFromGlyph72) {
  Glyphs g = BoxFont(8, 5);
  g[72] = Box(8, 9);
  Glyphs without = g;
  without[72].reset();
  for (auto [glyphs, height] : {std::pair{g, 9}, {without, 4}, {Numbered(72), 4}}) {
    Font* f = nullptr;
    ASSERT_EQ(LoadFont(&f, WriteFont("h.nut", glyphs).c_str(), 0), 0);
    EXPECT_EQ(f->height, height);
    EXPECT_EQ(f->next, f);
    FreeFont(&f);
  }
}

TEST_F(FontTest, RingOrderAndSelection) {
  const auto a = WriteFont("a.nut", BoxFont(8, 5));
  const auto b = WriteFont("b.nut", BoxFont(8, 6));
  const auto c = WriteFont("c.nut", BoxFont(8, 7));
  ASSERT_EQ(LoadRing({a, b, c}), 0);
  Font* anchor = DefaultFont();
  ASSERT_NE(anchor, nullptr);
  Font* two = anchor->next;
  Font* one = anchor->previous;
  EXPECT_EQ(anchor->number, 0);
  EXPECT_EQ(two->number, 2);
  EXPECT_EQ(two->next, one);
  EXPECT_EQ(one->next, anchor);
  EXPECT_EQ(one->height, 6);
  for (Font* from : {anchor, one, two}) {
    EXPECT_EQ(SelectFont(from, 1), one);
    EXPECT_EQ(SelectFont(from, 2), two);
    EXPECT_EQ(SelectFont(from, 7), anchor);
  }
  EXPECT_EQ(SelectFont(nullptr, 1), nullptr);  // the built-in font has no ring

  // Loading again into the default slot replaces the ring.
  ASSERT_EQ(LoadRing({b}), 0);
  EXPECT_EQ(DefaultFont()->height, 6);
  EXPECT_EQ(DefaultFont()->next, DefaultFont());
  FreeFonts(nullptr);
  EXPECT_EQ(DefaultFont(), nullptr);
  Font* mine = nullptr;  // a caller's slot leaves the default alone
  ASSERT_EQ(LoadFonts(&mine, 1, std::vector{a.c_str()}.data()), 0);
  EXPECT_EQ(DefaultFont(), nullptr);
  FreeFonts(&mine);
  EXPECT_EQ(mine, nullptr);
}

TEST_F(FontTest, MissingFonts) {
  const auto a = WriteFont("a.nut", BoxFont(8, 5));
  const auto c = WriteFont("c.nut", BoxFont(8, 7));
  // A missing middle font is left out of the ring.
  ASSERT_EQ(LoadRing({a, Path("b.nut"), c}), 0);
  Font* anchor = DefaultFont();
  ASSERT_NE(anchor, nullptr);
  EXPECT_EQ(anchor->next->number, 2);
  EXPECT_EQ(anchor->next->next, anchor);
  EXPECT_EQ(SelectFont(anchor, 1), anchor);
  EXPECT_EQ(SelectFont(anchor, 2)->height, 7);
  // Recorded once by the loader of the file and once by the font.
  EXPECT_EQ(ErrorLogEntries().size(), 2u);

  // A missing last font drops the whole ring.
  EXPECT_EQ(LoadRing({a, c, Path("d.nut")}), kErrCannotOpen);
  EXPECT_EQ(DefaultFont(), nullptr);
  EXPECT_EQ(LoadRing({Path("d.nut")}), kErrCannotOpen);
  EXPECT_EQ(DefaultFont(), nullptr);
  EXPECT_EQ(LoadFonts(nullptr, 0, nullptr), kErrBadIndex);
}

TEST_F(FontTest, DrawGlyphTintsAndBoxes) {
  Glyphs g(3);
  g[1] = authoring::GlyphFromRows({"#..", ".2.", "..#"}, 1, 2);
  ASSERT_EQ(LoadAnimResource(&r, WriteFont("g.nut", g).c_str()), 0);
  Picture pic(16, 16, 9);
  EXPECT_EQ(DrawGlyph(&pic.surface, nullptr, 3, 4, 0, r, 1, 20, 5), 0);
  EXPECT_EQ(pic.at(4, 6), 20);  // value 1 is the tint
  EXPECT_EQ(pic.at(5, 7), 21);  // value 2 the colour after it
  EXPECT_EQ(pic.at(6, 8), 20);
  EXPECT_EQ(pic.Count(9), 16 * 16 - 3);

  EXPECT_EQ(DrawGlyph(&pic.surface, nullptr, 3, 4, DrawOpaque, r, 1, 20, 5), 0);
  EXPECT_EQ(pic.at(5, 6), 5);  // the box shows through the skips
  EXPECT_EQ(pic.Count(5), 6);

  for (int16_t index : {0, 3, -1})
    EXPECT_EQ(DrawGlyph(&pic.surface, nullptr, 0, 0, 0, r, index, 1, 0), kErrBadIndex);
  EXPECT_EQ(DrawGlyph(&pic.surface, nullptr, 0, 0, 0, nullptr, 1, 1, 0), kErrBadIndex);
  EXPECT_EQ(pic.Count(5), 6);
}

}  // namespace
