// The player end to end: the built executable on small demonstration
// folders, headless with the virtual clock, its screens captured.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "player_harness.h"

namespace {

using e2e::RunPlayer;
using e2e::Screens;
using e2e::TempDir;

std::vector<int> Range(int first, int count, std::vector<int> before = {}) {
  for (int i = 0; i < count; ++i) before.push_back(first + i);
  return before;
}
const std::vector<int> kCobalt = Range(e2e::kColourFirstB, 20, Range(e2e::kColourFirstA, 30));
const std::vector<int> kLantern = Range(e2e::kColourSecondB, 15, Range(e2e::kColourSecondA, 25));

// The frame colours shown, without the black of a cleared screen.
std::vector<int> Shown(const std::string& capture) {
  std::vector<int> colours = e2e::ColourSequence(Screens(capture));
  colours.erase(std::remove(colours.begin(), colours.end(), 0), colours.end());
  return colours;
}

bool AnyOfFirstB(const std::vector<int>& colours) {
  return std::any_of(colours.begin(), colours.end(), [](int c) {
    return c >= e2e::kColourFirstB && c < e2e::kColourFirstB + 20;
  });
}

class Player : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(access(e2e::PlayerPath().c_str(), X_OK), 0) << e2e::PlayerPath();
    e2e::WriteDemoFolder(data_.path(), e2e::DemoFolder{});
    e2e::WriteTextResources(data_.path());
  }
  e2e::RunResult Run(std::vector<std::string> words, const std::string& data = "") {
    words.insert(words.begin(), {"--platform=headless", "--data=" + (data.empty() ? data_.path() : data),
                                 "--capture=" + capture()});
    return RunPlayer(words);
  }
  std::string capture() const { return work_ / "screens"; }

  TempDir data_;
  TempDir work_;
};

// What a run shows, frame by frame, and how it ends. Without /d1 there is no
// overlay: white never shows.
TEST_F(Player, RunsShowTheirDemonstrationsFrameByFrame) {
  const struct {
    std::vector<std::string> words;
    std::vector<int> shown;
    int status = 0;
    std::string err = "";  // a text stderr must hold; "": stderr stays empty
    e2e::DemoFolder files{};
  } rows[] = {
      // Exit at the first dialog ends without starting the display.
      {{"--choice=2"}, {}},
      {{"--choice=escape"}, {}},
      {{"--choice="}, {}},
      {{"/cobalt2"}, kCobalt},
      {{"/THELANTERN"}, kLantern},  // plays without text resources
      {{"/cobalt2", "/thelantern"}, kLantern},  // the later word wins
      {{"--choice=fail"}, kCobalt},  // a failed dialog: the first one, without its texts
      {{"/cobalt2", "--activate=400:0,900:1"}, kCobalt},  // paused, then resumed
      // Keys that are not Alt+X, Alt+F4 or Escape do not end it.
      {{"/cobalt2", "--keys=@10:a,@10:Shift+2,@10:Ctrl+A,@10:Ctrl+X,@10:VK0,@10:X,@10:F4,@10:Alt,"
                    "@10:F10"},
       kCobalt},
      // With the chooser, a demonstration whose files are missing is reported
      // and the chooser comes back; the run fails.
      {{"--choice=101,102"}, Range(e2e::kColourSecondA, 5), 1,
       "Cannot open file cv2vid\\O_open_a.san\n", {0, 0, 5, 0}},
      // A second file that cannot be had ends the demonstration after the
      // first one's last frame instead of showing that frame for ever.
      {{"/cobalt2"}, Range(e2e::kColourFirstA, 12), 1, "Cannot open file cv2vid\\O_open_b.san",
       {12, 0, 0, 0}},
  };
  for (const auto& row : rows) {
    std::string trace;
    for (const std::string& w : row.words) trace += w + " ";
    SCOPED_TRACE(trace);
    TempDir data;
    e2e::WriteDemoFolder(data.path(), row.files);
    e2e::WriteTextResources(data.path());
    std::filesystem::remove_all(capture());
    e2e::RunResult r = Run(row.words, data.path());
    EXPECT_EQ(r.exit_code, row.status) << r.err;
    if (row.err.empty()) {
      EXPECT_EQ(r.err, "");
    }
    EXPECT_NE(r.err.find(row.err), std::string::npos) << r.err;
    EXPECT_EQ(Shown(capture()), row.shown);
    const auto screens = Screens(capture());
    if (row.shown.empty()) {
      EXPECT_TRUE(screens.empty());
    }
    for (const auto& s : screens)
      ASSERT_EQ(std::count(s.indices.begin(), s.indices.end(), e2e::kWhite), 0);
  }
}

