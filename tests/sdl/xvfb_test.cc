// The player on the SDL backend under a private virtual X server: what the
// window shows after scaling, Escape, closing, a second copy, the chooser,
// and the sound written by SDL's file audio driver. Every test skips when
// there is no Xvfb or the player was built without SDL; none is built
// without the X11 headers or the SDL backend.
#if defined(MV_HAVE_X11) && defined(MV_HAVE_SDL)
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>
#include <tuple>

#include <gtest/gtest.h>

#include "authoring/audio.h"
#include "authoring/codecs.h"
#include "authoring/san_writer.h"
#include "e2e/player_harness.h"
#include "platform/sdl/chooser.h"
#include "xserver.h"

namespace sdltest {
namespace {

namespace fs = std::filesystem;
using e2e::Player;

constexpr char kTitle[] = "Morvane Demos for Windows 95";
// Generous limits: nothing is measured against them, they only stop a hung run.
constexpr int kStartLimitMs = 20000;
constexpr int kEndLimitMs = 30000;

constexpr uint32_t kFocus = platform::sdl::kChooserFocus;

// Quadrants of the test picture: top-left, top-right, bottom-left, bottom-right.
constexpr uint32_t kQuadrant[4] = {0xDC2828, 0x28C83C, 0x283CDC, 0xE6D228};

authoring::SanHeader QuadrantHeader(uint16_t fps) {
  authoring::SanHeader header;
  header.fps = fps;
  for (int q = 0; q < 4; ++q) {
    header.palette[3 * (q + 1)] = static_cast<uint8_t>(kQuadrant[q] >> 16);
    header.palette[3 * (q + 1) + 1] = static_cast<uint8_t>(kQuadrant[q] >> 8);
    header.palette[3 * (q + 1) + 2] = static_cast<uint8_t>(kQuadrant[q]);
  }
  return header;
}

std::vector<uint8_t> QuadrantPixels() {
  std::vector<uint8_t> pixels(320 * 200);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 320; ++x) pixels[y * 320 + x] = static_cast<uint8_t>(1 + (x >= 160) + 2 * (y >= 100));
  return pixels;
}

// 441 Hz (50 samples a period at 22050 Hz).
std::vector<uint8_t> Tone(size_t samples) {
  std::vector<uint8_t> tone(samples);
  for (size_t i = 0; i < samples; ++i)
    tone[i] = static_cast<uint8_t>(128 + std::lround(100 * std::sin(2 * M_PI * static_cast<double>(i) / 50)));
  return tone;
}

// The first demonstration: `frames` frames of the quadrant picture at `fps`,
// the first with `tone_samples` of the tone; its second file is one frame.
void WriteDemo(const std::string& dir, int frames, uint16_t fps, size_t tone_samples) {
  fs::create_directories(dir + "/cv2vid");
  fs::create_directories(dir + "/lanvid");
  const std::vector<uint8_t> pixels = QuadrantPixels();
  const authoring::Bytes picture = authoring::EncodeRunLength(1, 0, 0, 320, 200, pixels.data(), 320);
  for (const char* name : {"/cv2vid/O_open_a.san", "/cv2vid/O_open_b.san"}) {
    authoring::SanWriter writer(QuadrantHeader(fps));
    const int count = std::string(name).find("_a") != std::string::npos ? frames : 1;
    for (int i = 0; i < count; ++i) {
      authoring::Frame frame;
      frame.Fobj(picture);
      if (i == 0 && tone_samples > 0 && count == frames) {
        authoring::TrackScript script;
        script.Data(0, static_cast<uint32_t>(tone_samples)).End();
        frame.Saud(authoring::SoundImage(script.bytes(), Tone(tone_samples)));
      }
      writer.AddFrame(frame);
    }
    std::string error;
    ASSERT_TRUE(writer.WriteFile(dir + name, &error)) << error;
  }
  e2e::WriteTextResources(dir);  // so that a run records no error
}

struct Box {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;  // inclusive
  int width() const { return right - left + 1; }
  int height() const { return bottom - top + 1; }
  bool empty() const { return right < left; }
};

// The pixels of exactly this colour.
Box Find(const Image& image, uint32_t colour) {
  Box box;
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x)
      if (image.At(x, y) == colour) {
        box.left = std::min(box.left, x);
        box.right = std::max(box.right, x);
        box.top = std::min(box.top, y);
        box.bottom = std::max(box.bottom, y);
      }
  return box;
}

