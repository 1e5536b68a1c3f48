// The player end to end: the built executable on small demonstration
// folders, headless with the virtual clock, its screens captured.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "player_harness.h"

namespace {

using e2e::ColourSequence;
using e2e::RunPlayer;
using e2e::Screens;
using e2e::TempDir;

std::vector<int> Range(int first, int count) {
  std::vector<int> v;
  for (int i = 0; i < count; ++i) v.push_back(first + i);
  return v;
}

std::vector<int> Concat(std::vector<int> a, const std::vector<int>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The frame colours shown, without the black of a cleared screen.
std::vector<int> Shown(const std::string& capture) {
  std::vector<int> colours = ColourSequence(Screens(capture));
  colours.erase(std::remove(colours.begin(), colours.end(), 0), colours.end());
  return colours;
}

bool AnyInRange(const std::vector<int>& colours, int low, int high) {
  return std::any_of(colours.begin(), colours.end(),
                     [&](int c) { return c >= low && c < high; });
}

class Player : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(access(e2e::PlayerPath().c_str(), X_OK), 0) << e2e::PlayerPath();
    e2e::WriteDemoFolder(data_.path(), e2e::DemoFolder{});
    e2e::WriteTextResources(data_.path());
  }
  e2e::RunResult Run(std::vector<std::string> words) {
    words.insert(words.begin(), {"--platform=headless", "--data=" + data_.path(),
                                 "--capture=" + capture()});
    return RunPlayer(words);
  }
  std::string capture() const { return work_ / "screens"; }

  TempDir data_;
  TempDir work_;
};

TEST_F(Player, ExitAtTheFirstDialogEndsWithoutStartingTheDisplay) {
  for (const char* exit : {"--choice=2", "--choice=escape", "--choice="}) {
    e2e::RunResult r = Run({exit});
    EXPECT_EQ(r.exit_code, 0) << exit;
    EXPECT_EQ(r.err, "") << exit;
    EXPECT_TRUE(Screens(capture()).empty()) << exit;
  }
}

