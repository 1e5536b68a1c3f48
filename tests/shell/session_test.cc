#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "anim/player.h"
#include "anim/reader.h"
#include "display/display.h"
#include "frame/frame.h"
#include "input/keyboard.h"
#include "platform/dsound.h"
#include "platform/files.h"
#include "platform/testing.h"
#include "platform/keystate.h"
#include "platform/messages.h"
#include "platform/mmsystem.h"
#include "base/log.h"
#include "shell/launcher.h"
#include "shell/session.h"
#include "stream/stream.h"

namespace {

class Session : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetLauncher();
    ASSERT_EQ(StreamInit(64 * 2048, 30000), 0);
    ResetAnimationReader();
    ASSERT_EQ(InitKeyboard(), 0);
    SetChainCounter(0);
  }
  void TearDown() override {
    ShutdownKeyboard();
    StreamShutdown();
    ResetLauncher();
  }
  static void Press(int vk, UINT message = WM_KEYDOWN) { OnKeyMessage(message, vk, 0); }
  static int16_t Frame(int16_t number, int16_t count) {
    return SessionFrameDone(nullptr, nullptr, 0, 0, number, count);
  }
  static bool AbortRequested() { return InspectReader().abort_request != 0; }
};

TEST_F(Session, DemonstrationFiles) {
  EXPECT_STREQ(DemoFilesFor(101).first, "cv2vid\\O_open_a.san");
  EXPECT_STREQ(DemoFilesFor(101).second, "cv2vid\\O_open_b.san");
  EXPECT_STREQ(DemoFilesFor(102).first, "lanvid\\demofrnt.san");
  EXPECT_STREQ(DemoFilesFor(102).second, "lanvid\\demoend.san");
  // A failed dialog (-1) or anything else plays the first demonstration.
  EXPECT_STREQ(DemoFilesFor(0xFFFF).first, "cv2vid\\O_open_a.san");
  EXPECT_STREQ(DemoFilesFor(2).second, "cv2vid\\O_open_b.san");
}

TEST_F(Session, AbortKeysStopAndOtherKeysAreDroppedOnePerFrame) {
  Press('A');
  Press(VK_ESCAPE);
  EXPECT_EQ(Frame(3, 10), 0);
  EXPECT_FALSE(AbortRequested());  // 'a' taken and dropped
  EXPECT_EQ(ReadKey(0), kKeyEscape);
  Frame(4, 10);
  EXPECT_TRUE(AbortRequested());
  EXPECT_EQ(ReadKey(0), 0);
}

TEST_F(Session, AltXAndAltF4Abort) {
  for (int vk : {static_cast<int>('X'), VK_F4}) {
    ResetAnimationReader();
    platform::SetKeyDown(VK_MENU, true);
    Press(vk, WM_SYSKEYDOWN);
    platform::ClearKeyState();
    Frame(0, 10);
    EXPECT_TRUE(AbortRequested()) << vk;
  }
  // Ctrl+X is not Alt+X.
  ResetAnimationReader();
  platform::SetKeyDown(VK_CONTROL, true);
  Press('X');
  platform::ClearKeyState();
  Frame(0, 10);
  EXPECT_FALSE(AbortRequested());
}

TEST_F(Session, EndOfTheFirstFileQueuesTheSecondAndTheSecondEnds) {
  SetDemoChoice(kChoiceLantern);
  Frame(9, 10);
  EXPECT_EQ(ChainCounter(), 0);
  EXPECT_FALSE(StreamInspect().request_pending);
  Frame(10, 10);
  EXPECT_EQ(ChainCounter(), 1);
  EXPECT_TRUE(StreamInspect().request_pending);
  EXPECT_FALSE(AbortRequested());
  // The end pass repeats with higher numbers while the switch is pending.
  Frame(11, 10);
  Frame(12, 10);
  EXPECT_EQ(ChainCounter(), 1);
  Frame(5, 5);
  EXPECT_EQ(ChainCounter(), 0);
  EXPECT_TRUE(AbortRequested());
}

