// The viewer end to end: morvane-demos FILE.san headless on the virtual
// clock, its screens, pictures and sound compared with santool export's and
// with the frames of generated files (frame i of a file has colour base + i).
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "player_harness.h"

namespace {

namespace fs = std::filesystem;
using e2e::RunPlayer;
using e2e::Screens;
using e2e::TempDir;

std::string Tool(const std::string& relative) {
  const char* dir = std::getenv("MV_BINARY_DIR");
  return std::string(dir ? dir : MV_BINARY_ROOT) + "/" + relative;
}

int Shell(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str());
}

bool SamePicture(const imageio::Png8& a, const imageio::Png8& b) {
  return a.width == b.width && a.height == b.height && a.indices == b.indices &&
         a.palette == b.palette;
}

// The F12 pictures of a folder, by name.
std::vector<std::string> Pictures(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.path().extension() == ".png") names.push_back(entry.path().filename().string());
  // "x-00001.png" before "x-00001-1.png".
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  });
  return names;
}

// The frame number in "<stem>-NNNNN.png".
int PictureFrame(const std::string& name) {
  return std::atoi(name.substr(name.find('-') + 1, 5).c_str());
}

size_t LoudSamples(const std::string& wav) {
  std::string bytes = e2e::ReadAll(wav);
  if (bytes.size() < 44) return 0;
  // The data chunk's own length: an odd one is followed by a pad byte.
  const size_t end = std::min(bytes.size(), 44 + size_t(ReadLE32(reinterpret_cast<const uint8_t*>(bytes.data()) + 40)));
  size_t loud = 0;
  for (size_t i = 44; i < end; ++i) loud += uint8_t(bytes[i]) != 128;
  return loud;
}

// Runs with the working folder `dir` (where F12 saves).
e2e::RunResult RunIn(const std::string& dir, const std::vector<std::string>& args) {
  const fs::path before = fs::current_path();
  fs::current_path(dir);
  e2e::RunResult r = RunPlayer(args);
  fs::current_path(before);
  return r;
}

class Viewer : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(access(e2e::PlayerPath().c_str(), X_OK), 0) << e2e::PlayerPath();
    e2e::WriteSan(colours_, 150, 10, true, 20);  // music from frame 20 on
    e2e::WriteSan(second_, 12, 110);
  }
  std::string capture() const { return work_ / "screens"; }

  TempDir data_;
  TempDir work_;
  const std::string colours_ = data_ / "colours.san";
  const std::string second_ = data_ / "SECOND.SAN";
};