TEST_F(Player, FirstDemonstrationPlaysBothFilesOnce) {
  e2e::RunResult r = Run({"/cobalt2"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(Shown(capture()), Concat(Range(e2e::kColourFirstA, 30), Range(e2e::kColourFirstB, 20)));
  // Without /d1 no overlay: white never shows.
  for (const auto& s : Screens(capture()))
    ASSERT_EQ(std::count(s.indices.begin(), s.indices.end(), e2e::kWhite), 0);
}

TEST_F(Player, SecondDemonstrationPlaysItsFilesWithoutTextResources) {
  e2e::RunResult r = Run({"/THELANTERN"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(Shown(capture()),
            Concat(Range(e2e::kColourSecondA, 25), Range(e2e::kColourSecondB, 15)));
  EXPECT_EQ(r.err, "");
}

TEST_F(Player, LaterOptionWins) {
  e2e::RunResult r = Run({"/cobalt2", "/thelantern"});
  EXPECT_EQ(r.exit_code, 0);
  std::vector<int> shown = Shown(capture());
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown.front(), e2e::kColourSecondA);
}

TEST_F(Player, EscapeSkipsTheSecondFileAndTheChooserComesBack) {
  // Screens are counted from the first session's start: the 20th is in the
  // first file.
  e2e::RunResult r = Run({"--choice=101,102", "--keys=@20:Escape"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  std::vector<int> shown = Shown(capture());
  EXPECT_FALSE(AnyInRange(shown, e2e::kColourFirstB, e2e::kColourFirstB + 20));
  auto lantern = std::find(shown.begin(), shown.end(), e2e::kColourSecondA);
  ASSERT_NE(lantern, shown.end());
  ASSERT_NE(lantern, shown.begin());
  int last_first = *(lantern - 1);
  EXPECT_GE(last_first, e2e::kColourFirstA + 10);
  EXPECT_LT(last_first, e2e::kColourFirstA + 29);  // stopped before its end
  EXPECT_EQ(std::vector<int>(lantern, shown.end()),
            Concat(Range(e2e::kColourSecondA, 25), Range(e2e::kColourSecondB, 15)));
}

TEST_F(Player, AltXAndAltF4EndADemonstrationOtherKeysDoNot) {
  for (const char* key : {"--keys=@15:Alt+X", "--keys=@15:Alt+F4"}) {
    e2e::RunResult r = Run({"/cobalt2", key});
    EXPECT_EQ(r.exit_code, 0) << key;
    std::vector<int> shown = Shown(capture());
    EXPECT_FALSE(AnyInRange(shown, e2e::kColourFirstB, e2e::kColourFirstB + 20)) << key;
  }
  e2e::RunResult r =
      Run({"/cobalt2", "--keys=@10:a,@10:Shift+2,@10:Ctrl+A,@10:VK0,@10:X,@10:F4,@10:Alt,@10:F10"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(Shown(capture()), Concat(Range(e2e::kColourFirstA, 30), Range(e2e::kColourFirstB, 20)));
}

TEST_F(Player, MoreKeysThanTheQueueHoldsAreHarmless) {
  std::string keys = "--keys=";
  for (int i = 0; i < 400; ++i) keys += std::to_string(i / 50) + ":b,";
  keys += "@12:b";
  e2e::RunResult r = Run({"/cobalt2", keys});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_FALSE(Shown(capture()).empty());
}

TEST_F(Player, DebugLevelOneDrawsTheFrameOverlay) {
  e2e::RunResult r = Run({"/D1", "/cobalt2"});
  EXPECT_EQ(r.exit_code, 0);
  auto screens = Screens(capture());
  int overlay = 0;
  for (const auto& s : screens) {
    for (int y = 38; y < 64; ++y)
      for (int x = 10; x < 160; ++x) overlay += s.indices[y * s.width + x] == e2e::kWhite;
    // Nothing of it far from its lines.
    ASSERT_EQ(s.indices[150 * s.width + 200] == e2e::kWhite, false);
  }
  EXPECT_GT(overlay, 0);
}

// With the chooser, a demonstration whose files are missing is reported and
// the chooser comes back; the run fails.
TEST_F(Player, MissingFirstFileIsReported) {
  TempDir data;
  e2e::WriteDemoFolder(data.path(), e2e::DemoFolder{0, 0, 5, 0});
  e2e::RunResult r = RunPlayer({"--platform=headless", "--data=" + data.path(),
                                "--capture=" + capture(), "--choice=101,102"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("Cannot open file cv2vid\\O_open_a.san\n"), std::string::npos) << r.err;
  EXPECT_EQ(Shown(capture()), Range(e2e::kColourSecondA, 5));
}

// A second file that cannot be had ends the demonstration after the first
// one's last frame instead of showing that frame for ever; the run fails.
TEST_F(Player, MissingSecondFileEndsTheDemonstration) {
  TempDir data;
  e2e::WriteDemoFolder(data.path(), e2e::DemoFolder{12, 0, 0, 0});
  e2e::WriteTextResources(data.path());
  e2e::RunResult r = RunPlayer({"--platform=headless", "--data=" + data.path(),
                                "--capture=" + capture(), "/cobalt2"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("Cannot open file cv2vid\\O_open_b.san"), std::string::npos) << r.err;
  EXPECT_EQ(Shown(capture()), Range(e2e::kColourFirstA, 12));
  EXPECT_LT(Screens(capture()).size(), 40u);
}

TEST_F(Player, AFailedDialogPlaysTheFirstDemonstrationWithoutItsTexts) {
  e2e::RunResult r = Run({"--choice=fail"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(Shown(capture()), Concat(Range(e2e::kColourFirstA, 30), Range(e2e::kColourFirstB, 20)));
  EXPECT_EQ(r.err.find("COBALT2.TRS"), std::string::npos) << r.err;
}

TEST_F(Player, DeactivationPausesAndPlaybackResumes) {
  e2e::RunResult r = Run({"/cobalt2", "--activate=400:0,900:1"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(Shown(capture()), Concat(Range(e2e::kColourFirstA, 30), Range(e2e::kColourFirstB, 20)));
}

TEST_F(Player, AudioCaptureWritesAWave) {
  std::string wav = work_ / "out.wav";
  e2e::RunResult r = Run({"/thelantern", "--audio-out=" + wav});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  imageio::Wav8 sound;
  ASSERT_TRUE(imageio::ReadWav8(wav, &sound)) << wav;
  EXPECT_EQ(sound.rate, 22050u);
}

TEST_F(Player, SecondCopyHandsTheFocusToTheFirstAndEnds) {
  TempDir instance;
  TempDir data;
  e2e::WriteDemoFolder(data.path(), e2e::DemoFolder{});
  e2e::WriteTextResources(data.path());
  // Put in the background after two screens, it stays until killed.
  e2e::Background first({"--platform=headless", "--data=" + data.path(),
                         "--instance-dir=" + instance.path(), "--activate=@2:0", "/cobalt2"});
  std::string socket = instance / "instance.sock";
  for (int i = 0; i < 400 && access(socket.c_str(), F_OK) != 0; ++i) usleep(25000);
  ASSERT_EQ(access(socket.c_str(), F_OK), 0);

  e2e::RunResult second = RunPlayer({"--platform=headless", "--data=" + data.path(),
                                     "--instance-dir=" + instance.path(),
                                     "--capture=" + capture(), "/cobalt2"});
  EXPECT_EQ(second.exit_code, 0);
  EXPECT_EQ(second.err, "");
  EXPECT_TRUE(Screens(capture()).empty());
  EXPECT_TRUE(first.WaitForError("another copy asked for the focus", 30000)) << first.err();
}

TEST_F(Player, AnyCommandLineIsHarmless) {
  std::vector<std::string> words = {"--platform=headless", "--choice=2"};
  std::string junk;
  for (int i = 0; i < 2000; ++i) junk += static_cast<char>(1 + (i * 37) % 254);
  for (int i = 0; i < 30; ++i) words.push_back(i % 3 ? junk.substr(i * 7, 50) : "/cds");
  words.push_back(std::string(100000, '/'));
  words.push_back("--data=" + data_.path());
  e2e::RunResult r = RunPlayer(words);
  EXPECT_EQ(r.exit_code, 0);
}

}  // namespace
