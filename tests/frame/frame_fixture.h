// A plain 320x200 render bitmap in memory for dispatcher and palette tests.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "display/display.h"
#include "base/log.h"
#include "base/switches.h"

class FrameFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSwitches();
    ClearLogs();
    pixels_.assign(320 * 200, 0);
    bitmap_ = RenderBitmap{};
    bitmap_.pixels = pixels_.data();
    bitmap_.width = 320;
    bitmap_.height = 200;
    bitmap_.size = 320 * 200;
  }
  RenderBitmap* bitmap() { return &bitmap_; }
  uint8_t Pixel(int x, int y) const { return pixels_[size_t(y) * 320 + x]; }

  std::vector<uint8_t> pixels_;
  RenderBitmap bitmap_{};
};