class SdlPlayer : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access(e2e::PlayerPath().c_str(), X_OK) != 0) GTEST_SKIP() << "no player at " << e2e::PlayerPath();
    if (!PlayerHasSdl()) GTEST_SKIP() << "the player was built without SDL";
    x_ = std::make_unique<VirtualDisplay>();
    if (!x_->available()) GTEST_SKIP() << "no Xvfb: the SDL tests need a virtual X server";
  }

  static bool PlayerHasSdl() {
    // Without the backend, --platform=sdl ends at once with status 1 and says so.
    Player p({"--platform=sdl", "--data=/nonexistent", "/cobalt2"}, {{"DISPLAY", ":65000"}});
    int code = -1;
    if (!p.Wait(kEndLimitMs, &code)) return false;
    return p.Errors().find("not part of this build") == std::string::npos;
  }

  std::map<std::string, std::string> Env(const std::string& audio = "dummy") const {
    return {{"DISPLAY", x_->name()},
            {"SDL_AUDIODRIVER", audio},
            {"SDL_DISKAUDIOFILE", dir_ + "/audio.raw"},
            {"XDG_RUNTIME_DIR", dir_}};
  }

  // Screenshots until the four quadrants show (or the player ends).
  Image WaitForPicture(Player& player) {
    Image shot;
    for (int waited = 0; waited < kStartLimitMs && player.Running(); waited += 100) {
      shot = Screenshot(x_->name());
      if (!Find(shot, kQuadrant[0]).empty() && !Find(shot, kQuadrant[3]).empty()) return shot;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return Image{};
  }

  // A screenshot once the chooser shows (its focused button's colour is on
  // the screen) and has settled (two shots alike); empty when the player
  // ended or it never showed.
  Image WaitForChooser(Player& player) {
    Image previous;
    for (int waited = 0; waited < kStartLimitMs && player.Running(); waited += 100) {
      Image shot = Screenshot(x_->name());
      if (!Find(shot, kFocus).empty() && shot.rgb == previous.rgb) return shot;
      previous = std::move(shot);
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return Image{};
  }

  unsigned long MainWindow() {
    for (const Window& w : FindWindows(x_->name(), kTitle))
      if (w.mapped && w.width >= 320) return w.id;
    return 0;
  }

  std::unique_ptr<VirtualDisplay> x_;
  e2e::TempDir temp_;
  const std::string dir_ = temp_.path();
};

// What the window shows after scaling, and the two ways it ends besides
// closing: Escape, and a signal asking SDL to quit (the same path as closing).
TEST_F(SdlPlayer, WindowShowsThePictureScaledAndEscapeOrQuitEndsIt) {
  WriteDemo(dir_, 600, 10, 0);  // a minute: each must end long before
  const struct {
    std::vector<std::string> options;
    int width, height;  // of each quadrant
    int tolerance;      // the linear step may soften one or two pixels at an edge
    bool escape;
  } rows[] = {
      // 320 x 200 shown 4:3 in the 960 x 720 window.
      {{}, 480, 360, 2, true},
      // 640 x 400: a whole factor, nearest only, so the edges are sharp.
      {{"--scale=2", "--aspect=none"}, 320, 200, 0, false},
  };
  for (const auto& row : rows) {
    std::vector<std::string> args = row.options;
    args.insert(args.end(), {"--window", "--data=" + dir_, "/cobalt2"});
    Player player(args, Env());
    Image shot = WaitForPicture(player);
    ASSERT_GT(shot.width, 0) << player.Errors();
    Box box[4];
    for (int q = 0; q < 4; ++q) {
      box[q] = Find(shot, kQuadrant[q]);
      ASSERT_FALSE(box[q].empty()) << "quadrant " << q;
      EXPECT_NEAR(box[q].width(), row.width, row.tolerance) << "quadrant " << q;
      EXPECT_NEAR(box[q].height(), row.height, row.tolerance) << "quadrant " << q;
      const int cx = (box[q].left + box[q].right) / 2, cy = (box[q].top + box[q].bottom) / 2;
      EXPECT_EQ(shot.At(cx, cy), kQuadrant[q]) << std::hex << shot.At(cx, cy);
    }
    // Side by side and one above the other, as drawn.
    EXPECT_NEAR(box[1].left, box[0].right + 1, row.tolerance);
    EXPECT_NEAR(box[2].top, box[0].bottom + 1, row.tolerance);
    EXPECT_NEAR(box[3].left, box[2].right + 1, row.tolerance);
    if (row.escape) {
      unsigned long window = MainWindow();
      ASSERT_NE(window, 0u);
      ASSERT_TRUE(FocusWindow(x_->name(), window));
      ASSERT_TRUE(PressKey(x_->name(), "Escape"));
    } else {
      player.Signal(SIGTERM);
    }
    int code = -1;
    ASSERT_TRUE(player.Wait(kEndLimitMs, &code)) << "the demonstration did not end";
    EXPECT_EQ(code, 0) << player.Errors();
  }
}

// The chooser drawn in the window on a server without fonts, at two window
// sizes: centred, its three buttons one above the other (the first focused),
// the same look at both sizes scaled by a whole factor. Enter plays the first
// demonstration (and closing its window ends the program rather than bringing
// the chooser back); Escape and a click on Exit end at once without playing.
// No test gives the window the focus: it must take it, with no window manager.
TEST_F(SdlPlayer, ChooserShowsInTheWindowAndAnswersEnterEscapeAndTheMouse) {
  WriteDemo(dir_, 600, 10, 0);
  // A copy whose first file is cut short: a demonstration started there
  // fails the run.
  const std::string damaged = dir_ + "/damaged";
  WriteDemo(damaged, 600, 10, 0);
  fs::resize_file(damaged + "/cv2vid/O_open_a.san", 64);
  x_ = std::make_unique<VirtualDisplay>(1600, 1200);
  ASSERT_TRUE(x_->available());
  const struct {
    std::vector<std::string> options;
    int width, height;  // of the window
    std::string action;
  } rows[] = {
      {{"--window", "--scale=4", "--data=" + dir_}, 1280, 960, "Return"},
      {{"--window", "--scale=2", "--data=" + damaged}, 640, 480, "click Exit"},
      {{"--window", "--data=" + damaged}, 960, 720, "Escape"},
  };
  int focus_width[2] = {0, 0};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.action);
    Player player(row.options, Env());
    Image shot = WaitForChooser(player);
    ASSERT_GT(shot.width, 0) << "no chooser: " << player.Errors();
    // The other two buttons, one of them perhaps under the pointer.
    Box others = Find(shot, platform::sdl::kChooserButton);
    const Box hovered = Find(shot, platform::sdl::kChooserHover);
    if (!hovered.empty())
      others = {std::min(others.left, hovered.left), std::min(others.top, hovered.top),
                std::max(others.right, hovered.right), std::max(others.bottom, hovered.bottom)};
    const Box focus = Find(shot, kFocus), title = Find(shot, platform::sdl::kChooserTitleBar);
    ASSERT_FALSE(others.empty());
    ASSERT_FALSE(title.empty());
    // Centred in the window, which is centred on the screen.
    const Box panel = Find(shot, platform::sdl::kChooserPanel);
    EXPECT_NEAR(panel.left + panel.right, shot.width, 4);
    EXPECT_NEAR(title.top + panel.bottom, shot.height, 4);  // the title bar is its top
    EXPECT_LT(panel.width(), row.width);
    // Title bar, the focused first button, then the other two below it.
    EXPECT_LT(title.bottom, focus.top);
    EXPECT_LT(focus.bottom, others.top);
    EXPECT_NEAR(focus.left, others.left, 2 * 4);
    EXPECT_GT(others.height(), 2 * focus.height());
    // Text on the buttons: their middles hold more than the face colour.
    const int my = (focus.top + focus.bottom) / 2;
    int ink = 0;
    for (int x = focus.left; x <= focus.right; ++x) ink += shot.At(x, my) != kFocus;
    EXPECT_GT(ink, focus.width() / 20);
    if (row.width == 640) focus_width[0] = focus.width();
    if (row.action == "Return") focus_width[1] = focus.width();

    if (row.action == "click Exit") {
      ASSERT_TRUE(ClickAt(x_->name(), (others.left + others.right) / 2, others.bottom - 4));
    } else {
      ASSERT_TRUE(PressKey(x_->name(), row.action));
    }
    if (row.action == "Return") {
      ASSERT_GT(WaitForPicture(player).width, 0) << player.Errors();
      unsigned long window = MainWindow();
      ASSERT_NE(window, 0u);
      ASSERT_TRUE(CloseWindow(x_->name(), window));
    }
    int code = -1;
    ASSERT_TRUE(player.Wait(kEndLimitMs, &code)) << "the program did not end";
    EXPECT_EQ(code, 0) << player.Errors();
  }
  // The larger window shows the same panel at a larger whole scale.
  ASSERT_GT(focus_width[0], 0);
  EXPECT_GT(focus_width[1], focus_width[0]);
}

