// A main window, a clean display and a clean headless screen per test.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>

#include "display/display.h"
#include "display/internal.h"
#include "platform/testing.h"
#include "platform/messages.h"
#include "platform/mmsystem.h"

namespace display_test {

using namespace display_internal;

inline LRESULT WindowProc(HWND, UINT msg, WPARAM wparam, LPARAM) {
  return msg == 0x0400 ? static_cast<LRESULT>(wparam) + 1 : 0;
}

class DisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetClockMode(platform::ClockMode::kVirtual);
    platform::ResetWindows();
    platform::memory::ResetDisplay();
    g_display = DisplayState{};
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = WindowProc;
    wc.lpszClassName = "DisplayTestClass";
    ASSERT_NE(RegisterClassExA(&wc), 0);
    window_ = CreateWindowExA(0, "DisplayTestClass", "display", 0, 0, 0, 640, 480, nullptr, nullptr,
                              nullptr, nullptr);
    ASSERT_NE(window_, nullptr);
  }

  void TearDown() override {
    FreeRenderBitmap(&bitmap_);
    while (g_display.mode_count > 0) RestoreVideoMode();
    while (g_display.startup_count > 0) DisplayShutdown();
    g_display = DisplayState{};
    platform::memory::ResetDisplay();
    platform::ResetWindows();
  }

  // Start-up, mode 19 and one 320 x 200 bitmap.
  void Open(uint16_t word) {
    ASSERT_EQ(DisplayStartup(window_, word), 0);
    ASSERT_EQ(SetVideoMode(19, nullptr, nullptr), 0);
    ASSERT_EQ(CreateRenderBitmap(&bitmap_, 320, 200), 0);
  }
  void Close() {
    FreeRenderBitmap(&bitmap_);
    RestoreVideoMode();
    DisplayShutdown();
  }

  void FillRows(int first, int last, uint8_t colour) {
    std::fill(bitmap_->pixels + first * bitmap_->width, bitmap_->pixels + (last + 1) * bitmap_->width, colour);
  }

  HWND window_ = nullptr;
  RenderBitmap* bitmap_ = nullptr;
};

// Entry i is (i, 255 - i, i / 2): every entry differs from the others.
inline std::array<uint8_t, 768> Ramp() {
  std::array<uint8_t, 768> p{};
  for (int i = 0; i < 256; ++i) p[3 * i] = uint8_t(i), p[3 * i + 1] = uint8_t(255 - i), p[3 * i + 2] = uint8_t(i / 2);
  return p;
}

}  // namespace display_test
