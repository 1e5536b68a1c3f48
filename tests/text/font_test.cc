#include <cstring>

#include "stream/mem.h"
#include "text_fixture.h"

namespace {

using texttest::Box;
using texttest::BoxFont;
using texttest::Glyphs;
using texttest::Picture;

class FontTest : public texttest::TextTest {};

uint32_t Be32(const std::vector<uint8_t>& b, size_t at) {
  return (uint32_t{b[at]} << 24) | (b[at + 1] << 16) | (b[at + 2] << 8) | b[at + 3];
}
void SetBe32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * (3 - i)));
}
// Offset of the "FRME" header of frame `index` in a font image.
size_t FrameAt(const std::vector<uint8_t>& b, int index) {
  size_t p = 8 + 8 + Be32(b, 12);
  for (int i = 0; i < index; ++i) p += 8 + Be32(b, p + 4);
  return p;
}

Glyphs Numbered(int count, uint16_t width_base = 1) {
  Glyphs g(count);
  for (int c = 0; c < count; ++c) g[c] = Box(uint16_t(width_base + c % 7), 3);
  return g;
}

// ---- Indexing ----------------------------------------------------------------

TEST_F(FontTest, IndexesOneGlyphPerFrame) {
  Glyphs g = Numbered(80);
  g[66].reset();  // a frame without an object
  AnimResource* r = nullptr;
  ASSERT_EQ(LoadAnimResource(&r, WriteFont("a.nut", g).c_str()), 0);
  EXPECT_EQ(r->count, 80);
  EXPECT_EQ(r->owned, 1u);
  EXPECT_NE(r->offsets[65], 0u);
  EXPECT_EQ(r->offsets[66], 0u);
  EXPECT_NE(r->offsets[67], 0u);
  Font f = {nullptr, nullptr, r, 0, 0};
  EXPECT_EQ(GlyphWidth(&f, 67), 1 + 67 % 7);  // later frames keep their numbers
  EXPECT_EQ(GlyphWidth(&f, 66), 0);
  EXPECT_FALSE(HasGlyph(&f, 80));
  FreeAnimResource(&r);
  EXPECT_EQ(r, nullptr);
}

TEST_F(FontTest, HeaderCountAndChunksDisagree) {
  auto image = authoring::BuildNutFont(Numbered(100));
  image[18] = 0;  // header claims 256 frames; 100 are there
  image[19] = 1;
  AnimResource* r = nullptr;
  ASSERT_EQ(LoadAnimResource(&r, WriteBytes("many.nut", image).c_str()), 0);
  EXPECT_EQ(r->count, 100);
  FreeAnimResource(&r);

  image[18] = 50;  // claims 50: only 50 are indexed, the record holds no more
  image[19] = 0;
  ASSERT_EQ(LoadAnimResource(&r, WriteBytes("few.nut", image).c_str()), 0);
  EXPECT_EQ(r->count, 50);
  FreeAnimResource(&r);

  image[19] = 0x80;  // negative: nothing is indexed
  ASSERT_EQ(LoadAnimResource(&r, WriteBytes("neg.nut", image).c_str()), 0);
  EXPECT_EQ(r->count, 0);
  FreeAnimResource(&r);
}

TEST_F(FontTest, ImageInMemoryIsNotOwned) {
  auto image = authoring::BuildNutFont(Numbered(10));
  AnimResource* r = nullptr;
  ASSERT_EQ(LoadAnimResource(&r, image.data(), uint32_t(image.size())), 0);
  EXPECT_EQ(r->owned, 0u);
  EXPECT_EQ(r->data, image.data());
  EXPECT_EQ(r->count, 10);
  FreeAnimResource(&r);
  EXPECT_EQ(image[0], 'A');  // still ours

  // Cut short by its size: the glyphs past it are missing.
  ASSERT_EQ(LoadAnimResource(&r, image.data(), 820), 0);  // inside glyph 0
  EXPECT_EQ(r->count, 1);
  EXPECT_EQ(r->offsets[0], 0u);
  FreeAnimResource(&r);
}