// A demonstration file from the generator, far down a long path, with its
// fonts and strings found beside it, then a second file: the screens hold
// every frame santool exports, in order, the sound plays, F12 saves the
// screen as it is, and the second file follows.
TEST_F(Viewer, PlaysFilesLikeTheExportWithSoundAndPictures) {
  const std::string folder = data_ / "a-folder-name-long-enough-to-need-a-short-alias/cv2vid";
  ASSERT_EQ(Shell(Tool("data/make-demo-data") + " " + data_ / "demo"), 0);
  fs::create_directories(folder);
  for (const auto& entry : fs::directory_iterator(data_ / "demo/cv2vid"))
    fs::copy(entry.path(), folder + "/" + entry.path().filename().string());
  const std::string file = folder + "/O_open_a.san";
  ASSERT_GT(file.size(), 55u);
  const std::string exported = work_ / "export";
  ASSERT_EQ(Shell(Tool("tools/santool") + " export " + file + " --frames=" + exported +
                  " --audio=" + work_ / "exported.wav" + " --strings=" + folder + "/COBALT2.TRS --fonts=" + folder + "/TALKFONT.NUT," +
                  folder + "/SMALFONT.NUT," + folder + "/TITLFONT.NUT"),
            0);
  const std::vector<imageio::Png8> frames = Screens(exported);
  ASSERT_GT(frames.size(), 30u);

  e2e::RunResult r = RunIn(work_.path(), {"--platform=headless", "--capture=" + capture(),
                                          "--audio-out=" + work_ / "sound.wav", "--keys=1000:F12",
                                          file, "--play", second_});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  // Palette changes show as screens of their own; every exported frame is
  // among the screens, in order: the screen of the last (none when one is
  // missing).
  auto last_exported = [&frames](const std::vector<imageio::Png8>& screens) {
    size_t at = 0, f = 0;
    for (; f < frames.size() && at < screens.size(); ++at)
      if (SamePicture(screens[at], frames[f])) ++f;
    return f == frames.size() ? at - 1 : screens.size();
  };
  const std::vector<imageio::Png8> screens = Screens(capture());
  const size_t at = last_exported(screens);
  ASSERT_LT(at, screens.size());
  // Then the second file's frames (its palette may first show on the last
  // picture of the first).
  std::vector<int> colours = e2e::ColourSequence({screens.begin() + at + 1, screens.end()});
  if (!colours.empty() && colours[0] == frames.back().indices[150 * 320 + 200])
    colours.erase(colours.begin());
  std::vector<int> expected;
  for (int i = 0; i < 12; ++i) expected.push_back(110 + i);
  EXPECT_EQ(colours, expected);
  EXPECT_GT(LoudSamples(work_ / "sound.wav"), 22050u);
  // Alone, the file sounds exactly as exported: the last sounds play out.
  r = RunIn(work_.path(), {"--platform=headless", "--audio-out=" + work_ / "alone.wav", file});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(e2e::ReadAll(work_ / "alone.wav"), e2e::ReadAll(work_ / "exported.wav"));
  // Away from its text, the file shows its titles only when --data names a
  // folder whose cv2vid has it.
  const std::string bare = data_ / "bare/O_open_a.san";
  fs::create_directories(data_ / "bare");
  fs::copy(file, bare);
  for (const bool data : {false, true}) {
    fs::remove_all(capture());
    std::vector<std::string> args = {"--platform=headless", "--capture=" + capture(), bare};
    if (data) args.push_back("--data=" + data_ / "demo");
    r = RunPlayer(args);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(last_exported(Screens(capture())) < Screens(capture()).size(), data);
  }

  const std::vector<std::string> pictures = Pictures(work_.path());
  ASSERT_EQ(pictures.size(), 1u);
  EXPECT_EQ(pictures[0].substr(0, 10), "O_open_a-0");
  imageio::Png8 picture;
  ASSERT_TRUE(imageio::ReadPng8(work_ / pictures[0], &picture));
  EXPECT_TRUE(SamePicture(picture, frames.at(PictureFrame(pictures[0]))));

  // Away from 1x the card plays silence.
  r = RunPlayer({"--platform=headless", "--audio-out=" + work_ / "fast.wav",
                 "--keys=0:Shift+=,0:Add,0:-,0:Subtract,0:-", file});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(LoudSamples(work_ / "fast.wav"), 0u);
}

