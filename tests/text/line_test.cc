#include <optional>

#include "base/mem.h"
#include "text_fixture.h"

namespace {

using texttest::Box4;
using texttest::BoxFont;
using texttest::Glyphs;
using texttest::kNoInk;
using texttest::Picture;

// ---- The built-in font -----------------------------------------------------

// The rows of a drawn built-in glyph as strings of '#' (foreground 1) and '.'.
std::vector<std::string> Rows(const Picture& pic, int x, int y, int w, int h) {
  std::vector<std::string> rows;
  for (int r = 0; r < h; ++r) {
    std::string row;
    for (int k = 0; k < w; ++k) row += pic.at(x + k, y + r) == 1 ? '#' : pic.at(x + k, y + r) == 2 ? '.' : '?';
    rows.push_back(row);
  }
  return rows;
}

std::vector<std::string> GlyphRows(uint8_t code, int w, int h) {
  Picture pic(16, 16, 0);
  EXPECT_EQ(DrawBuiltinGlyph(pic.pixels.data(), 1, 1, 1, 2, 16, code, {0, 0, 16, 16}), w);
  return Rows(pic, 1, 1, w, h);
}

TEST(BuiltinFont, GlyphShapes) {
  using Shape = std::vector<std::string>;
  EXPECT_EQ(GlyphRows('H', 4, 6), (Shape{"#.#.", "#.#.", "###.", "#.#.", "#.#.", "...."}));
  EXPECT_EQ(GlyphRows('h', 4, 6), GlyphRows('H', 4, 6));  // lower case repeats capitals
  EXPECT_EQ(GlyphRows(2, 4, 6),  // inverted: shape in the background colour
            (Shape{"...#", ".#.#", "..##", ".#.#", "...#", "####"}));
  EXPECT_EQ(GlyphRows(28, 7, 5), (Shape{"#######", ".#####.", "..###..", "...#...", "......."}));
  Picture pic(8, 8, 9);
  EXPECT_EQ(DrawBuiltinGlyph(pic.pixels.data(), 0, 0, 1, 2, 8, 200, {0, 0, 8, 8}), 0);
  EXPECT_EQ(pic.Count(9), 64);
}

TEST(BuiltinFont, LineDrawsEverythingAsGlyphs) {
  Picture pic(32, 8, 0);
  uint8_t colour = 1;
  DrawBuiltinLine(&pic.surface, nullptr, 0, 0, &colour, 2, "^^\rH");
  EXPECT_EQ(Rows(pic, 0, 0, 4, 1)[0], ".#..");  // "^" (94): 4A0000
  EXPECT_EQ(Rows(pic, 4, 0, 4, 1)[0], ".#..");
  EXPECT_EQ(Rows(pic, 12, 0, 4, 1)[0], "#.#.");  // CR took a cell of its own
  EXPECT_EQ(pic.Ink()[2], 16);
}

struct EdgeCase {
  const char* what;
  uint16_t w, h;
  std::optional<ClipRect> clip;
  int16_t x, y;
  const char* text;
  Box4 ink;
};

TEST(BuiltinFont, LinesStayInsideClipAndPicture) {
  const EdgeCase cases[] = {
      {"at the bottom", 320, 200, {}, 10, 195, "H", {10, 195, 14, 200}},
      {"below the bottom", 320, 200, {}, 10, 196, "H", kNoInk},
      {"above the clip", 320, 200, ClipRect{0, 20, 320, 100}, 10, 19, "H", kNoInk},
      {"sixth row past the clip", 320, 200, ClipRect{0, 20, 320, 100}, 10, 115, "H", {10, 115, 14, 120}},
      {"left of the picture", 64, 8, {}, -9, 0, "ABCDEF", {3, 0, 15, 6}},
      {"fifth glyph ends at the edge", 64, 8, ClipRect{0, 0, 20, 8}, 0, 0, "ABCDEFGH", {0, 0, 20, 6}},
      {"wide glyph cut at the edge", 64, 8, ClipRect{0, 0, 10, 8}, 4, 0, "\x1b\x1b", {4, 0, 10, 5}},
      {"codes above 126 end the line", 64, 8, {}, 0, 0, "A\x7f" "B", {0, 0, 4, 6}},
  };
  for (const auto& c : cases) {
    Picture pic(c.w, c.h, 0);
    uint8_t colour = 1;
    DrawBuiltinLine(&pic.surface, c.clip ? &*c.clip : nullptr, c.x, c.y, &colour, 2, c.text);
    EXPECT_EQ(pic.Ink(), c.ink) << c.what;
  }
}

// ---- Fonts -----------------------------------------------------------------

class LineTest : public texttest::TextTest {
 protected:
  // Font 0: 8-wide glyphs, "H" 9 high. Font 1: 5-wide, 12 high. Font 2: 3-wide, 5 high.
  void SetUp() override {
    TextTest::SetUp();
    ASSERT_EQ(LoadRing({WriteFont("a.nut", BoxFont(8, 9)), WriteFont("b.nut", BoxFont(5, 12)),
                        WriteFont("c.nut", BoxFont(3, 5))}),
              0);
    f0 = DefaultFont();
  }
  Font* f0 = nullptr;
  uint8_t colour = 3;
};

TEST_F(LineTest, Measures) {
  EXPECT_EQ(TextWidth(nullptr, "Hello"), 20);
  EXPECT_EQ(TextWidth(nullptr, "^c015Hi^^\r^f01"), 8);
  EXPECT_EQ(TextHeight(nullptr, "a\nb\nc"), 16);
  EXPECT_EQ(TextWidth(nullptr, nullptr), kErrBadIndex);
  EXPECT_EQ(TextHeight(f0, nullptr), kErrBadIndex);

  EXPECT_EQ(TextWidth(kDefaultFont, "AB^^D"), 24);
  EXPECT_EQ(TextWidth(f0, "A^f01B"), 8 + 5);
  EXPECT_EQ(CurrentFont()->number, 1);  // the escape's font stays current
  EXPECT_EQ(TextWidth(f0, "A^f9"), 8);  // cut short: nothing switched
  EXPECT_EQ(CurrentFont(), f0);
  EXPECT_EQ(TextWidth(f0, "A^x^"), 32);  // other carets are characters
  EXPECT_EQ(TextWidth(f0, "AB\nABCD\r\r"), 32);  // the widest line; CR has no width
  EXPECT_EQ(TextWidth(f0, "A\x7f\xc8" "B"), 16);  // no glyph: no width
  EXPECT_EQ(TextWidth(f0, "A^f07B"), 16);        // font 7 is font 0

  EXPECT_EQ(TextHeight(f0, "A\n\nB"), 28);
  EXPECT_EQ(TextHeight(f0, "A^f01B"), 13);
  EXPECT_EQ(TextHeight(f0, "^f02A"), 6);  // only font 2 carries a character
  EXPECT_EQ(TextHeight(f0, "A^f01\nB"), 9 + 12 + 1);  // the font carries over
  EXPECT_EQ(TextHeight(f0, "^f02\r"), 6);              // CR counts as a character

  FreeFonts(nullptr);  // no fonts: the default selector is the built-in font
  EXPECT_EQ(TextWidth(kDefaultFont, "Hello"), 20);
}

TEST_F(LineTest, DrawingFollowsPenFontAndColour) {
  Picture pic;
  EXPECT_EQ(DrawTextLine(nullptr, &pic.surface, nullptr, 0, 100, 0, &colour, 0, "Hi"), 6);
  EXPECT_EQ(DrawTextLine(f0, &pic.surface, nullptr, 0, 120, 0, &colour, 0, "H^f02i"), 10);
  Picture pen;
  EXPECT_EQ(DrawTextLine(f0, &pen.surface, nullptr, 10, 20, 0, &colour, 0, "A\x7f" "B^f01C"), 13);
  // A at 10..17, B at 18..25 (no advance for the missing glyph), C (5 wide) at 26..30.
  EXPECT_EQ(pen.Ink(), (Box4{10, 20, 31, 32}));
  EXPECT_EQ(pen.Count(3), 8 * 9 * 2 + 5 * 12);
  EXPECT_EQ(pen.at(25, 29), 0);  // B is 9 high

  Picture tint;
  DrawTextLine(f0, &tint.surface, nullptr, 0, 0, 0, &colour, 0, "A^c015Hi");
  EXPECT_EQ(colour, 15);  // the caller's colour changes
  EXPECT_EQ(tint.at(0, 0), 3);
  EXPECT_EQ(tint.at(16, 0), 15);
  DrawTextLine(f0, &tint.surface, nullptr, 0, 20, 0, &colour, 0, "^c300A");
  EXPECT_EQ(tint.at(0, 20), 44);  // 300 & 255
}

TEST_F(LineTest, OpaqueFlagBoxesEveryGlyph) {
  Glyphs g = BoxFont(8, 9, 4);
  g['o'] = authoring::GlyphFromRows({"#..", "...", "..#"});
  ASSERT_EQ(LoadRing({WriteFont("a.nut", g)}), 0);
  for (uint16_t flags : {uint16_t{0}, kTextOpaque}) {
    Picture pic(64, 16, 9);
    DrawTextLine(DefaultFont(), &pic.surface, nullptr, 0, 0, flags, &colour, 5, "o o");
    EXPECT_EQ(pic.Count(3), 4);
    EXPECT_EQ(pic.Count(5), flags ? 2 * 7 + 4 * 9 : 0);  // two glyph boxes and the blank's
    if (flags) {
      EXPECT_EQ(pic.at(3, 0), 5);  // the blank starts at 3
    }
  }
}

}  // namespace
