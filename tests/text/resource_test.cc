#include <cstring>

#include "stream/mem.h"
#include "text_fixture.h"

namespace {

class TextResourceTest : public texttest::TextTest {
 protected:
  // Loads `bytes` as the default string file.
  int16_t Load(const std::string& bytes) {
    return LoadTextResource(nullptr, WriteText("s.trs", bytes).c_str());
  }
  std::string Str(int16_t n) {
    const char* s = GetText(nullptr, n);
    return s == nullptr ? "<null>" : s;
  }
};

TEST_F(TextResourceTest, MarkersStringsAndLineEnds) {
  ASSERT_EQ(Load("# 3\r\n\r\nHello\r\nWorld\r\n# 4\r\nBye\r\n"), 0);
  ASSERT_NE(DefaultTextResource(), nullptr);
  EXPECT_EQ(DefaultTextResource()->count, 5);
  EXPECT_EQ(DefaultTextResource()->header_size, 0u);
  EXPECT_EQ(Str(3), "Hello\r\nWorld");
  EXPECT_EQ(Str(4), "Bye");
  for (int16_t n : {0, 1, 2, 5, -1, 32767}) EXPECT_EQ(GetText(nullptr, n), nullptr) << n;
  FreeTextResource(nullptr);
  EXPECT_EQ(DefaultTextResource(), nullptr);
  EXPECT_EQ(GetText(nullptr, 3), nullptr);
}

TEST_F(TextResourceTest, WriterOutputReadsBack) {
  const std::vector<authoring::TrsEntry> entries = {{1, "One"}, {0, "Zero\nand more"}, {6, "Six"}};
  for (bool crlf : {true, false}) {
    for (bool scrambled : {false, true}) {
      const auto name = Path("w.trs");
      ASSERT_TRUE(authoring::WriteTrsFile(name, authoring::BuildTrsBody(entries, crlf), scrambled));
      ASSERT_EQ(LoadTextResource(nullptr, name.c_str()), 0);
      EXPECT_EQ(DefaultTextResource()->count, 7);
      EXPECT_EQ(DefaultTextResource()->header_size, scrambled ? 16u : 0u);
      EXPECT_EQ(Str(1), "One");
      EXPECT_EQ(Str(0), crlf ? "Zero\r\nand more" : "Zero\nand more");
      EXPECT_EQ(Str(6), "Six");
      EXPECT_EQ(GetText(nullptr, 2), nullptr);
    }
  }
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

  // Exactly the header: no body, count 1, no strings. Shorter: the same.
  file.resize(16);
  ASSERT_EQ(LoadTextResource(&mine, WriteBytes("h.trs", file).c_str()), 0);
  EXPECT_EQ(mine->count, 1);
  EXPECT_EQ(GetText(mine, 0), nullptr);
  FreeTextResource(&mine);
  file.resize(6);
  ASSERT_EQ(LoadTextResource(&mine, WriteBytes("s.trs", file).c_str()), 0);
  EXPECT_EQ(mine->count, 1);
  EXPECT_EQ(GetText(mine, 0), nullptr);
  FreeTextResource(&mine);
}

TEST_F(TextResourceTest, EmptyBodyHasNoStrings) {
  ASSERT_EQ(Load(""), 0);
  EXPECT_EQ(DefaultTextResource()->count, 1);
  EXPECT_EQ(GetText(nullptr, 0), nullptr);
  ASSERT_EQ(Load("#"), 0);  // a lone marker byte: dropped as the last byte
  EXPECT_EQ(DefaultTextResource()->count, 1);
  EXPECT_EQ(GetText(nullptr, 0), nullptr);
}

TEST_F(TextResourceTest, DuplicatesSlashesAndSeparators) {
  ASSERT_EQ(Load("# 1\nfirst\n# 1\nsecond\n"
                 "//# 7\nseven\n//Hi\n"
                 "/# 8\n//Eight\n"
                 "#\t9\nnine\n"
                 "# x ## 10\nten\n"),
            0);
  EXPECT_EQ(DefaultTextResource()->count, 11);
  EXPECT_EQ(Str(1), "second");  // the later marker wins
  EXPECT_EQ(Str(7), "seven\n\r\rHi");
  EXPECT_EQ(Str(8), "Eight");  // a string starts after the slashes of its first line
  EXPECT_EQ(Str(9), "nine");
  EXPECT_EQ(Str(10), "ten");
}

TEST_F(TextResourceTest, MarkersWithoutASeparatedNumber) {
  // "#12": the opening "#" counts as the separator.
  ASSERT_EQ(Load("#12\ntwelve\n"), 0);
  EXPECT_EQ(DefaultTextResource()->count, 13);
  EXPECT_EQ(Str(12), "twelve");

  // A marker line without a number ends the string before it and opens none;
  // the search does not go on into the next line.
  ASSERT_EQ(Load("# 2\ntwo\n# none\n 5\nlost\n# 3\nthree\n"), 0);
  EXPECT_EQ(DefaultTextResource()->count, 4);
  EXPECT_EQ(Str(2), "two");
  EXPECT_EQ(Str(3), "three");
  EXPECT_EQ(GetText(nullptr, 5), nullptr);

  // Numbers past 32766 open nothing; a marker on the last line without a line
  // end is counted but has no text.
  ASSERT_EQ(Load("# 99999\nbig\n# 4\nfour\n# 6"), 0);
  EXPECT_EQ(DefaultTextResource()->count, 7);
  EXPECT_EQ(Str(4), "four");
  EXPECT_EQ(GetText(nullptr, 6), nullptr);

  // A marker whose number is followed by nothing at all.
  ASSERT_EQ(Load("# 1\n"), 0);
  EXPECT_EQ(DefaultTextResource()->count, 2);
  EXPECT_EQ(GetText(nullptr, 1), nullptr);
}

TEST_F(TextResourceTest, CountingAndIndexingDirectly) {
  const char text[] = "x\n//# 5\n#\t2\n";
  EXPECT_EQ(CountTextEntries(reinterpret_cast<const uint8_t*>(text), sizeof text - 1), 6);
  EXPECT_EQ(CountTextEntries(nullptr, 0), 1);
  uint8_t body[] = {'#', ' ', '1', '\n', 'A', 'B', '\n'};
  uint32_t offsets[2] = {0, 0};
  IndexTextEntries(body, sizeof body, offsets, 2);
  EXPECT_EQ(offsets[1], 4u);
  EXPECT_EQ(body[0], 0);
  EXPECT_EQ(body[6], 0);  // the last byte is dropped
  // A pending number at or above the count is not stored.
  uint8_t other[] = {'#', ' ', '3', '\n', 'A', '\n'};
  IndexTextEntries(other, sizeof other, offsets, 2);
  EXPECT_EQ(offsets[0], 0u);
}

TEST_F(TextResourceTest, MissingFileLeavesNothingLoaded) {
  ASSERT_EQ(Load("# 0\nzero\n"), 0);
  EXPECT_EQ(LoadTextResource(nullptr, Path("none.trs").c_str()), kErrCannotOpen);
  EXPECT_EQ(DefaultTextResource(), nullptr);  // the old one was freed first
  ASSERT_EQ(ErrorLogEntries().size(), 1u);
  EXPECT_EQ(ErrorLogEntries()[0], "Cannot open resource " + Path("none.trs") + ".");
}

}  // namespace