TEST_F(Session, AnAbortKeyAtTheLastFrameDoesNotChain) {
  Press(VK_ESCAPE);
  Frame(10, 10);
  EXPECT_TRUE(AbortRequested());
  EXPECT_EQ(ChainCounter(), 0);
  EXPECT_FALSE(StreamInspect().request_pending);
}

TEST_F(Session, FullKeyQueueAndKeyCodeZeroAreHarmless) {
  for (int i = 0; i < 300; ++i) Press('B');
  Press(0);
  Press(VK_ESCAPE);  // dropped: the queue is full
  int frames = 0;
  while (ReadKey(0) != 0 && frames < 1000) {
    Frame(1, 10);
    ++frames;
  }
  EXPECT_EQ(frames, 255);
  EXPECT_FALSE(AbortRequested());
}

struct Picture {
  std::vector<uint8_t> pixels = std::vector<uint8_t>(320 * 200, 0);
  RenderBitmap bitmap{};
  Picture() {
    bitmap.pixels = pixels.data();
    bitmap.width = 320;
    bitmap.height = 200;
    bitmap.size = 320 * 200;
  }
  int Drawn(int min_x = 0, int min_y = 0, int max_x = 320, int max_y = 200) const {
    int n = 0;
    for (int y = min_y; y < max_y; ++y)
      for (int x = min_x; x < max_x; ++x) n += pixels[y * 320 + x] != 0;
    return n;
  }
};

std::vector<uint8_t> TextPayload(int16_t x, int16_t y, uint16_t flags, ClipRect rect,
                                 const char* text) {
  const size_t length = std::strlen(text);
  std::vector<uint8_t> p(16 + length + 1, 0);
  auto put = [&](int at, int16_t v) {
    p[at] = static_cast<uint8_t>(v & 0xFF);
    p[at + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
  };
  put(0, x);
  put(2, y);
  put(4, static_cast<int16_t>(flags));
  put(6, rect.left);
  put(8, rect.top);
  put(10, rect.width);
  put(12, rect.height);
  for (size_t i = 0; i < length; ++i) p[16 + i] = static_cast<uint8_t>(text[i]);
  return p;
}

// Runs one frame holding a single sub-chunk through the frame engine with
// SessionText as its client, as the player does.
void RunChunk(Picture& picture, const ClipRect* clip, const char* tag,
              const std::vector<uint8_t>& payload, uint16_t frame_flags) {
  std::vector<uint8_t> frame(tag, tag + 4);
  const uint32_t n = static_cast<uint32_t>(payload.size());
  for (int i = 3; i >= 0; --i) frame.push_back(static_cast<uint8_t>(n >> (8 * i)));
  frame.insert(frame.end(), payload.begin(), payload.end());
  if (n % 2) frame.push_back(0);
  ASSERT_EQ(FrameEngineInit(SessionText, 0, 0), 0);
  EXPECT_EQ(ProcessFrameChunks(&picture.bitmap, clip, 0, 0, frame.data(),
                               static_cast<uint32_t>(frame.size()), frame_flags),
            0);
  FrameEngineShutdown();
}

TEST_F(Session, TextRecordsReachTheSessionOnlyUnderTheClientFlag) {
  ClipRect whole{0, 0, 320, 200};
  auto payload = TextPayload(40, 40, 0, {}, "HELLO");
  // Without frame flag 0x200 the frame engine draws the text itself, in its
  // own colour 15; the session draws in colour 1.
  Picture own;
  RunChunk(own, &whole, "TEXT", payload, 0);
  Picture session;
  RunChunk(session, &whole, "TEXT", payload, 0x200);
  EXPECT_GT(session.Drawn(40, 40, 320, 200), 0);
  EXPECT_EQ(session.Drawn(0, 0, 40, 200) + session.Drawn(0, 0, 320, 40), 0);
  EXPECT_NE(own.pixels, session.pixels);
}

TEST_F(Session, IactPayloadsAreNeverTakenForTextRecords) {
  Picture picture;
  // Starts like a text record's kind, with file bytes where a pointer would be.
  std::vector<uint8_t> iact = {9, 0, 0, 0, 0, 0, 0, 0, 'T', 'X', 'E', 'T', 1, 0, 0, 0,
                               0xEF, 0xBE, 0xAD, 0xDE, 0xEF, 0xBE, 0xAD, 0xDE};
  RunChunk(picture, nullptr, "IACT", iact, 0x200);
  RunChunk(picture, nullptr, "IACT", {9, 0}, 0x200);
  EXPECT_EQ(SessionText(&picture.bitmap, nullptr, 0, 0, iact.data(),
                        static_cast<uint32_t>(iact.size()), 0x200),
            0);
  EXPECT_EQ(picture.Drawn(), 0);
}

TEST_F(Session, WrappedTextStaysInsideTheSafeArea) {
  Picture picture;
  ClipRect whole{0, 0, 320, 200};
  RunChunk(picture, &whole, "TEXT", TextPayload(0, 0, 4, {0, 0, 320, 200}, "SOME WORDS TO WRAP AROUND"),
           0x200);
  EXPECT_GT(picture.Drawn(), 0);
  EXPECT_EQ(picture.Drawn(0, 0, 16, 200) + picture.Drawn(0, 0, 320, 16), 0);
  EXPECT_EQ(picture.Drawn(304, 0, 320, 200) + picture.Drawn(0, 196, 320, 200), 0);

  // A rectangle that comes out empty draws nothing.
  Picture empty;
  RunChunk(empty, &whole, "TEXT", TextPayload(0, 0, 4, {310, 20, 4, 50}, "X"), 0x200);
  EXPECT_EQ(empty.Drawn(), 0);
}

// Whole sessions on the headless display, in a folder without data.
class WholeSession : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetClockMode(platform::ClockMode::kVirtual);
    platform::ResetWindows();
    platform::memory::ResetDisplay();
    ClearLogs();
    ResetLauncher();
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
    previous_ = cwd;
    char pattern[] = "/tmp/mv-session-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    empty_ = pattern;
    ASSERT_TRUE(SetCurrentDirectoryA(empty_.c_str()));
    WNDCLASSEXA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "SessionWindow";
    RegisterClassExA(&wc);
    window_ = CreateWindowExA(0, "SessionWindow", "", 0, 0, 0, 640, 480, nullptr, nullptr,
                              nullptr, nullptr);
    ASSERT_EQ(DisplayStartup(window_, 0x0104), 0);
  }
  void TearDown() override {
    DisplayShutdown();
    SetCurrentDirectoryA(previous_.c_str());
    rmdir(empty_.c_str());
    platform::ResetWindows();
    platform::memory::ResetDisplay();
    ResetLauncher();
  }
  std::string previous_;
  std::string empty_;
  HWND window_ = nullptr;
};

