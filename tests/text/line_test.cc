#include <cstring>

#include "stream/mem.h"
#include "text_fixture.h"

namespace {

using texttest::Box;
using texttest::BoxFont;
using texttest::Glyphs;
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
  const ClipRect all = {0, 0, 16, 16};
  EXPECT_EQ(DrawBuiltinGlyph(pic.pixels.data(), 1, 1, 1, 2, 16, code, all), w);
  return Rows(pic, 1, 1, w, h);
}

TEST(BuiltinFont, TableLayout) {
  const uint8_t* t = BuiltinFontTable();
  EXPECT_EQ(t[0], 0x80);
  EXPECT_EQ(t[2], 6);
  EXPECT_EQ(t[3], 1);
  auto record = [&](int code) {
    const uint32_t at = t[4 + 4 * code] | (t[5 + 4 * code] << 8);
    EXPECT_LT(at, BuiltinFontTableSize());
    return std::pair<int, int>(t[at], t[at + 1]);
  };
  EXPECT_EQ(record(0), std::make_pair(4, 5));
  EXPECT_EQ(record(1), std::make_pair(5, 5));
  EXPECT_EQ(record(27), std::make_pair(7, 5));
  EXPECT_EQ(record(28), std::make_pair(7, 5));
  for (int code : {2, 26, 29, 32, 65, 97, 127}) EXPECT_EQ(record(code), std::make_pair(4, 6)) << code;
}

