// Small fonts, string files and pictures for the text tests.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "authoring/nut.h"
#include "authoring/trs.h"
#include "decoder/decoder.h"
#include "base/log.h"
#include "base/switches.h"
#include "text/font.h"
#include "text/line.h"
#include "text/resource.h"

namespace texttest {

using Glyphs = std::vector<std::optional<authoring::GlyphBitmap>>;
using Box4 = std::array<int, 4>;
constexpr Box4 kNoInk = {-1, -1, -1, -1};

// A glyph that fills its whole box with `value` (1 is the tint).
inline authoring::GlyphBitmap Box(uint16_t width, uint16_t height, uint8_t value = 1) {
  return {0, 0, width, height, std::vector<uint8_t>(size_t{width} * height, value)};
}

// Box glyphs of one size for every printable code (33 to 126) and a
// transparent blank (32) of its own width.
inline Glyphs BoxFont(uint16_t width, uint16_t height, uint16_t blank = 4) {
  Glyphs glyphs(128);
  for (int c = 33; c < 127; ++c) glyphs[c] = Box(width, height);
  glyphs[32] = Box(blank, height, 0);
  return glyphs;
}

struct Picture {
  std::vector<uint8_t> pixels;
  Surface surface;
  explicit Picture(uint16_t w = 320, uint16_t h = 200, uint8_t fill = 0)
      : pixels(size_t{w} * h, fill), surface{pixels.data(), w, h} {}
  uint8_t at(int x, int y) const { return pixels[size_t(y) * surface.width + x]; }
  // Bounding box (left, top, right, bottom exclusive) of the pixels that
  // differ from `background` in rows y0 <= y < y1; kNoInk when they are blank.
  Box4 Ink(uint8_t background = 0) const { return RowsInk(0, surface.height, background); }
  Box4 RowsInk(int y0, int y1, uint8_t background = 0) const {
    Box4 b = {surface.width, y1, -1, -1};
    for (int y = y0; y < y1; ++y)
      for (int x = 0; x < surface.width; ++x)
        if (at(x, y) != background)
          b = {std::min(b[0], x), std::min(b[1], y), std::max(b[2], x + 1), std::max(b[3], y + 1)};
    return b[2] < 0 ? kNoInk : b;
  }
  int Count(uint8_t value) const { return int(std::count(pixels.begin(), pixels.end(), value)); }
};

// Every test starts with the decoder running and nothing loaded.
class TextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("mv_text_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
    ClearLogs();
    ResetSwitches();
    InitDecoder(kStandardCodecCount, kStandardCodecProcs, kStandardCodecNumbers, 320, 200);
  }
  void TearDown() override {
    FreeFonts(nullptr);
    FreeTextResource(nullptr);
    ShutdownDecoder();
    std::filesystem::remove_all(dir_);
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  std::string WriteFont(const std::string& name, const Glyphs& glyphs) {
    EXPECT_TRUE(authoring::WriteNutFont(Path(name), glyphs));
    return Path(name);
  }
  std::string WriteBytes(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream(Path(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return Path(name);
  }
  std::string WriteText(const std::string& name, const std::string& t) {
    return WriteBytes(name, {t.begin(), t.end()});
  }
  // Loads the given fonts as the default ring; returns LoadFonts' result.
  int16_t LoadRing(const std::vector<std::string>& paths) {
    std::vector<const char*> names;
    for (const auto& p : paths) names.push_back(p.c_str());
    return LoadFonts(nullptr, static_cast<int>(names.size()), names.data());
  }

  std::filesystem::path dir_;
};

}  // namespace texttest