// Space holds the picture while the clock runs, Right steps one frame, F12
// never overwrites, Home starts the file again (its sound too) and Escape
// ends the viewer before the second file; + plays faster.
TEST_F(Viewer, KeysPauseStepSaveRestartSpeedAndQuit) {
  e2e::RunResult r =
      RunIn(work_.path(), {"--platform=headless", "--capture=" + capture(),
                           "--trace=" + work_ / "trace.jsonl",
                           "--keys=@20:Space,2000:Right,3000:F12,3100:F12,3500:Space,4500:Home,"
                           "6500:Escape",
                           colours_, second_});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  // Nothing of the music playing at the restart is mixed after it: the
  // restarted file's music (from its 20th frame) is the next sound mixed.
  const std::string trace = e2e::ReadAll(work_ / "trace.jsonl");
  const size_t restarted = trace.find("\"ev\":\"switch\"", trace.find("\"ev\":\"switch\"") + 1);
  const size_t sound = trace.find("\"ev\":\"sound\"", restarted);
  ASSERT_NE(sound, std::string::npos);
  EXPECT_EQ(trace.find("\"ev\":\"mix\"", restarted), trace.find("\"ev\":\"mix\"", sound));
  // Paused after the 20th screen (past the first ten frames, which are read
  // as fast as they come) and stepped once: three seconds on, the picture is
  // of the frame after the one paused at, not of the 50th that playing
  // would have reached; the second F12 gets a name of its own.
  const std::vector<std::string> pictures = Pictures(work_.path());
  ASSERT_EQ(pictures.size(), 2u);
  const int held = PictureFrame(pictures[0]);
  EXPECT_GT(held, 10);
  EXPECT_LT(held, 25);
  EXPECT_EQ(pictures[1], "colours-" + pictures[0].substr(8, 5) + "-1.png");
  imageio::Png8 a, b;
  ASSERT_TRUE(imageio::ReadPng8(work_ / pictures[0], &a));
  ASSERT_TRUE(imageio::ReadPng8(work_ / pictures[1], &b));
  EXPECT_TRUE(SamePicture(a, b));
  EXPECT_EQ(a.indices[150 * 320 + 200], 10 + held);

  // The frames in order up to the restart, then from the first again; the
  // second file never shows.
  std::vector<int> colours = e2e::ColourSequence(Screens(capture()));
  colours.erase(std::remove(colours.begin(), colours.end(), 0), colours.end());
  auto restart =
      std::adjacent_find(colours.begin(), colours.end(), [](int x, int y) { return y < x; });
  ASSERT_NE(restart, colours.end());
  std::vector<int> before(colours.begin(), restart + 1), after(restart + 1, colours.end());
  for (size_t i = 0; i < before.size(); ++i) EXPECT_EQ(before[i], 10 + int(i));
  for (size_t i = 0; i < after.size(); ++i) EXPECT_EQ(after[i], 10 + int(i));
  // Frames played in the second after resuming at 1x: about 15.
  const int resumed = before.back() - 10 - held;
  EXPECT_GT(resumed, 8);
  // None owed for the pause: resuming plays on from where it held.
  EXPECT_LT(resumed, 25);

  // At 4x (the most; further + presses change nothing) the same second plays
  // about four times the frames.
  fs::remove_all(capture());
  r = RunPlayer({"--platform=headless", "--capture=" + capture(),
                 "--keys=@20:Space,3000:=,3000:=,3000:=,3000:=,3000:=,3500:Space,4500:Escape",
                 colours_});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  colours = e2e::ColourSequence(Screens(capture()));
  ASSERT_FALSE(colours.empty());
  EXPECT_GT(colours.back() - 10 - (held - 1), 3 * resumed);
}

// Files that cannot be played fail the run with the reason, before anything
// is shown; a bad option is a usage error.
TEST_F(Viewer, UnplayableFilesFailWithTheirReason) {
  fs::create_directories(data_ / "folder.san");
  e2e::WriteAll(data_ / "damaged.san", "this is not an animation file at all");
  e2e::WriteAll(data_ / "empty.san", "");
  e2e::WriteAll(data_ / "huge.san", "");
  fs::resize_file(data_ / "huge.san", 3ull << 30);  // sparse
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string error;
  } cases[] = {
      {{data_ / "missing.san"}, 1, "cannot play " + data_ / "missing.san" + ": No such file"},
      {{colours_, data_ / "folder.san"}, 1, "folder.san: is a folder"},
      {{"--fonts=" + data_ / "none.nut", colours_}, 1, "cannot play " + data_ / "none.nut"},
      {{data_ / "damaged.san"}, 1, "errors while playing " + data_ / "damaged.san"},
      {{data_ / "empty.san"}, 1, "empty.san: no frame could be shown"},
      {{colours_, data_ / "huge.san"}, 1, "huge.san: too large (3221225472 bytes"},
      {{"--fonts=a.nut,,b.nut", colours_}, 2, "bad --fonts list"},
      {{"--play"}, 2, "option --play needs a value"},
      {{"--data=" + data_ / "none", colours_}, 2, "cannot use the data folder"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--platform=headless", "--capture=" + capture()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    fs::remove_all(capture());
    e2e::RunResult r = RunPlayer(args);
    EXPECT_EQ(r.exit_code, c.status) << c.args.back() << "\n" << r.err;
    EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
    if (c.status == 2 || c.error.find("cannot play") == 0) {
      EXPECT_TRUE(Screens(capture()).empty());
    }
  }
}

}  // namespace