TEST(BuiltinFont, GlyphShapes) {
  EXPECT_EQ(GlyphRows('H', 4, 6),
            (std::vector<std::string>{"#.#.", "#.#.", "###.", "#.#.", "#.#.", "...."}));
  EXPECT_EQ(GlyphRows('h', 4, 6), GlyphRows('H', 4, 6));  // lower case repeats capitals
  EXPECT_EQ(GlyphRows(2, 4, 6),  // inverted: shape in the background colour
            (std::vector<std::string>{"...#", ".#.#", "..##", ".#.#", "...#", "####"}));
  EXPECT_EQ(GlyphRows(1, 5, 5),
            (std::vector<std::string>{"....#", "...#.", "#.#..", "##...", "#...."}));
  EXPECT_EQ(GlyphRows(27, 7, 5), (std::vector<std::string>{"...#...", "..###..", ".#####.",
                                                           "#######", "......."}));
  EXPECT_EQ(GlyphRows(28, 7, 5), (std::vector<std::string>{"#######", ".#####.", "..###..",
                                                           "...#...", "......."}));
  EXPECT_EQ(GlyphRows(0, 4, 5), (std::vector<std::string>{"###.", "#.#.", "..#.", "###.", "...."}));
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

TEST(BuiltinFont, LineAtTheBottomEdge) {
  Picture pic(320, 200, 0);
  uint8_t colour = 1;
  DrawBuiltinLine(&pic.surface, nullptr, 10, 195, &colour, 2, "H");
  EXPECT_EQ(pic.at(10, 195), 1);
  EXPECT_EQ(pic.at(11, 199), 2);
  Picture none(320, 200, 0);
  DrawBuiltinLine(&none.surface, nullptr, 10, 196, &colour, 2, "H");
  const ClipRect clip = {0, 20, 320, 100};
  DrawBuiltinLine(&none.surface, &clip, 10, 19, &colour, 2, "H");  // above the top
  EXPECT_EQ(none.Count(0), 320 * 200);

  // With a clip inside the picture the blank sixth row stays unwritten.
  Picture clipped(320, 200, 0);
  DrawBuiltinLine(&clipped.surface, &clip, 10, 115, &colour, 2, "H");
  EXPECT_EQ(clipped.at(11, 119), 2);
  EXPECT_EQ(clipped.Ink(), (std::array<int, 4>{10, 115, 14, 120}));
}

TEST(BuiltinFont, LineStartingLeftOfTheClip) {
  Picture pic(64, 8, 0);
  uint8_t colour = 1;
  DrawBuiltinLine(&pic.surface, nullptr, -9, 0, &colour, 2, "ABCDEF");
  EXPECT_EQ(Rows(pic, 3, 0, 4, 1)[0], "##..");  // "D" (CAAAC0) at x = 3
  EXPECT_EQ(pic.Ink(), (std::array<int, 4>{3, 0, 15, 6}));
  Picture none(64, 8, 0);
  DrawBuiltinLine(&none.surface, nullptr, -40, 0, &colour, 2, "AB");  // all skipped
  EXPECT_EQ(none.Count(0), 64 * 8);
}

TEST(BuiltinFont, LineAtTheRightEdge) {
  Picture pic(64, 8, 0);
  uint8_t colour = 1;
  ClipRect clip = {0, 0, 20, 8};
  DrawBuiltinLine(&pic.surface, &clip, 0, 0, &colour, 2, "ABCDEFGH");
  EXPECT_EQ(pic.Ink()[2], 20);  // the fifth glyph ends exactly at the edge

  // A wide glyph that starts inside is cut at the edge.
  Picture wide(64, 8, 0);
  clip = {0, 0, 10, 8};
  DrawBuiltinLine(&wide.surface, &clip, 4, 0, &colour, 2, "\x1b\x1b");
  EXPECT_EQ(wide.Ink(), (std::array<int, 4>{4, 0, 10, 5}));

  // Codes above 126 end the line.
  Picture stop(64, 8, 0);
  DrawBuiltinLine(&stop.surface, nullptr, 0, 0, &colour, 2, "A\x7f" "B");
  EXPECT_EQ(stop.Ink()[2], 4);

  // A clip reaching past the picture writes nothing outside it.
  Picture edge(320, 200, 0);
  clip = {300, 190, 100, 100};
  DrawBuiltinLine(&edge.surface, &clip, 312, 190, &colour, 2, "ABCDEFGH");
  EXPECT_EQ(edge.Ink(), (std::array<int, 4>{312, 190, 320, 196}));
}

// ---- Measuring -------------------------------------------------------------

class LineTest : public texttest::TextTest {
 protected:
  // Font 0: 8-wide glyphs, "H" 9 high. Font 1: 5-wide, 12 high. Font 2: 3-wide, 5 high.
  void LoadThree() {
    Glyphs a = BoxFont(8, 9);
    Glyphs b = BoxFont(5, 12);
    Glyphs c = BoxFont(3, 5);
    ASSERT_EQ(LoadRing({WriteFont("a.nut", a), WriteFont("b.nut", b), WriteFont("c.nut", c)}), 0);
  }
};

TEST_F(LineTest, BuiltinMeasures) {
  EXPECT_EQ(TextWidth(nullptr, "Hello"), 20);
  EXPECT_EQ(TextWidth(nullptr, "^c015Hi^^\r^f01"), 8);
  EXPECT_EQ(TextWidth(nullptr, "ab\nabcd\nx"), 16);
  EXPECT_EQ(TextHeight(nullptr, "a\nb\nc"), 16);
  EXPECT_EQ(TextHeight(nullptr, ""), 6);
  EXPECT_EQ(TextWidth(nullptr, nullptr), kErrBadIndex);
  EXPECT_EQ(TextHeight(nullptr, nullptr), kErrBadIndex);
  // No fonts loaded: the default selector is the built-in font.
  EXPECT_EQ(TextWidth(kDefaultFont, "Hello"), 20);
}

TEST_F(LineTest, FontMeasuresWithEscapes) {
  LoadThree();
  Font* f0 = DefaultFont();
  EXPECT_EQ(TextWidth(kDefaultFont, "AB^^D"), TextWidth(f0, "ABD"));
  EXPECT_EQ(TextWidth(f0, "ABD"), 24);
  EXPECT_EQ(TextWidth(f0, "A^f01B"), 8 + 5);
  EXPECT_EQ(CurrentFont()->number, 1);  // the escape's font stays current
  EXPECT_EQ(TextWidth(f0, "A^f9"), 8);  // cut short: nothing switched
  EXPECT_EQ(CurrentFont(), f0);
  EXPECT_EQ(TextWidth(f0, "A^c1"), 8);
  EXPECT_EQ(TextWidth(f0, "A^x^"), 32);  // other carets are characters
  EXPECT_EQ(TextWidth(f0, "AB\nABCD\r\r"), 32);
  EXPECT_EQ(TextWidth(f0, "A\x7f\xc8" "B"), 16);  // no glyph: no width
  EXPECT_EQ(TextWidth(f0, "A^f07B"), 16);        // font 7 is font 0

  EXPECT_EQ(TextHeight(f0, ""), 10);
  EXPECT_EQ(TextHeight(f0, "AB"), 10);
  EXPECT_EQ(TextHeight(f0, "A\n\nB"), 28);
  EXPECT_EQ(TextHeight(f0, "A^f01B"), 13);
  EXPECT_EQ(TextHeight(f0, "^f02A"), 6);  // only font 2 carries a character
  EXPECT_EQ(TextHeight(f0, "^f01"), 13);  // no character: the font in effect
  EXPECT_EQ(TextHeight(f0, "A^f01\nB"), 9 + 12 + 1);  // the font carries over
  EXPECT_EQ(TextHeight(f0, "^f02\r"), 6);              // CR counts as a character
}

// ---- Drawing lines -------------------------------------------------------------

TEST_F(LineTest, LineHeightsFollowFontSwitches) {
  LoadThree();
  Picture pic;
  uint8_t colour = 3;
  EXPECT_EQ(DrawTextLine(nullptr, &pic.surface, nullptr, 0, 0, 0, &colour, 0, "Hi"), 6);
  EXPECT_EQ(DrawTextLine(DefaultFont(), &pic.surface, nullptr, 0, 20, 0, &colour, 0, "Hi"), 10);
  EXPECT_EQ(DrawTextLine(DefaultFont(), &pic.surface, nullptr, 0, 40, 0, &colour, 0, "H^f01i"), 13);
  EXPECT_EQ(DrawTextLine(DefaultFont(), &pic.surface, nullptr, 0, 60, 0, &colour, 0, "H^f02i"), 10);
}

TEST_F(LineTest, GlyphsFollowThePen) {
  LoadThree();
  Picture pic;
  uint8_t colour = 3;
  DrawTextLine(DefaultFont(), &pic.surface, nullptr, 10, 20, 0, &colour, 0, "A\x7f" "B^f01C");
  // A at 10..17, B at 18..25 (no advance for the missing glyph), C (5 wide) at 26..30.
  EXPECT_EQ(pic.Ink(3), (std::array<int, 4>{0, 0, 320, 200}));
  EXPECT_EQ(pic.Ink(), (std::array<int, 4>{10, 20, 31, 32}));
  EXPECT_EQ(pic.Count(3), 8 * 9 * 2 + 5 * 12);
  EXPECT_EQ(pic.at(30, 31), 3);
  EXPECT_EQ(pic.at(25, 29), 0);  // B is 9 high
}

TEST_F(LineTest, ColourEscapesChangeTheCallersColour) {
  LoadThree();
  Picture pic;
  uint8_t colour = 3;
  DrawTextLine(DefaultFont(), &pic.surface, nullptr, 0, 0, 0, &colour, 0, "A^c015Hi");
  EXPECT_EQ(colour, 15);
  EXPECT_EQ(pic.at(0, 0), 3);
  EXPECT_EQ(pic.at(8, 0), 15);
  EXPECT_EQ(pic.at(16, 0), 15);
  DrawTextLine(DefaultFont(), &pic.surface, nullptr, 0, 20, 0, &colour, 0, "^c300A");
  EXPECT_EQ(colour, 44);
  EXPECT_EQ(pic.at(0, 20), 44);
}

TEST_F(LineTest, OpaqueFlagBoxesEveryGlyph) {
  Glyphs g = BoxFont(8, 9, 4);
  g['o'] = authoring::GlyphFromRows({"#..", "...", "..#"});
  ASSERT_EQ(LoadRing({WriteFont("a.nut", g)}), 0);
  Picture plain(64, 16, 9);
  uint8_t colour = 3;
  DrawTextLine(DefaultFont(), &plain.surface, nullptr, 0, 0, 0, &colour, 5, "o o");
  EXPECT_EQ(plain.Count(5), 0);
  EXPECT_EQ(plain.Count(3), 4);
  Picture boxed(64, 16, 9);
  DrawTextLine(DefaultFont(), &boxed.surface, nullptr, 0, 0, kTextOpaque, &colour, 5, "o o");
  EXPECT_EQ(boxed.Count(3), 4);
  EXPECT_EQ(boxed.Count(5), 2 * 7 + 4 * 9);  // two glyph boxes and the blank's
  EXPECT_EQ(boxed.at(3, 0), 5);              // the blank starts at 3
}

TEST_F(LineTest, GlyphsAreClippedToTheClipAndThePicture) {
  LoadThree();
  Picture pic(320, 200, 0);
  uint8_t colour = 3;
  const ClipRect clip = {12, 0, 10, 200};
  DrawTextLine(DefaultFont(), &pic.surface, &clip, 6, 5, 0, &colour, 0, "AAA");
  EXPECT_EQ(pic.Ink(), (std::array<int, 4>{12, 5, 22, 14}));
  Picture edge(320, 200, 0);
  const ClipRect wide = {-50, -50, 500, 500};
  DrawTextLine(DefaultFont(), &edge.surface, &wide, 316, 195, kTextOpaque, &colour, 1, "AA");
  DrawTextLine(DefaultFont(), &edge.surface, &wide, -4, -4, kTextOpaque, &colour, 1, "AA");
  EXPECT_EQ(edge.Ink(), (std::array<int, 4>{0, 0, 320, 200}));
  EXPECT_EQ(edge.Count(3), 4 * 5 + 12 * 5);
}

}  // namespace
