// Damaged fonts, string files and texts: whatever the bytes say, loading and
// drawing stay inside the loaded images and the picture (run under the
// address sanitizer to see it).
#include <cstring>
#include <random>
#include <string>

#include "text/block.h"
#include "text/chunks.h"
#include "text_fixture.h"

namespace {

using texttest::BoxFont;
using texttest::Picture;

class RobustnessTest : public texttest::TextTest {};

std::string AllCodes() {
  std::string s;
  for (int c = 1; c < 256; ++c) s += char(c);
  return s;
}

TEST_F(RobustnessTest, MutatedFontsLoadAndDraw) {
  texttest::Glyphs glyphs = BoxFont(6, 7);
  glyphs['o'] = authoring::GlyphFromRows({".##.", "#..#", "#..#", ".##."}, 1, -2);
  const auto good = authoring::BuildNutFont(glyphs);
  std::mt19937 random(1234);
  const std::string text = AllCodes();
  for (int round = 0; round < 150; ++round) {
    auto bytes = good;
    const int flips = 1 + int(random() % 8);
    for (int i = 0; i < flips; ++i) bytes[random() % bytes.size()] = uint8_t(random());
    if (round % 5 == 0) bytes.resize(random() % bytes.size());
    const auto name = WriteBytes("m.nut", bytes);
    if (LoadRing({name, name}) != 0) continue;
    Picture pic(64, 48, 0);
    const ClipRect clip = {-10, -10, 90, 70};
    DrawText(kDefaultFont, &pic.surface, &clip, -3, -5, 1, 2, kTextOpaque, text.c_str());
    DrawText(kDefaultFont, &pic.surface, nullptr, 10, 10, 1, 2, kTextWrap | kTextCentre,
             "^f01o o^f00 o\no");
    TextWidth(kDefaultFont, text.c_str());
    TextHeight(kDefaultFont, text.c_str());
    FreeFonts(nullptr);
  }
}

TEST_F(RobustnessTest, MutatedStringFilesLoad) {
  const std::string body =
      authoring::BuildTrsBody({{1, "One"}, {3, "Three\n//x"}, {7, "Seven"}}, true) + "#\n#9";
  std::mt19937 random(99);
  const char alphabet[] = "#/ \t\r\n0123456789aZ";
  for (int round = 0; round < 300; ++round) {
    std::string text = body;
    for (int i = 0; i < 6; ++i) text[random() % text.size()] = alphabet[random() % (sizeof alphabet - 1)];
    text.resize(random() % (text.size() + 1));
    const bool scrambled = round % 2;
    ASSERT_TRUE(authoring::WriteTrsFile(Path("m.trs"), text, scrambled));
    ASSERT_EQ(LoadTextResource(nullptr, Path("m.trs").c_str()), 0);
    const TextResource* r = DefaultTextResource();
    ASSERT_GE(r->count, 1);
    for (int n = 0; n < r->count; ++n) {
      if (const char* s = GetText(nullptr, int16_t(n))) {
        EXPECT_LE(std::strlen(s), text.size());
      }
    }
  }
}

TEST_F(RobustnessTest, RandomTextsInBothLayouts) {
  ASSERT_EQ(LoadRing({WriteFont("a.nut", BoxFont(5, 6)), WriteFont("b.nut", BoxFont(9, 3))}), 0);
  std::mt19937 random(7);
  const char alphabet[] = "AB ^fc01\n\r";
  for (int round = 0; round < 200; ++round) {
    std::string text;
    const int n = int(random() % 300);
    for (int i = 0; i < n; ++i) text += alphabet[random() % (sizeof alphabet - 1)];
    Picture pic(40, 30, 0);
    const ClipRect clip = {int16_t(int(random() % 60) - 20), int16_t(int(random() % 40) - 10),
                           int16_t(random() % 60), int16_t(random() % 40)};
    const uint16_t flags = uint16_t(random() % 32);
    Font* font = round % 3 == 0 ? nullptr : kDefaultFont;
    DrawText(font, &pic.surface, &clip, int16_t(int(random() % 80) - 20),
             int16_t(int(random() % 60) - 20), 1, 2, flags, text.c_str());
  }
}

}  // namespace