TEST_F(WholeSession, MissingFirstFileIsRecordedAndEverythingStops) {
  SetDemoChoice(kChoiceLantern);
  PlayDemoSession();
  EXPECT_EQ(ErrorLogEntries(), std::vector<std::string>{"Cannot open file lanvid\\demofrnt.san"});
  EXPECT_EQ(PlayingFlag(), 0);
  EXPECT_EQ(platform::memory::LiveDirectDrawObjects(), 0);
  EXPECT_EQ(platform::memory::LiveSoundBuffers(), 0);
  EXPECT_EQ(AnimationRenderBitmap(), nullptr);
  // The engines start again for the next session.
  SetDemoChoice(0xFFFF);  // a dialog that failed: the first demonstration, no texts
  ClearLogs();
  PlayDemoSession();
  EXPECT_EQ(ErrorLogEntries(), std::vector<std::string>{"Cannot open file cv2vid\\O_open_a.san"});
  EXPECT_EQ(platform::memory::LiveDirectDrawObjects(), 0);
}

TEST_F(WholeSession, RefusedVideoModeEndsTheSessionSilently) {
  platform::memory::FailDirectDrawCall(platform::memory::DirectDrawCall::kCreate);
  SetDemoChoice(kChoiceCobalt);
  PlayDemoSession();
  EXPECT_TRUE(ErrorLogEntries().empty());
  EXPECT_EQ(PlayingFlag(), 0);
  EXPECT_EQ(AnimationRenderBitmap(), nullptr);
  EXPECT_EQ(platform::memory::LiveDirectDrawObjects(), 0);
}

}  // namespace
