#include <cstring>
#include <string>

#include "text/block.h"
#include "text_fixture.h"

namespace {

using texttest::BoxFont;
using texttest::Picture;
using Box4 = std::array<int, 4>;

// Ink of the rows y0 <= y < y1 only.
Box4 RowsInk(const Picture& pic, int y0, int y1) {
  Picture part(pic.surface.width, uint16_t(y1 - y0), 0);
  std::memcpy(part.pixels.data(), pic.pixels.data() + size_t(y0) * pic.surface.width,
              part.pixels.size());
  Box4 b = part.Ink();
  if (b[2] >= 0) b[1] += y0, b[3] += y0;
  return b;
}

class BlockTest : public texttest::TextTest {
 protected:
  // Font 0: 8-wide glyphs, 9 high (lines of 10), blanks 4 wide; font 1: 5 x 12.
  void LoadFonts01() {
    ASSERT_EQ(LoadRing({WriteFont("a.nut", BoxFont(8, 9, 4)), WriteFont("b.nut", BoxFont(5, 12, 4))}), 0);
  }
  void Draw(Picture& pic, const ClipRect* clip, int16_t x, int16_t y, uint16_t flags,
            const char* text, uint8_t colour = 3) {
    DrawText(kDefaultFont, &pic.surface, clip, x, y, colour, 0, flags, text);
  }
};

// ---- Line layout ------------------------------------------------------------

TEST_F(BlockTest, CentredLines) {
  LoadFonts01();
  Picture pic;
  Draw(pic, nullptr, 160, 50, kTextCentre, "AB\nABCD");
  EXPECT_EQ(RowsInk(pic, 50, 60), (Box4{152, 50, 168, 59}));
  EXPECT_EQ(RowsInk(pic, 60, 70), (Box4{144, 60, 176, 69}));
  Picture right;
  Draw(right, nullptr, 100, 0, kTextRight, "AB\r\nABCD");  // CR dropped
  EXPECT_EQ(RowsInk(right, 0, 10), (Box4{84, 0, 100, 9}));
  EXPECT_EQ(RowsInk(right, 10, 20), (Box4{68, 10, 100, 19}));
}

TEST_F(BlockTest, LineLayoutLeavesThePositionAlone) {
  LoadFonts01();
  Picture pic;
  const ClipRect clip = {100, 100, 50, 50};
  Draw(pic, &clip, 90, 95, 0, "AAAA\nAAAA");  // not moved into the clip, only clipped
  EXPECT_EQ(pic.Ink(), (Box4{100, 100, 122, 114}));
}

TEST_F(BlockTest, EscapesHoldForTheRestOfTheBlock) {
  LoadFonts01();
  Picture pic;
  Draw(pic, nullptr, 0, 0, 0, "^c007A^f01\nB\nC");
  EXPECT_EQ(pic.at(0, 0), 7);
  // The second line goes on in font 1 (5 x 12) below a first line of 10.
  EXPECT_EQ(RowsInk(pic, 10, 22), (Box4{0, 10, 5, 22}));
  EXPECT_EQ(pic.at(0, 10), 7);
  EXPECT_EQ(RowsInk(pic, 23, 40), (Box4{0, 23, 5, 35}));
}

TEST_F(BlockTest, LongTexts) {
  LoadFonts01();
  Picture pic;
  std::string text = "A\n" + std::string(3998, 'B');  // exactly 4000 characters
  Draw(pic, nullptr, 0, 0, 0, text.c_str());
  EXPECT_EQ(RowsInk(pic, 10, 20)[2], 320);
  Picture cut;
  text += "BB";  // past 4000: the last line is not drawn
  Draw(cut, nullptr, 0, 0, 0, text.c_str());
  EXPECT_EQ(cut.Ink(), (Box4{0, 0, 8, 9}));
}

TEST_F(BlockTest, FormattedTextIsCutToItsBuffer) {
  Picture pic(320, 40, 0);
  const std::string fits(513, 'A');  // 515 characters in all
  DrawTextFormatted(nullptr, &pic.surface, nullptr, 0, 0, 1, 0, 0, "%s\n%hd", fits.c_str(),
                    short{7});
  EXPECT_EQ(RowsInk(pic, 6, 12)[2], 3);  // "7" on the second line
  Picture cut(320, 40, 0);
  const std::string full(514, 'A');
  DrawTextFormatted(nullptr, &cut.surface, nullptr, 0, 0, 1, 0, 0, "%s\n%hd", full.c_str(),
                    short{7});
  EXPECT_EQ(RowsInk(cut, 6, 12)[2], -1);
  DrawTextFormatted(nullptr, &cut.surface, nullptr, 0, 0, 1, 0, 0, nullptr);  // nothing
}

TEST_F(BlockTest, BuiltinFontWithoutFonts) {
  Picture pic;
  Draw(pic, nullptr, 10, 20, 0, "Hi\nHi");
  EXPECT_EQ(RowsInk(pic, 20, 26), (Box4{10, 20, 17, 25}));  // "i" is 3 columns wide
  EXPECT_EQ(RowsInk(pic, 26, 32), (Box4{10, 26, 17, 31}));
}

// ---- Switch 0 and background boxes -----------------------------------------

TEST_F(BlockTest, GatedTextFollowsSwitchZero) {
  LoadFonts01();
  Picture on;
  Draw(on, nullptr, 0, 0, kTextGated, "A");
  EXPECT_EQ(on.Count(3), 72);
  SetSwitch(0, 0);
  Picture off;
  Draw(off, nullptr, 0, 0, kTextGated, "A");
  Draw(off, nullptr, 0, 0, kTextGated | kTextWrap, "A");
  EXPECT_EQ(off.Count(0), 320 * 200);
  Draw(off, nullptr, 0, 0, 0, "A");  // ungated text still draws
  EXPECT_EQ(off.Count(3), 72);
}

TEST_F(BlockTest, BackgroundBoxes) {
  LoadFonts01();
  Picture pic(320, 200, 9);
  DrawText(kDefaultFont, &pic.surface, nullptr, 0, 0, 3, 0, kTextOpaque, "A A");
  EXPECT_EQ(pic.Count(3), 2 * 72);
  EXPECT_EQ(pic.Count(0), 4 * 9);  // the blank's box
  EXPECT_EQ(pic.at(9, 0), 0);
  DrawText(kDefaultFont, &pic.surface, nullptr, 0, 20, 3, 0, 0, "A A");
  EXPECT_EQ(pic.Count(0), 4 * 9);
}

// ---- Wrapped layout ---------------------------------------------------------

TEST_F(BlockTest, WrapsWordsIntoTheWidth) {
  LoadFonts01();
  Picture pic;
  const ClipRect clip = {0, 0, 100, 200};
  Draw(pic, &clip, 0, 0, kTextWrap, "AAAAA BBBBB CCCCC");
  EXPECT_EQ(RowsInk(pic, 0, 10), (Box4{0, 0, 84, 9}));
  EXPECT_EQ(pic.at(40, 0), 0);  // the blank
  EXPECT_EQ(RowsInk(pic, 10, 20), (Box4{0, 10, 40, 19}));
  EXPECT_EQ(RowsInk(pic, 20, 200)[2], -1);

  // A word wider than the width stands alone; line feeds end lines.
  Picture alone;
  Draw(alone, &clip, 0, 0, kTextWrap, "AA AAAAAAAAAAAAAAA\nB\n\nC");
  EXPECT_EQ(RowsInk(alone, 0, 10), (Box4{0, 0, 16, 9}));
  EXPECT_EQ(RowsInk(alone, 10, 20), (Box4{0, 10, 100, 19}));
  EXPECT_EQ(RowsInk(alone, 20, 30), (Box4{0, 20, 8, 29}));
  EXPECT_EQ(RowsInk(alone, 30, 40)[2], -1);  // the empty line
  EXPECT_EQ(RowsInk(alone, 40, 50), (Box4{0, 40, 8, 49}));
}

TEST_F(BlockTest, WrappedBlockMovesUpIntoTheRectangle) {
  LoadFonts01();
  Picture pic;
  Draw(pic, nullptr, 0, 180, kTextWrap, "A\nA\nA\nA\nA");  // 5 lines of 10
  EXPECT_EQ(pic.Ink(), (Box4{0, 145, 8, 194}));  // y = 200 - 50 - 5
  Picture top;
  const ClipRect clip = {0, 30, 320, 20};
  Draw(top, &clip, 0, 0, kTextWrap, "A\nA\nA\nA\nA");  // too tall: the top wins
  EXPECT_EQ(top.Ink(), (Box4{0, 30, 8, 49}));
}

TEST_F(BlockTest, WrappedBlockMovesAcrossIntoTheRectangle) {
  LoadFonts01();
  const ClipRect clip = {10, 0, 100, 200};
  Picture centred;
  Draw(centred, &clip, 60, 0, kTextWrap | kTextCentre, "AAAAAAAAAAAAAAAAAAAA");  // 160 wide
  EXPECT_EQ(centred.Ink(), (Box4{10, 0, 110, 9}));  // left edge at the clip's left
  Picture c2;
  Draw(c2, &clip, 105, 0, kTextWrap | kTextCentre, "AAAA\nAA");
  EXPECT_EQ(RowsInk(c2, 0, 10), (Box4{78, 0, 110, 9}));
  EXPECT_EQ(RowsInk(c2, 10, 20), (Box4{86, 10, 102, 19}));  // centred on the same x
  Picture right;
  Draw(right, &clip, 300, 0, kTextWrap | kTextRight, "AAAA");
  EXPECT_EQ(right.Ink(), (Box4{78, 0, 110, 9}));
  Picture right_left;
  Draw(right_left, &clip, 20, 0, kTextWrap | kTextRight, "AAAA");
  EXPECT_EQ(right_left.Ink(), (Box4{10, 0, 42, 9}));
  Picture left;
  Draw(left, &clip, 95, 0, kTextWrap, "AAAA");
  EXPECT_EQ(left.Ink(), (Box4{78, 0, 110, 9}));
  Picture left2;
  Draw(left2, &clip, -20, 0, kTextWrap, "AAAA");
  EXPECT_EQ(left2.Ink(), (Box4{10, 0, 42, 9}));
}

TEST_F(BlockTest, WrappedLinesAfterALineFeedKeepTheirBlanks) {
  LoadFonts01();
  Picture pic;
  // The blanks after the line feed are drawn but not measured: right-aligned
  // on 100, "BB" measures 16 and so starts at 84, its glyphs 8 further on.
  Draw(pic, nullptr, 100, 0, kTextWrap | kTextRight, "AAAA\n  BB");
  EXPECT_EQ(RowsInk(pic, 0, 10), (Box4{68, 0, 100, 9}));
  EXPECT_EQ(RowsInk(pic, 10, 20), (Box4{92, 10, 108, 19}));
}

TEST_F(BlockTest, WrappedTextKeepsEightyLines) {
  Picture pic(64, 600, 0);
  std::string text;
  for (int i = 0; i < 85; ++i) text += "A\n";
  DrawText(nullptr, &pic.surface, nullptr, 0, 0, 1, 0, kTextWrap, text.c_str());
  EXPECT_EQ(pic.Ink(1), (Box4{0, 0, 64, 600}));  // (ink of everything not 1)
  int lines = 0;
  for (int y = 0; y < 600; y += 6) lines += pic.at(0, y) == 1;
  EXPECT_EQ(lines, 80);
}

TEST_F(BlockTest, LastLineWithoutLineFeedIsDrawn) {
  LoadFonts01();
  for (uint16_t flags : {uint16_t{0}, kTextWrap}) {
    Picture pic;
    Draw(pic, nullptr, 0, 0, flags, "AB\nCD");
    EXPECT_EQ(RowsInk(pic, 10, 20), (Box4{0, 10, 16, 19})) << flags;
  }
  Picture none;
  Draw(none, nullptr, 0, 0, 0, nullptr);
  Draw(none, nullptr, 0, 0, kTextWrap, "");
  EXPECT_EQ(none.Count(0), 320 * 200);
}

}  // namespace
