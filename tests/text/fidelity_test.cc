// Behaviour at the edges of the text limits, checked against whole pictures.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/switches.h"
#include "text/block.h"

namespace {

struct Canvas {
  std::vector<uint8_t> pixels = std::vector<uint8_t>(320 * 200, 0);
  Surface surface{pixels.data(), 320, 200};
  // Rows from y0 on that hold any pixel other than 0.
  bool InkFrom(int y0) const {
    for (size_t i = size_t(y0) * 320; i < pixels.size(); ++i)
      if (pixels[i] != 0) return true;
    return false;
  }
};

class TextLimitTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetSwitches(); }
};

// The line layout reads no character past the 4000th: a text cut at the limit
// loses its unfinished last line even when a line feed follows the cut.
TEST_F(TextLimitTest, LineFeedPastTheLimitDoesNotFinishTheLastLine) {
  const std::string head = "A\n" + std::string(3998, 'B');  // 4000 characters
  for (const std::string tail : {"", "\n", "\nC", "B"}) {
    Canvas c;
    DrawText(nullptr, &c.surface, nullptr, 0, 0, 1, 0, 0, (head + tail).c_str());
    EXPECT_NE(c.pixels[0], 0) << "first line";
    // Exactly 4000 characters end at the text's own terminator: the B line
    // (built-in font, 6 rows per line) is drawn; any longer text loses it.
    EXPECT_EQ(c.InkFrom(6), tail.empty()) << "tail '" << tail << "'";
  }
}

}  // namespace