// --timeout also ends a chooser left waiting for an answer.
TEST_F(SdlPlayer, TimeoutEndsTheChooser) {
  WriteDemo(dir_, 600, 10, 0);
  Player player({"--window", "--data=" + dir_, "--timeout=1"}, Env());
  int code = -1;
  ASSERT_TRUE(player.Wait(kEndLimitMs, &code)) << "the chooser outlived --timeout";
  EXPECT_EQ(code, 3) << player.Errors();
}

// Full screen on bare servers of three sizes: the window covers the screen,
// the picture fills it 4:3 (bars at the sides, or above and below on 5:4),
// corners black and the centre not; Alt+Enter leaves and comes back.
TEST_F(SdlPlayer, FullScreenCoversBareServersAndAltEnterSwitchesBothWays) {
  WriteDemo(dir_, 600, 10, 0);
  const struct {
    int width, height;
    bool toggle;
  } rows[] = {{1920, 1080, true}, {1280, 1024, false}, {3840, 2160, false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.width) + "x" + std::to_string(row.height));
    x_ = std::make_unique<VirtualDisplay>(row.width, row.height);
    ASSERT_TRUE(x_->available());
    Player player({"--data=" + dir_, "/cobalt2"}, Env());
    // Screenshots until the picture is laid out for the whole screen (or
    // the limit), then the checks on the last one.
    auto check_full = [&](const std::string& when) {
      SCOPED_TRACE(when);
      const int pw = std::min(row.width, row.height * 4 / 3), ph = pw * 3 / 4;  // 4:3, centred
      Image shot;
      Window w;
      Box tl, br;
      for (int waited = 0; waited < kStartLimitMs && player.Running(); waited += 100) {
        shot = WaitForPicture(player);
        const std::vector<Window> windows = FindWindows(x_->name(), kTitle);
        if (!windows.empty()) w = windows.back();
        tl = Find(shot, kQuadrant[0]);
        br = Find(shot, kQuadrant[3]);
        if (w.width == row.width && std::abs(br.right - tl.left + 1 - pw) <= 2) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
      ASSERT_EQ(shot.width, row.width) << player.Errors();
      EXPECT_EQ(std::tuple(w.x, w.y, w.width, w.height), std::tuple(0, 0, row.width, row.height));
      for (auto [x, y] : {std::pair(0, 0), std::pair(row.width - 1, 0), std::pair(0, row.height - 1),
                          std::pair(row.width - 1, row.height - 1)})
        EXPECT_EQ(shot.At(x, y), 0u) << x << "," << y;
      EXPECT_NE(shot.At(row.width / 2, row.height / 2), 0u);
      EXPECT_NEAR(tl.left, (row.width - pw) / 2, 2);
      EXPECT_NEAR(tl.top, (row.height - ph) / 2, 2);
      EXPECT_NEAR(br.right - tl.left + 1, pw, 2);
      EXPECT_NEAR(br.bottom - tl.top + 1, ph, 2);
    };
    check_full("on start");
    if (row.toggle) {
      ASSERT_TRUE(PressKey(x_->name(), "alt+Return"));
      Window w{};
      for (int waited = 0; waited < kStartLimitMs && (w.width == 0 || w.width == row.width); waited += 100) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const std::vector<Window> windows = FindWindows(x_->name(), kTitle);
        if (!windows.empty()) w = windows.back();
      }
      EXPECT_LT(w.width, row.width) << "Alt+Enter left the window full screen";
      EXPECT_GT(w.width, 0);
      ASSERT_TRUE(PressKey(x_->name(), "alt+Return"));
      check_full("after Alt+Enter twice");
    }
    ASSERT_TRUE(PressKey(x_->name(), "Escape"));
    int code = -1;
    ASSERT_TRUE(player.Wait(kEndLimitMs, &code));
    EXPECT_EQ(code, 0) << player.Errors();
  }
}

