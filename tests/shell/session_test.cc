#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "anim/player.h"
#include "authoring/codecs.h"
#include "authoring/nut.h"
#include "authoring/trs.h"
#include "authoring/san_writer.h"
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
#include "stream/slots.h"
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

// Runs one frame through the frame engine with SessionText as its client, as
// the player does.
void RunFrame(Picture& picture, const ClipRect* clip, const authoring::Frame& frame,
              uint16_t frame_flags) {
  authoring::SanWriter writer(authoring::SanHeader{});
  const size_t at = writer.current_offset() + 8;  // the frame's sub-chunks
  writer.AddFrame(frame);
  const authoring::Bytes file = writer.Finish();
  ASSERT_EQ(FrameEngineInit(SessionText, 0, 0), 0);
  EXPECT_EQ(ProcessFrameChunks(&picture.bitmap, clip, 0, 0, file.data() + at,
                               static_cast<uint32_t>(file.size() - at), frame_flags),
            0);
  FrameEngineShutdown();
}

TEST_F(Session, TextRecordsReachTheSessionOnlyUnderTheClientFlag) {
  ClipRect whole{0, 0, 320, 200};
  authoring::Frame hello;
  hello.Text(40, 40, 0, nullptr, "HELLO");
  // Without frame flag 0x200 the frame engine draws the text itself, in its
  // own colour 15; the session draws in colour 1.
  Picture own;
  RunFrame(own, &whole, hello, 0);
  Picture session;
  RunFrame(session, &whole, hello, 0x200);
  EXPECT_GT(session.Drawn(40, 40, 320, 200), 0);
  EXPECT_EQ(session.Drawn(0, 0, 40, 200) + session.Drawn(0, 0, 320, 40), 0);
  EXPECT_NE(own.pixels, session.pixels);

  // Wrapped text stays inside the safe area.
  Picture wrapped;
  const authoring::TextRect all{0, 0, 320, 200};
  RunFrame(wrapped, &whole, authoring::Frame().Text(0, 0, 4, &all, "SOME WORDS TO WRAP AROUND"),
           0x200);
  EXPECT_GT(wrapped.Drawn(), 0);
  EXPECT_EQ(wrapped.Drawn(0, 0, 16, 200) + wrapped.Drawn(0, 0, 320, 16), 0);
  EXPECT_EQ(wrapped.Drawn(304, 0, 320, 200) + wrapped.Drawn(0, 196, 320, 200), 0);

  // A rectangle that comes out empty draws nothing.
  Picture empty;
  const authoring::TextRect narrow{310, 20, 4, 50};
  RunFrame(empty, &whole, authoring::Frame().Text(0, 0, 4, &narrow, "X"), 0x200);
  EXPECT_EQ(empty.Drawn(), 0);
}

