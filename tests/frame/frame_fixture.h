// A plain 320x200 render bitmap in memory for dispatcher and palette tests,
// and frames laid out by the authoring writer.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "authoring/san_writer.h"
#include "display/display.h"
#include "base/log.h"
#include "base/switches.h"

// The payload of `frame` as the writer lays it out in a file (the header is
// of even length, so pad bytes fall as they would in the ring).
inline authoring::Bytes LaidOut(const authoring::Frame& frame) {
  authoring::SanWriter writer{authoring::SanHeader{}};
  const long at = long(writer.current_offset()) + 8;
  writer.AddFrame(frame);
  const authoring::Bytes file = writer.Finish();
  return authoring::Bytes(file.begin() + at, file.end());
}

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
