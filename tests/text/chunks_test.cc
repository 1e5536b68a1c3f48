#include <cstring>
#include <optional>
#include <string>

#include "text/block.h"
#include "text/chunks.h"
#include "text_fixture.h"

namespace {

using texttest::Box4;
using texttest::BoxFont;
using texttest::kNoInk;
using texttest::Picture;

void Le16(std::vector<uint8_t>& b, int v) { b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)}); }

// A text payload; the rectangle is written whatever the flags say. A number
// makes it a string payload.
std::vector<uint8_t> Payload(int x, int y, int flags, ClipRect rect, const std::string& text,
                             std::optional<int> number = {}) {
  std::vector<uint8_t> b;
  for (int v : {x, y, flags, int(rect.left), int(rect.top), int(rect.width), int(rect.height), 0})
    Le16(b, v);
  if (number) Le16(b, *number);
  else b.insert(b.end(), text.c_str(), text.c_str() + text.size() + 1);
  return b;
}

class ChunkTest : public texttest::TextTest {
 protected:
  void SetUp() override {
    TextTest::SetUp();
    ASSERT_EQ(LoadRing({WriteFont("a.nut", BoxFont(8, 9, 4))}), 0);
  }
  // The frame engine's drawer, or the session's.
  static void Draw(bool session, Picture& pic, const ClipRect* clip, const std::vector<uint8_t>& p,
                   uint32_t tag = kTagTEXT) {
    (session ? DrawSessionTextChunk : DrawTextChunk)(&pic.surface, clip, tag, p.data(),
                                                     uint32_t(p.size()));
  }
};

TEST_F(ChunkTest, ReadsTheFields) {
  TextChunk c;
  auto p = Payload(0, 0, 0, {1, 2, 3, 4}, "Hi");
  ASSERT_TRUE(ReadTextChunk(kTagTEXT, p.data(), uint32_t(p.size()), &c));
  EXPECT_EQ(c.rect.left, 0);  // no flag 4: not read

  EXPECT_FALSE(ReadTextChunk(kTagTEXT, p.data(), 15, &c));
  EXPECT_FALSE(ReadTextChunk(kTagTRES, p.data(), 17, &c));

  // A text that runs to the end of its payload is ended there.
  ASSERT_TRUE(ReadTextChunk(kTagTEXT, p.data(), 17, &c));
  EXPECT_STREQ(c.text, "H");
  std::vector<uint8_t> big = Payload(0, 0, 0, {}, std::string(5000, 'A'));
  big.pop_back();
  ASSERT_TRUE(ReadTextChunk(kTagTEXT, big.data(), uint32_t(big.size()), &c));
  EXPECT_EQ(std::strlen(c.text), 4001u);
}

TEST_F(ChunkTest, StringChunksLookTheirTextUp) {
  ASSERT_TRUE(authoring::WriteTrsFile(Path("s.trs"), authoring::BuildTrsBody({{2, "AB"}}), true));
  ASSERT_EQ(LoadTextResource(nullptr, Path("s.trs").c_str()), 0);
  Picture pic;
  Draw(false, pic, nullptr, Payload(10, 10, 0, {}, "", 2), kTagTRES);
  EXPECT_EQ(pic.Ink(), (Box4{10, 10, 26, 19}));
  EXPECT_EQ(pic.at(10, 10), 15);
  Picture none;
  for (int n : {0, 3, -1, 500})
    for (bool session : {false, true})
      Draw(session, none, nullptr, Payload(10, 10, 0, {}, "", n), kTagTRES);
  EXPECT_EQ(none.Ink(), kNoInk);
}

struct ChunkCase {
  const char* what;
  bool session;
  std::optional<ClipRect> clip;
  std::vector<uint8_t> payload;
  Box4 ink;
};

TEST_F(ChunkTest, Placement) {
  constexpr int W = kTextWrap;
  const ClipRect inner = {50, 50, 100, 100};
  const ClipRect small = {0, 0, 50, 50};
  const ChunkCase cases[] = {
      // 100 wide would hold "AAAAAA AAAAAA" on one line; cut to 95 it wraps.
      {"rectangle cut at the bitmap", false, {}, Payload(-20, 0, W, {-5, 0, 100, 200}, "AAAAAA AAAAAA"),
       {0, 0, 48, 19}},
      {"rectangle cut to the clip", false, inner, Payload(0, 0, W, {0, 0, 320, 200}, "AA"),
       {50, 50, 66, 59}},
      {"rectangle past the bitmap", false, {}, Payload(400, 400, W, {300, 190, 100, 100}, "AA"),
       {304, 190, 320, 199}},
      {"rectangle of negative height", false, {}, Payload(0, 0, W, {0, 0, 10, -1}, "AA"), kNoInk},
      {"rectangle outside the clip", false, inner, Payload(0, 0, W, {0, 0, 50, 10}, "AA"), kNoInk},
      {"engine without flag 4", false, small, Payload(40, 0, 0, {100, 100, 10, 10}, "AAAA"),
       {40, 0, 50, 9}},
      {"session without a clip", true, {}, Payload(0, 195, 0, {}, "A"), {0, 195, 8, 200}},
      {"session margins", true, {}, Payload(0, 0, W, {0, 0, 320, 200}, "AA\nAA"), {16, 16, 32, 35}},
      // Right edge 304, bottom 196: y = 196 - 10 - 5.
      {"session bottom right", true, {}, Payload(300, 300, W, {0, 0, 320, 200}, "AA"),
       {288, 181, 304, 190}},
      {"session past the right margin", true, {}, Payload(0, 0, W, {304, 20, 20, 20}, "AA"), kNoInk},
  };
  for (const auto& c : cases) {
    Picture pic;
    Draw(c.session, pic, c.clip ? &*c.clip : nullptr, c.payload);
    EXPECT_EQ(pic.Ink(), c.ink) << c.what;
    if (c.ink != kNoInk) {
      EXPECT_EQ(pic.at(c.ink[0], c.ink[1]), c.session ? 1 : 15) << c.what;
    }
  }
}

TEST_F(ChunkTest, GatedChunksFollowSwitchZero) {
  SetSwitch(0, 0);
  Picture off;
  for (bool session : {false, true}) Draw(session, off, nullptr, Payload(0, 0, kTextGated, {}, "A"));
  EXPECT_EQ(off.Ink(), kNoInk);
}

}  // namespace
