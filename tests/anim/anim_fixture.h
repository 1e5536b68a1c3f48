// Starts the engines that playback needs on the headless backend, in the
// session's order, with the files of a test in a fresh current directory.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "anim/player.h"
#include "anim/reader.h"
#include "anim/san_builder.h"
#include "decoder/decoder.h"
#include "display/display.h"
#include "frame/frame.h"
#include "frame/palette.h"
#include "platform/files.h"
#include "platform/testing.h"
#include "platform/messages.h"
#include "platform/mmsystem.h"
#include "sound/output.h"
#include "base/log.h"
#include "base/switches.h"
#include "engines/engines.h"
#include "stream/stream.h"

inline LRESULT AnimTestWindowProc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_ACTIVATEAPP) {
    HandleActivation(int32_t(wparam));
    return 0;
  }
  return DefWindowProcA(window, msg, wparam, lparam);
}

// A file of `n` frames (version 2, `rate` frames per second when not 0),
// frame i painting the top-left 4 x 4 with base + i.
inline santest::Bytes SolidFrames(int n, uint8_t base = 1, int rate = 0) {
  santest::SanFile f(n, 2, rate);
  for (int i = 0; i < n; ++i) f.Frame({{"FOBJ", santest::SolidObject(0, 0, 4, 4, uint8_t(base + i))}});
  return f.Finish();
}

// What the post-frame callback saw of each frame: (0, 0) after its chunks.
struct Seen {
  int16_t number, count;
  uint8_t pixel;
  uint32_t time;
};
inline std::vector<Seen> g_seen;
inline bool g_abort_at_end = true;
inline std::string g_queue_at_end;  // queued with flags 0x28 at the end pass instead

inline int16_t RecordFrame(RenderBitmap* bitmap, const ClipRect*, int16_t, int16_t, int16_t number,
                           int16_t count) {
  g_seen.push_back({number, count, RenderBitmapSurface(bitmap)->pixels[0], timeGetTime()});
  if (number == count && !g_queue_at_end.empty()) {
    QueueAnimation(g_queue_at_end.c_str(), 0x28);
    g_queue_at_end.clear();
  } else if (number == count && g_abort_at_end) {
    AbortAnimation();
  }
  return 0;
}

class AnimFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetClockMode(clock_mode_);
    platform::ResetWindows();
    platform::memory::ResetDisplay();
    ResetSwitches();
    ClearLogs();
    g_seen.clear();
    g_abort_at_end = true;
    g_queue_at_end.clear();
    char tmpl[] = "/tmp/mvanimXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    SetCurrentDirectoryA(dir_.c_str());
    StartEngines();
  }
  void StartEngines() {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = AnimTestWindowProc;
    wc.lpszClassName = "AnimTest";
    RegisterClassExA(&wc);
    window_ = CreateWindowExA(0, "AnimTest", "anim", 0, 0, 0, 320, 200, nullptr, nullptr,
                              nullptr, nullptr);
    ASSERT_EQ(DisplayStartup(window_, 0x0104), 0);
    SetActivationHandler([](int32_t active) {
      SetSoundOutputActive(active);
      SetPlaybackActive(active);
    });
    EngineSetup setup;
    setup.frame_done = RecordFrame;
    setup.last = kEngineDecoder;  // playback without sound or keyboard
    ASSERT_TRUE(::StartEngines(setup));
    ResetPalette();
    started_ = true;
  }
  void TearDown() override {
    if (started_) {
      SetPresentCallback(nullptr);
      StopEngines(kEngineDecoder);
      SetActivationHandler(nullptr);
      DisplayShutdown();
      if (window_) DestroyWindow(window_);
    }
    platform::ResetWindows();
    std::filesystem::remove_all(dir_);
  }
  // Writes a file into the test's directory; returns its (relative) name.
  std::string Write(const std::string& name, const santest::Bytes& bytes) {
    EXPECT_TRUE(santest::WriteFile(dir_ + "/" + name, bytes));
    return name;
  }

  // Writes the file and starts reading it afresh.
  void Queue(const std::string& name, const santest::Bytes& bytes, uint16_t flags = 0) {
    Write(name, bytes);
    ResetAnimationReader();
    QueueAnimation(name.c_str(), flags);
  }

  platform::ClockMode clock_mode_ = platform::ClockMode::kVirtual;
  std::string dir_;
  HWND window_ = nullptr;
  bool started_ = false;
};