TEST_F(Session, IactPayloadsAreNeverTakenForTextRecords) {
  Picture picture;
  // Starts like a text record's kind, with file bytes where a pointer would be.
  authoring::Bytes iact = {9, 0, 0, 0, 0, 0, 0, 0, 'T', 'X', 'E', 'T', 1, 0, 0, 0,
                           0xEF, 0xBE, 0xAD, 0xDE, 0xEF, 0xBE, 0xAD, 0xDE};
  RunFrame(picture, nullptr, authoring::Frame().Iact(iact).Iact({9, 0}), 0x200);
  EXPECT_EQ(SessionText(&picture.bitmap, nullptr, 0, 0, iact.data(),
                        static_cast<uint32_t>(iact.size()), 0x200),
            0);
  EXPECT_EQ(picture.Drawn(), 0);
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
    platform::StopAllocationFaults();
    SetCurrentDirectoryA(previous_.c_str());
    std::filesystem::remove_all(empty_);
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

// A file of `frames` full-screen frames in the session's folder.
void WriteSan(const std::string& name, int frames) {
  authoring::SanWriter writer(authoring::SanHeader{});
  std::vector<uint8_t> pixels(320 * 200);
  for (int i = 0; i < frames; ++i) {
    std::fill(pixels.begin(), pixels.end(), static_cast<uint8_t>(20 + i));
    authoring::Frame frame;
    frame.Fobj(authoring::EncodeRunLength(1, 0, 0, 320, 200, pixels.data(), 320));
    writer.AddFrame(frame);
  }
  std::filesystem::create_directories(std::filesystem::path(name).parent_path());
  ASSERT_TRUE(writer.WriteFile(name));
}

// Every memory block, surface, sound buffer, file and thread of a whole
// session (engines, text resources, both files, every frame) refused in turn:
// the refusal is recorded as designed (or, where the design falls back
// silently, not at all), everything started is stopped again and nothing
// stays alive, and the next session plays both files without an error.
TEST_F(WholeSession, EachRefusedAllocationIsRecordedUnwoundAndTheNextSessionPlays) {
  WriteSan("lanvid/demofrnt.san", 3);
  WriteSan("lanvid/demoend.san", 2);
  WriteSan("cv2vid/O_open_a.san", 2);
  WriteSan("cv2vid/O_open_b.san", 2);
  authoring::WriteTrsFile("cv2vid/COBALT2.TRS", authoring::BuildTrsBody({{1, "A"}}), false);
  std::vector<std::optional<authoring::GlyphBitmap>> glyphs(66);
  glyphs[65] = authoring::GlyphFromRows({"#.#", ".#.", "#.#"});
  for (const char* font : {"TALKFONT.NUT", "SMALFONT.NUT", "TITLFONT.NUT"})
    authoring::WriteNutFont(std::string("cv2vid/") + font, glyphs);

  // What the logs of the refusals may be, besides those of a file that could
  // not be opened: the video mode, a missing checksum file, the largest sound
  // channel (it takes less) and the sound output (the session plays
  // silently) fall back without a word; the delta-tile codec is left out.
  const std::set<std::string> engine_logs = {
      "",
      "Stream engine init error",
      "Cannot allocate overlay buffer of 300000 bytes | Frame engine init error",
      "Cannot allocate preload buffer of 400000 bytes | Frame engine init error",
      "Cannot allocate render bitmap. | Animation engine init error",
      "Cannot allocate delta-tile buffers!",
      "Sound error",
      "Cannot start reading thread",
  };
  for (uint16_t choice : {kChoiceLantern, kChoiceCobalt}) {
    SCOPED_TRACE(choice);
    SetDemoChoice(choice);
    const DemoFiles files = DemoFilesFor(choice);
    std::set<std::string> allowed = engine_logs;
    for (const char* name : {files.first, files.second})
      allowed.insert(std::string("Cannot open file ") + name);
    // A font file that cannot be opened or read is recorded by the file's
    // loader and by the font loader, a font that lacks only memory once.
    allowed.insert("Cannot open resource CV2VID\\COBALT2.TRS.");
    for (const char* name : kSessionFontFiles) {
      const std::string lost = std::string("Cannot open resource ") + name + ".";
      allowed.insert(lost);
      allowed.insert(lost + " | " + lost);
    }

    ClearLogs();
    const int before = platform::memory::PublishedScreens();
    platform::FailAllocationAt(0);
    PlayDemoSession();
    const long total = platform::AllocationsCounted();
    platform::StopAllocationFaults();
    ASSERT_EQ(ErrorCount(), 0) << ErrorLogEntries()[0];
    ASSERT_GT(total, 20);
    const int clean_screens = platform::memory::PublishedScreens() - before;
    ASSERT_GT(clean_screens, 3);

    std::map<std::string, std::vector<long>> logs;
    for (long n = 1; n <= total; ++n) {
      SCOPED_TRACE("allocation " + std::to_string(n) + " of " + std::to_string(total));
      ClearLogs();
      platform::FailAllocationAt(n);
      PlayDemoSession();
      platform::StopAllocationFaults();
      std::string log;
      for (const std::string& e : ErrorLogEntries()) log += (log.empty() ? "" : " | ") + e;
      logs[log].push_back(n);
      EXPECT_EQ(PlayingFlag(), 0);
      EXPECT_EQ(AnimationRenderBitmap(), nullptr);
      EXPECT_EQ(platform::memory::LiveDirectDrawObjects(), 0);
      EXPECT_EQ(platform::memory::LiveSoundBuffers(), 0);
      EXPECT_EQ(StreamInspect().ring, nullptr);

      ClearLogs();
      const int screens = platform::memory::PublishedScreens();
      PlayDemoSession();
      EXPECT_EQ(ErrorCount(), 0) << ErrorLogEntries()[0];
      EXPECT_EQ(platform::memory::PublishedScreens() - screens, clean_screens);
    }
    for (const auto& [log, at] : logs) {
      std::string list;
      for (long n : at) list.append(" ").append(std::to_string(n));
      EXPECT_TRUE(allowed.count(log)) << log << " at" << list;
    }
    // The start-up's own messages all occur.
    for (const std::string& log : engine_logs) EXPECT_TRUE(logs.count(log)) << log;
  }
}

// A checksummed file whose sector 1 reads wrong twice and then right: the
// session re-reads it, records nothing and shows every frame.
TEST_F(WholeSession, ASectorThatHealsIsReadAgainAndPlays) {
  WriteSan("lanvid/demofrnt.san", 6);
  WriteSan("lanvid/demoend.san", 2);
  std::ifstream in("lanvid/demofrnt.san", std::ios::binary);
  std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
  std::vector<uint8_t> sums = MakeChecksumFile(bytes.data(), bytes.size());
  std::ofstream("lanvid/demofrnt.CHK", std::ios::binary)
      .write(reinterpret_cast<const char*>(sums.data()), std::streamsize(sums.size()));
  SetDemoChoice(kChoiceLantern);
  ClearLogs();
  int before = platform::memory::PublishedScreens();
  PlayDemoSession();
  ASSERT_EQ(ErrorCount(), 0);
  const int clean_screens = platform::memory::PublishedScreens() - before;

  int bad_reads = 0;
  platform::SetReadFaultHook([&](const std::string& path, long offset, uint8_t* data, size_t got) {
    const long sector = 2048;
    if (path.find("demofrnt.san") != std::string::npos && bad_reads < 2 && offset <= sector &&
        offset + long(got) > sector) {
      ++bad_reads;
      data[sector - offset] ^= 0x55;
    }
    return got;
  });
  ClearLogs();
  before = platform::memory::PublishedScreens();
  PlayDemoSession();
  platform::SetReadFaultHook(nullptr);
  EXPECT_EQ(bad_reads, 2);
  EXPECT_EQ(ErrorCount(), 0) << ErrorLogEntries()[0];
  EXPECT_EQ(platform::memory::PublishedScreens() - before, clean_screens);
}

}  // namespace