TEST_F(Player, EscapeSkipsTheSecondFileAndTheChooserComesBack) {
  // Screens are counted from the first session's start: the 20th is in the
  // first file.
  e2e::RunResult r = Run({"--choice=101,102", "--keys=@20:Escape"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  std::vector<int> shown = Shown(capture());
  EXPECT_FALSE(AnyOfFirstB(shown));
  auto lantern = std::find(shown.begin(), shown.end(), e2e::kColourSecondA);
  ASSERT_NE(lantern, shown.end());
  ASSERT_NE(lantern, shown.begin());
  EXPECT_GE(*(lantern - 1), e2e::kColourFirstA + 10);
  EXPECT_LT(*(lantern - 1), e2e::kColourFirstA + 29);  // stopped before its end
  EXPECT_EQ(std::vector<int>(lantern, shown.end()), kLantern);

  for (const char* key : {"--keys=@15:Alt+X", "--keys=@15:Alt+F4"}) {
    std::filesystem::remove_all(capture());
    EXPECT_EQ(Run({"/cobalt2", key}).exit_code, 0) << key;
    EXPECT_FALSE(AnyOfFirstB(Shown(capture()))) << key;
  }
}

TEST_F(Player, MoreKeysThanTheQueueHoldsAreHarmless) {
  std::string keys = "--keys=";
  for (int i = 0; i < 400; ++i) keys += std::to_string(i / 50) + ":b,";
  keys += "@12:b";
  EXPECT_EQ(Run({"/cobalt2", keys}).exit_code, 0);
  EXPECT_FALSE(Shown(capture()).empty());
}

TEST_F(Player, DebugLevelOneDrawsTheFrameOverlay) {
  EXPECT_EQ(Run({"/D1", "/cobalt2"}).exit_code, 0);
  int overlay = 0;
  for (const auto& s : Screens(capture())) {
    for (int y = 38; y < 64; ++y)
      for (int x = 10; x < 160; ++x) overlay += s.indices[y * s.width + x] == e2e::kWhite;
    // Nothing of it far from its lines.
    ASSERT_NE(s.indices[150 * s.width + 200], e2e::kWhite);
  }
  EXPECT_GT(overlay, 0);
}

TEST_F(Player, SecondCopyHandsTheFocusToTheFirstAndEnds) {
  TempDir instance;
  // Put in the background after two screens, it stays until killed.
  e2e::Player first({"--platform=headless", "--data=" + data_.path(),
                         "--instance-dir=" + instance.path(), "--activate=@2:0", "/cobalt2"});
  std::string socket = instance / "instance.sock";
  for (int i = 0; i < 400 && access(socket.c_str(), F_OK) != 0; ++i) usleep(25000);
  ASSERT_EQ(access(socket.c_str(), F_OK), 0);

  e2e::RunResult second = Run({"--instance-dir=" + instance.path(), "/cobalt2"});
  EXPECT_EQ(second.exit_code, 0);
  EXPECT_EQ(second.err, "morvane-demos: another copy is running; it was asked to take the focus\n");
  EXPECT_TRUE(Screens(capture()).empty());
  EXPECT_TRUE(first.WaitForError("another copy asked for the focus", 30000)) << first.Errors();
}

TEST_F(Player, AnyCommandLineIsHarmless) {
  std::vector<std::string> words = {"--platform=headless", "--choice=2"};
  std::string junk;
  for (int i = 0; i < 2000; ++i) junk += static_cast<char>(1 + (i * 37) % 254);
  for (int i = 0; i < 30; ++i) words.push_back(i % 3 ? junk.substr(i * 7, 50) : "/cds");
  words.push_back(std::string(100000, '/'));
  words.push_back("--data=" + data_.path());
  EXPECT_EQ(RunPlayer(words).exit_code, 0);
}

}  // namespace
