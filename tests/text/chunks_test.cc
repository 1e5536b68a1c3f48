#include <cstring>
#include <string>

#include "text/block.h"
#include "text/chunks.h"
#include "text_fixture.h"

namespace {

using texttest::BoxFont;
using texttest::Picture;
using Box4 = std::array<int, 4>;

void Le16(std::vector<uint8_t>& b, int v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}

// A text payload; the rectangle is written whatever the flags say.
std::vector<uint8_t> Payload(int x, int y, int flags, ClipRect rect, const std::string& text) {
  std::vector<uint8_t> b;
  for (int v : {x, y, flags, int(rect.left), int(rect.top), int(rect.width), int(rect.height), 0})
    Le16(b, v);
  b.insert(b.end(), text.begin(), text.end());
  b.push_back(0);
  return b;
}
std::vector<uint8_t> StringPayload(int x, int y, int flags, ClipRect rect, int number) {
  std::vector<uint8_t> b = Payload(x, y, flags, rect, "");
  b.pop_back();
  Le16(b, number);
  return b;
}

class ChunkTest : public texttest::TextTest {
 protected:
  void SetUp() override {
    TextTest::SetUp();
    ASSERT_EQ(LoadRing({WriteFont("a.nut", BoxFont(8, 9, 4))}), 0);
  }
  void Engine(Picture& pic, const ClipRect* clip, uint32_t tag, const std::vector<uint8_t>& p) {
    DrawTextChunk(&pic.surface, clip, tag, p.data(), uint32_t(p.size()));
  }
  void Session(Picture& pic, const ClipRect* clip, uint32_t tag, const std::vector<uint8_t>& p) {
    DrawSessionTextChunk(&pic.surface, clip, tag, p.data(), uint32_t(p.size()));
  }
};

TEST_F(ChunkTest, ReadsTheFields) {
  TextChunk c;
  auto p = Payload(-3, 7, kTextWrap | kTextCentre, {1, 2, 3, 4}, "Hi");
  ASSERT_TRUE(ReadTextChunk(kTagText, p.data(), uint32_t(p.size()), &c));
  EXPECT_EQ(c.x, -3);
  EXPECT_EQ(c.y, 7);
  EXPECT_EQ(c.flags, kTextWrap | kTextCentre);
  EXPECT_EQ(c.rect.left, 1);
  EXPECT_EQ(c.rect.height, 4);
  EXPECT_STREQ(c.text, "Hi");
  p = Payload(0, 0, 0, {1, 2, 3, 4}, "Hi");
  ASSERT_TRUE(ReadTextChunk(kTagText, p.data(), uint32_t(p.size()), &c));
  EXPECT_EQ(c.rect.left, 0);  // no flag 4: not read

  EXPECT_FALSE(ReadTextChunk(kTagText, p.data(), 15, &c));
  EXPECT_FALSE(ReadTextChunk(0x464F424A, p.data(), uint32_t(p.size()), &c));
  EXPECT_FALSE(ReadTextChunk(kTagText, nullptr, 20, &c));
  EXPECT_FALSE(ReadTextChunk(kTagTextString, p.data(), 17, &c));

  // A text that runs to the end of its payload is ended there.
  ASSERT_TRUE(ReadTextChunk(kTagText, p.data(), 17, &c));
  EXPECT_STREQ(c.text, "H");
  ASSERT_TRUE(ReadTextChunk(kTagText, p.data(), 16, &c));
  EXPECT_STREQ(c.text, "");
  std::vector<uint8_t> big = Payload(0, 0, 0, {}, std::string(5000, 'A'));
  big.pop_back();
  ASSERT_TRUE(ReadTextChunk(kTagText, big.data(), uint32_t(big.size()), &c));
  EXPECT_EQ(std::strlen(c.text), 4001u);
}

TEST_F(ChunkTest, StringChunksLookTheirTextUp) {
  ASSERT_TRUE(authoring::WriteTrsFile(Path("s.trs"), authoring::BuildTrsBody({{2, "AB"}}), true));
  ASSERT_EQ(LoadTextResource(nullptr, Path("s.trs").c_str()), 0);
  Picture pic;
  Engine(pic, nullptr, kTagTextString, StringPayload(10, 10, 0, {}, 2));
  EXPECT_EQ(pic.Ink(), (Box4{10, 10, 26, 19}));
  EXPECT_EQ(pic.at(10, 10), 15);
  Picture none;
  for (int n : {0, 3, -1, 500}) {
    Engine(none, nullptr, kTagTextString, StringPayload(10, 10, 0, {}, n));
    Session(none, nullptr, kTagTextString, StringPayload(10, 10, 0, {}, n));
  }
  EXPECT_EQ(none.Count(0), 320 * 200);
}

TEST_F(ChunkTest, EngineCutsTheRectangleToItsClip) {
  // 100 wide would hold "AAAAAA AAAAAA" on one line; cut to 95 it wraps.
  Picture pic;
  Engine(pic, nullptr, kTagText, Payload(-20, 0, kTextWrap, {-5, 0, 100, 200}, "AAAAAA AAAAAA"));
  EXPECT_EQ(pic.Ink(), (Box4{0, 0, 48, 19}));
  Picture whole;
  Engine(whole, nullptr, kTagText, Payload(-20, 0, kTextWrap, {0, 0, 100, 200}, "AAAAAA AAAAAA"));
  EXPECT_EQ(whole.Ink(), (Box4{0, 0, 100, 9}));

  // Against the engine's clip, and past the bitmap's right and bottom edges.
  const ClipRect clip = {50, 50, 100, 100};
  Picture inside;
  Engine(inside, &clip, kTagText, Payload(0, 0, kTextWrap, {0, 0, 320, 200}, "AA"));
  EXPECT_EQ(inside.Ink(), (Box4{50, 50, 66, 59}));
  Picture edge;
  Engine(edge, nullptr, kTagText, Payload(400, 400, kTextWrap, {300, 190, 100, 100}, "AA"));
  EXPECT_EQ(edge.Ink(), (Box4{304, 190, 320, 199}));

  // Rectangles left with nothing draw nothing.
  Picture none;
  Engine(none, nullptr, kTagText, Payload(0, 0, kTextWrap, {320, 0, 10, 10}, "AA"));
  Engine(none, nullptr, kTagText, Payload(0, 0, kTextWrap, {0, 0, 10, -1}, "AA"));
  Engine(none, &clip, kTagText, Payload(0, 0, kTextWrap, {0, 0, 50, 10}, "AA"));
  EXPECT_EQ(none.Count(0), 320 * 200);
}

TEST_F(ChunkTest, WithoutFlagFourTheCallersClipIsUsed) {
  const ClipRect clip = {0, 0, 50, 50};
  Picture engine;
  Engine(engine, &clip, kTagText, Payload(40, 0, 0, {100, 100, 10, 10}, "AAAA"));
  EXPECT_EQ(engine.Ink(), (Box4{40, 0, 50, 9}));
  EXPECT_EQ(engine.at(40, 0), 15);
  Picture session;
  Session(session, &clip, kTagText, Payload(40, 0, 0, {100, 100, 10, 10}, "AAAA"));
  EXPECT_EQ(session.Ink(), (Box4{40, 0, 50, 9}));
  EXPECT_EQ(session.at(40, 0), 1);
  Picture unclipped;
  Session(unclipped, nullptr, kTagText, Payload(0, 195, 0, {}, "A"));
  EXPECT_EQ(unclipped.Ink(), (Box4{0, 195, 8, 200}));
}

TEST_F(ChunkTest, SessionKeepsTheRectangleInsideItsMargins) {
  Picture pic;
  Session(pic, nullptr, kTagText, Payload(0, 0, kTextWrap, {0, 0, 320, 200}, "AA\nAA"));
  EXPECT_EQ(pic.Ink(), (Box4{16, 16, 32, 35}));
  Picture bottom;
  Session(bottom, nullptr, kTagText, Payload(300, 300, kTextWrap, {0, 0, 320, 200}, "AA"));
  // Right edge 304, bottom 196: y = 196 - 10 - 5.
  EXPECT_EQ(bottom.Ink(), (Box4{288, 181, 304, 190}));
  Picture narrow;
  Session(narrow, nullptr, kTagText, Payload(0, 0, kTextWrap, {300, 20, 20, 20}, "AA"));
  EXPECT_EQ(narrow.Ink(), (Box4{300, 20, 304, 29}));
  Picture none;
  Session(none, nullptr, kTagText, Payload(0, 0, kTextWrap, {304, 20, 20, 20}, "AA"));
  Session(none, nullptr, kTagText, Payload(0, 0, kTextWrap, {0, 196, 20, 20}, "AA"));
  Session(none, nullptr, kTagText, Payload(0, 0, kTextWrap, {20, 20, 0, 10}, "AA"));
  EXPECT_EQ(none.Count(0), 320 * 200);
}

TEST_F(ChunkTest, GatedAndOpaqueChunks) {
  Picture pic(320, 200, 9);
  Engine(pic, nullptr, kTagText, Payload(0, 0, kTextGated | kTextOpaque, {}, "A A"));
  EXPECT_EQ(pic.Count(15), 2 * 72);
  EXPECT_EQ(pic.Count(0), 4 * 9);
  SetSwitch(0, 0);
  Picture off;
  Engine(off, nullptr, kTagText, Payload(0, 0, kTextGated, {}, "A"));
  Session(off, nullptr, kTagText, Payload(0, 0, kTextGated, {}, "A"));
  EXPECT_EQ(off.Count(0), 320 * 200);
}

}  // namespace