TEST_F(SdlPlayer, SecondCopyEndsAtOnceWhileTheFirstPlays) {
  WriteDemo(dir_, 600, 10, 0);
  Player first({"--window", "--data=" + dir_, "/cobalt2"}, Env());
  ASSERT_GT(WaitForPicture(first).width, 0) << first.Errors();
  Player second({"--window", "--data=" + dir_, "/cobalt2"}, Env());
  int code = -1;
  ASSERT_TRUE(second.Wait(kEndLimitMs, &code));
  EXPECT_EQ(code, 0) << second.Errors();
  EXPECT_TRUE(first.Running()) << first.Errors();
  // Only the first copy's window is there.
  int mapped = 0;
  for (const Window& w : FindWindows(x_->name(), kTitle)) mapped += w.mapped;
  EXPECT_EQ(mapped, 1);
  first.Signal(SIGTERM);
  ASSERT_TRUE(first.Wait(kEndLimitMs, &code));
  EXPECT_EQ(code, 0);
}

// The demonstration, and its first file in the viewer.
TEST_F(SdlPlayer, SoundDeviceReceivesTheTone) {
  // 3 seconds at 15 frames a second; the tone lasts 1.5 s.
  WriteDemo(dir_, 45, 15, 33075);
  for (const std::string& run : {std::string("/cobalt2"), dir_ + "/cv2vid/O_open_a.san"}) {
    SCOPED_TRACE(run);
    fs::remove(dir_ + "/audio.raw");
    Player player({"--window", "--data=" + dir_, run}, Env("disk"));
    int code = -1;
    ASSERT_TRUE(player.Wait(kEndLimitMs * 2, &code));
    ASSERT_EQ(code, 0) << player.Errors();
    std::ifstream in(dir_ + "/audio.raw", std::ios::binary);
    std::vector<uint8_t> stream((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
    ASSERT_GT(stream.size(), 22050u) << "the device took less than a second";
    // The device was opened as 8-bit unsigned mono at 22050 Hz. Find the tone:
    // upward crossings of the silence level 50 samples apart.
    size_t loud = 0, first_loud = stream.size(), last_loud = 0;
    for (size_t i = 0; i < stream.size(); ++i)
      if (std::abs(stream[i] - 128) > 20) {
        ++loud;
        first_loud = std::min(first_loud, i);
        last_loud = i;
      }
    ASSERT_GT(loud, 11025u) << "no tone in the stream";
    // The usual distance between upward crossings (a block cut at a seam or
    // the tone's ends makes a few odd ones).
    std::vector<size_t> periods;
    size_t previous = 0;
    for (size_t i = first_loud + 1; i <= last_loud; ++i)
      if (stream[i - 1] < 128 && stream[i] >= 128) {
        if (previous != 0) periods.push_back(i - previous);
        previous = i;
      }
    ASSERT_GT(periods.size(), 200u);
    std::nth_element(periods.begin(), periods.begin() + periods.size() / 2, periods.end());
    EXPECT_NEAR(static_cast<double>(periods[periods.size() / 2]), 50.0, 1.0);
    // Most of the 1.5 s tone was played (blocks may be cut at its ends).
    EXPECT_GT(last_loud - first_loud, 22050u);
  }
}

TEST_F(SdlPlayer, MissingAudioDevicePlaysSilently) {
  WriteDemo(dir_, 15, 15, 11025);
  Player player({"--window", "--data=" + dir_, "/cobalt2"}, Env("no-such-driver"));
  int code = -1;
  ASSERT_TRUE(player.Wait(kEndLimitMs, &code));
  EXPECT_EQ(code, 0) << player.Errors();
  EXPECT_NE(player.Errors().find("without sound"), std::string::npos) << player.Errors();
}

TEST(SdlPlayerNoDisplay, MissingDisplayIsAClearError) {
  if (access(e2e::PlayerPath().c_str(), X_OK) != 0) GTEST_SKIP() << "no player";
  e2e::TempDir temp;
  const std::string dir = temp.path();
  WriteDemo(dir, 1, 10, 0);
  Player player({"--data=" + dir, "/cobalt2"}, {{"DISPLAY", ":65001"}, {"WAYLAND_DISPLAY", ""}});
  int code = -1;
  ASSERT_TRUE(player.Wait(kEndLimitMs, &code));
  if (player.Errors().find("not part of this build") != std::string::npos)
    GTEST_SKIP() << "the player was built without SDL";
  EXPECT_EQ(code, 1);
  EXPECT_NE(player.Errors().find("cannot open the display"), std::string::npos) << player.Errors();
}

}  // namespace
}  // namespace sdltest

#endif  // MV_HAVE_X11 && MV_HAVE_SDL
