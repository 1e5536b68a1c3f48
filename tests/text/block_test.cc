#include <optional>
#include <string>

#include "text/block.h"
#include "text_fixture.h"

namespace {

using texttest::Box4;
using texttest::BoxFont;
using texttest::kNoInk;
using texttest::Picture;

class BlockTest : public texttest::TextTest {
 protected:
  // Font 0: 8-wide glyphs, 9 high (lines of 10), blanks 4 wide; font 1: 5 x 12.
  void SetUp() override {
    TextTest::SetUp();
    ASSERT_EQ(LoadRing({WriteFont("a.nut", BoxFont(8, 9, 4)), WriteFont("b.nut", BoxFont(5, 12, 4))}), 0);
  }
  void Draw(Picture& pic, const ClipRect* clip, int16_t x, int16_t y, uint16_t flags,
            const char* text, uint8_t colour = 3) {
    DrawText(kDefaultFont, &pic.surface, clip, x, y, colour, 0, flags, text);
  }
};

struct RowBand {
  int y0, y1;
  Box4 ink;
};
struct LayoutCase {
  const char* what;
  int16_t x, y;
  uint16_t flags;
  std::optional<ClipRect> clip;
  const char* text;
  std::vector<RowBand> bands;
};

TEST_F(BlockTest, Layout) {
  constexpr uint16_t W = kTextWrap;
  const ClipRect narrow = {0, 0, 100, 200};
  const ClipRect box = {10, 0, 100, 200};
  const LayoutCase cases[] = {
      {"centred", 160, 50, kTextCentre, {}, "AB\nABCD",
       {{50, 60, {152, 50, 168, 59}}, {60, 70, {144, 60, 176, 69}}}},
      {"right, CR dropped", 100, 0, kTextRight, {}, "AB\r\nABCD",
       {{0, 10, {84, 0, 100, 9}}, {10, 20, {68, 10, 100, 19}}}},
      {"lines are clipped, not moved", 90, 95, 0, ClipRect{100, 100, 50, 50}, "AAAA\nAAAA",
       {{0, 200, {100, 100, 122, 114}}}},
      {"wrapped last line without line feed", 0, 0, W, {}, "AB\nCD", {{10, 20, {0, 10, 16, 19}}}},
      {"words wrap into the width", 0, 0, W, narrow, "AAAAA BBBBB CCCCC",
       {{0, 10, {0, 0, 84, 9}}, {10, 20, {0, 10, 40, 19}}, {20, 200, kNoInk}}},
      {"a long word stands alone; line feeds end lines", 0, 0, W, narrow,
       "AA AAAAAAAAAAAAAAA\nB\n\nC",
       {{0, 10, {0, 0, 16, 9}}, {10, 20, {0, 10, 100, 19}}, {20, 30, {0, 20, 8, 29}},
        {30, 40, kNoInk}, {40, 50, {0, 40, 8, 49}}}},
      {"moved up into the picture", 0, 180, W, {}, "A\nA\nA\nA\nA", {{0, 200, {0, 145, 8, 194}}}},
      {"too tall: the top wins", 0, 0, W, ClipRect{0, 30, 320, 20}, "A\nA\nA\nA\nA",
       {{0, 200, {0, 30, 8, 49}}}},
      {"too wide centred: left edge at the clip", 60, 0, W | kTextCentre, box,
       "AAAAAAAAAAAAAAAAAAAA", {{0, 200, {10, 0, 110, 9}}}},
      {"right past the right edge", 300, 0, W | kTextRight, box, "AAAA", {{0, 200, {78, 0, 110, 9}}}},
      // Blanks after a line feed are drawn but not measured: "BB" measures 16,
      // starts at 84 and its glyphs 8 further on.
      {"blanks after a line feed", 100, 0, W | kTextRight, {}, "AAAA\n  BB",
       {{0, 10, {68, 0, 100, 9}}, {10, 20, {92, 10, 108, 19}}}},
  };
  for (const auto& c : cases) {
    Picture pic;
    Draw(pic, c.clip ? &*c.clip : nullptr, c.x, c.y, c.flags, c.text);
    for (const auto& band : c.bands) EXPECT_EQ(pic.RowsInk(band.y0, band.y1), band.ink) << c.what;
  }
  Picture none;
  Draw(none, nullptr, 0, 0, 0, nullptr);
  Draw(none, nullptr, 0, 0, W, "");
  EXPECT_EQ(none.Ink(), kNoInk);
}

TEST_F(BlockTest, EscapesHoldForTheRestOfTheBlock) {
  Picture pic;
  Draw(pic, nullptr, 0, 0, 0, "^c007A^f01\nB\nC");
  EXPECT_EQ(pic.at(0, 0), 7);
  // The second line goes on in font 1 (5 x 12) below a first line of 10.
  EXPECT_EQ(pic.RowsInk(10, 22), (Box4{0, 10, 5, 22}));
  EXPECT_EQ(pic.at(0, 10), 7);
  EXPECT_EQ(pic.RowsInk(23, 40), (Box4{0, 23, 5, 35}));
}

TEST_F(BlockTest, TextLimits) {
  // The layout reads no character past the 4000th: a text cut at the limit
  // loses its unfinished last line even when a line feed follows the cut.
  const std::string head = "A\n" + std::string(3998, 'B');  // 4000 characters
  for (const std::string tail : {"", "\n", "\nC", "B"}) {
    Picture c;
    DrawText(nullptr, &c.surface, nullptr, 0, 0, 1, 0, 0, (head + tail).c_str());
    EXPECT_NE(c.at(0, 0), 0) << "first line";
    // Exactly 4000 characters end at the text's own terminator: the B line
    // (built-in font, 6 rows per line) is drawn; any longer text loses it.
    EXPECT_EQ(c.RowsInk(6, 200) != kNoInk, tail.empty()) << "tail '" << tail << "'";
  }

  // Formatted text is cut to 515 characters.
  for (size_t n : {513u, 514u}) {
    Picture f(320, 40, 0);
    DrawTextFormatted(nullptr, &f.surface, nullptr, 0, 0, 1, 0, 0, "%s\n%hd",
                      std::string(n, 'A').c_str(), short{7});
    EXPECT_EQ(f.RowsInk(6, 12)[2], n == 513 ? 3 : -1) << n;  // "7" on the second line
    DrawTextFormatted(nullptr, &f.surface, nullptr, 0, 0, 1, 0, 0, nullptr);  // nothing
  }

  // Wrapped text keeps eighty lines of the built-in font.
  Picture lines(64, 600, 0);
  std::string many;
  for (int i = 0; i < 85; ++i) many += "A\n";
  DrawText(nullptr, &lines.surface, nullptr, 0, 0, 1, 0, kTextWrap, many.c_str());
  int drawn = 0;
  for (int y = 0; y < 600; y += 6) drawn += lines.at(0, y) == 1;
  EXPECT_EQ(drawn, 80);
  EXPECT_EQ(lines.RowsInk(480, 600), kNoInk);
}

TEST_F(BlockTest, GatingFollowsSwitchZero) {
  Picture on(320, 200, 9);
  DrawText(kDefaultFont, &on.surface, nullptr, 0, 0, 3, 0, kTextOpaque | kTextGated, "A A");
  EXPECT_EQ(on.Count(0), 4 * 9);  // the blank's box: flag 16 reaches the block layout

  SetSwitch(0, 0);
  Picture off;
  Draw(off, nullptr, 0, 0, kTextGated, "A");
  Draw(off, nullptr, 0, 0, kTextGated | kTextWrap, "A");
  EXPECT_EQ(off.Ink(), kNoInk);
  Draw(off, nullptr, 0, 0, 0, "A");  // ungated text still draws
  EXPECT_EQ(off.Count(3), 72);
}

}  // namespace