TEST_F(FontTest, DamagedFilesHaveFewerGlyphs) {
  const auto good = authoring::BuildNutFont(Numbered(10));
  AnimResource* r = nullptr;
  auto load = [&](const std::vector<uint8_t>& bytes) {
    FreeAnimResource(&r);
    EXPECT_EQ(LoadAnimResource(&r, WriteBytes("d.nut", bytes).c_str()), 0);
    return r;
  };

  // Cut inside glyph 6: glyphs 0 to 5 stay, glyph 6 and the rest are gone.
  auto cut = good;
  cut.resize(FrameAt(good, 6) + 20);
  load(cut);
  EXPECT_EQ(r->count, 7);
  EXPECT_NE(r->offsets[5], 0u);
  EXPECT_EQ(r->offsets[6], 0u);

  // A frame size with the top bit set ends the indexing.
  auto negative = good;
  SetBe32(negative, FrameAt(good, 4) + 4, 0x80000000u);
  EXPECT_EQ(load(negative)->count, 4);

  // An object larger than its frame, or smaller than its own header.
  auto big = good;
  SetBe32(big, FrameAt(good, 2) + 12, Be32(good, FrameAt(good, 2) + 12) + 100);
  load(big);
  EXPECT_EQ(r->count, 10);
  EXPECT_EQ(r->offsets[2], 0u);
  EXPECT_NE(r->offsets[3], 0u);
  auto tiny = good;
  SetBe32(tiny, FrameAt(good, 2) + 12, 13);
  EXPECT_EQ(load(tiny)->offsets[2], 0u);

  // Line data that claims more than the object holds: a taller header
  // (lines past the end), a longer line, a longer literal.
  const size_t object = FrameAt(good, 3) + 16;
  auto tall = good;
  tall[object + 8] = 200;
  EXPECT_EQ(load(tall)->offsets[3], 0u);
  auto long_line = good;
  long_line[object + 14] = 0xF0;
  EXPECT_EQ(load(long_line)->offsets[3], 0u);
  auto long_literal = good;
  long_literal[object + 18] = 0x40;  // count - 1 of the first line's literal
  EXPECT_EQ(load(long_literal)->offsets[3], 0u);
  EXPECT_NE(r->offsets[4], 0u);

  // A container size of 0 or one that overstates the file.
  auto empty = good;
  SetBe32(empty, 4, 0);
  EXPECT_EQ(load(empty)->count, 0);
  auto over = good;
  SetBe32(over, 4, 0x7FFFFFF0u);
  EXPECT_EQ(load(over)->count, 10);

  // Files too short for a header.
  EXPECT_EQ(load({'A', 'N', 'I', 'M', 0, 0})->count, 0);
  EXPECT_EQ(load({})->count, 0);
  FreeAnimResource(&r);
}

TEST_F(FontTest, MissingFileIsReported) {
  AnimResource* r = nullptr;
  EXPECT_EQ(LoadAnimResource(&r, Path("none.nut").c_str()), kErrCannotOpen);
  EXPECT_EQ(r, nullptr);
  ASSERT_EQ(ErrorLogEntries().size(), 1u);
  EXPECT_EQ(ErrorLogEntries()[0], "Cannot open resource " + Path("none.nut") + ".");
}

// ---- Line height -------------------------------------------------------------

TEST_F(FontTest, LineHeightComesFromGlyph72) {
  Font* f = nullptr;
  Glyphs g = BoxFont(8, 5);
  g[72] = Box(8, 9);
  ASSERT_EQ(LoadFont(&f, WriteFont("h.nut", g).c_str(), 0), 0);
  EXPECT_EQ(f->height, 9);
  EXPECT_EQ(f->next, f);
  EXPECT_EQ(f->previous, f);
  FreeFont(&f);
  EXPECT_EQ(f, nullptr);

  g[72].reset();
  ASSERT_EQ(LoadFont(&f, WriteFont("noh.nut", g).c_str(), 0), 0);
  EXPECT_EQ(f->height, 4);
  FreeFont(&f);

  ASSERT_EQ(LoadFont(&f, WriteFont("short.nut", Numbered(72)).c_str(), 0), 0);
  EXPECT_EQ(f->height, 4);
  FreeFont(&f);
}

// ---- The ring ----------------------------------------------------------------

TEST_F(FontTest, RingOrderAndSelection) {
  const auto a = WriteFont("a.nut", BoxFont(8, 5));
  const auto b = WriteFont("b.nut", BoxFont(8, 6));
  const auto c = WriteFont("c.nut", BoxFont(8, 7));
  ASSERT_EQ(LoadRing({a, b, c}), 0);
  Font* anchor = DefaultFont();
  ASSERT_NE(anchor, nullptr);
  EXPECT_EQ(anchor->number, 0);
  EXPECT_EQ(anchor->next->number, 2);
  EXPECT_EQ(anchor->next->next->number, 1);
  EXPECT_EQ(anchor->next->next->next, anchor);
  EXPECT_EQ(anchor->previous->number, 1);

  Font* two = anchor->next;
  Font* one = anchor->previous;
  for (Font* from : {anchor, one, two}) {
    EXPECT_EQ(SelectFont(from, 0), anchor);
    EXPECT_EQ(SelectFont(from, 1), one);
    EXPECT_EQ(SelectFont(from, 2), two);
    EXPECT_EQ(SelectFont(from, 7), anchor);
    EXPECT_EQ(SelectFont(from, -3), anchor);
  }
  EXPECT_EQ(one->height, 6);
  EXPECT_EQ(SelectFont(nullptr, 1), nullptr);  // the built-in font has no ring

  // Loading again into the default slot replaces the ring.
  ASSERT_EQ(LoadRing({b}), 0);
  EXPECT_EQ(DefaultFont()->height, 6);
  EXPECT_EQ(DefaultFont()->next, DefaultFont());
  FreeFonts(nullptr);
  EXPECT_EQ(DefaultFont(), nullptr);
  FreeFonts(nullptr);  // nothing left: no effect
}

