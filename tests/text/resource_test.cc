#include "base/mem.h"
#include "text_fixture.h"

namespace {

class TextResourceTest : public texttest::TextTest {
 protected:
  // Loads `bytes` as the default string file.
  int16_t Load(const std::string& bytes) {
    return LoadTextResource(nullptr, WriteText("s.trs", bytes).c_str());
  }
  static std::string Str(int16_t n) {
    const char* s = GetText(nullptr, n);
    return s == nullptr ? "<null>" : s;
  }
  static int16_t Count() { return DefaultTextResource()->count; }
};

struct Strings {
  const char* file;
  int16_t count;
  std::vector<std::pair<int16_t, const char*>> texts;  // "<null>": no string
};

TEST_F(TextResourceTest, MarkersStringsAndLineEnds) {
  const Strings cases[] = {
      {"# 3\r\n\r\nHello\r\nWorld\r\n# 4\r\nBye\r\n", 5,
       {{3, "Hello\r\nWorld"}, {4, "Bye"}, {0, "<null>"}, {2, "<null>"}, {5, "<null>"},
        {-1, "<null>"}, {32767, "<null>"}}},
      {"", 1, {{0, "<null>"}}},
      {"#", 1, {{0, "<null>"}}},  // a lone marker byte: dropped as the last byte
      // The later marker wins; a string starts after the slashes of its first
      // line; tabs and other text separate the number.
      {"# 1\nfirst\n# 1\nsecond\n//# 7\nseven\n//Hi\n/# 8\n//Eight\n#\t9\nnine\n# x ## 10\nten\n", 11,
       {{1, "second"}, {7, "seven\n\r\rHi"}, {8, "Eight"}, {9, "nine"}, {10, "ten"}}},
      // A marker without a number ends the string before it and opens none;
      // the search does not go on into the next line.
      {"# 2\ntwo\n# none\n 5\nlost\n# 3\nthree\n", 4, {{2, "two"}, {3, "three"}}},
      // Numbers past 32766 open nothing; a last marker without a line end or
      // text is counted but has no string.
      {"# 99999\nbig\n# 4\nfour\n# 6", 7, {{4, "four"}, {6, "<null>"}}},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(Load(c.file), 0) << c.file;
    EXPECT_EQ(Count(), c.count) << c.file;
    for (auto [n, text] : c.texts) EXPECT_EQ(Str(n), text) << c.file << " #" << n;
  }
  // A missing file leaves nothing loaded: the old one was freed first.
  EXPECT_EQ(LoadTextResource(nullptr, Path("none.trs").c_str()), kErrCannotOpen);
  EXPECT_EQ(DefaultTextResource(), nullptr);
  EXPECT_EQ(GetText(nullptr, 3), nullptr);
  EXPECT_EQ(ErrorLogEntries(),
            std::vector<std::string>{"Cannot open resource " + Path("none.trs") + "."});
}

TEST_F(TextResourceTest, ScrambledFilesUseTheKeyByte) {
  std::vector<uint8_t> file = {'E', 'T', 'R', 'S', 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  for (char c : std::string("# 2\nAB\n")) file.push_back(uint8_t(c) ^ kTextScrambleKey);
  TextResource* mine = nullptr;
  ASSERT_EQ(LoadTextResource(&mine, WriteBytes("x.trs", file).c_str()), 0);
  EXPECT_EQ(DefaultTextResource(), nullptr);  // a caller slot leaves the default alone
  EXPECT_STREQ(GetText(mine, 2), "AB");
  FreeTextResource(&mine);
  EXPECT_EQ(mine, nullptr);

  // Exactly the header, or less: no body, count 1, no strings.
  for (size_t size : {16u, 6u}) {
    file.resize(size);
    ASSERT_EQ(LoadTextResource(&mine, WriteBytes("h.trs", file).c_str()), 0);
    EXPECT_EQ(mine->count, 1);
    EXPECT_EQ(GetText(mine, 0), nullptr);
    FreeTextResource(&mine);
  }
}

}  // namespace