TEST_F(FontTest, MissingMiddleFontIsLeftOut) {
  const auto a = WriteFont("a.nut", BoxFont(8, 5));
  const auto c = WriteFont("c.nut", BoxFont(8, 7));
  ASSERT_EQ(LoadRing({a, Path("b.nut"), c}), 0);
  Font* anchor = DefaultFont();
  ASSERT_NE(anchor, nullptr);
  EXPECT_EQ(anchor->next->number, 2);
  EXPECT_EQ(anchor->next->next, anchor);
  EXPECT_EQ(SelectFont(anchor, 1), anchor);
  EXPECT_EQ(SelectFont(anchor, 2)->height, 7);
  // Recorded once by the loader of the file and once by the font.
  EXPECT_EQ(ErrorLogEntries().size(), 2u);
}

TEST_F(FontTest, MissingLastFontDropsTheWholeRing) {
  const auto a = WriteFont("a.nut", BoxFont(8, 5));
  const auto b = WriteFont("b.nut", BoxFont(8, 6));
  EXPECT_EQ(LoadRing({a, b, Path("c.nut")}), kErrCannotOpen);
  EXPECT_EQ(DefaultFont(), nullptr);
  EXPECT_EQ(LoadRing({Path("a-missing.nut")}), kErrCannotOpen);
  EXPECT_EQ(DefaultFont(), nullptr);
  EXPECT_EQ(LoadFonts(nullptr, 0, nullptr), kErrBadIndex);
}

TEST_F(FontTest, FontsInACallerSlot) {
  Font* mine = nullptr;
  const auto a = WriteFont("a.nut", BoxFont(8, 5));
  const char* names[] = {a.c_str(), a.c_str()};
  ASSERT_EQ(LoadFonts(&mine, 2, names), 0);
  EXPECT_EQ(DefaultFont(), nullptr);
  EXPECT_EQ(mine->next->number, 1);
  FreeFonts(&mine);
  EXPECT_EQ(mine, nullptr);
}

// ---- Drawing one glyph -----------------------------------------------------

TEST_F(FontTest, DrawGlyphTintsAndBoxes) {
  Glyphs g(3);
  g[1] = authoring::GlyphFromRows({"#..", ".2.", "..#"}, 1, 2);
  AnimResource* r = nullptr;
  ASSERT_EQ(LoadAnimResource(&r, WriteFont("g.nut", g).c_str()), 0);
  Picture pic(16, 16, 9);
  EXPECT_EQ(DrawGlyph(&pic.surface, nullptr, 3, 4, 0, r, 1, 20, 5), 0);
  EXPECT_EQ(pic.at(4, 6), 20);   // value 1 is the tint
  EXPECT_EQ(pic.at(5, 7), 21);   // value 2 the colour after it
  EXPECT_EQ(pic.at(6, 8), 20);
  EXPECT_EQ(pic.at(5, 6), 9);    // transparent
  EXPECT_EQ(pic.Count(9), 16 * 16 - 3);

  EXPECT_EQ(DrawGlyph(&pic.surface, nullptr, 3, 4, DrawOpaque, r, 1, 20, 5), 0);
  EXPECT_EQ(pic.at(5, 6), 5);  // the box shows through the skips
  EXPECT_EQ(pic.Count(5), 6);

  Picture untouched(16, 16, 9);
  EXPECT_EQ(DrawGlyph(&untouched.surface, nullptr, 0, 0, 0, r, 0, 1, 0), kErrBadIndex);
  EXPECT_EQ(DrawGlyph(&untouched.surface, nullptr, 0, 0, 0, r, 3, 1, 0), kErrBadIndex);
  EXPECT_EQ(DrawGlyph(&untouched.surface, nullptr, 0, 0, 0, r, -1, 1, 0), kErrBadIndex);
  EXPECT_EQ(DrawGlyph(&untouched.surface, nullptr, 0, 0, 0, nullptr, 1, 1, 0), kErrBadIndex);
  EXPECT_EQ(untouched.Count(9), 256);
  FreeAnimResource(&r);
}

}  // namespace
