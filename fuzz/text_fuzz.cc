// libFuzzer target: ".NUT" fonts and ".TRS" string files.
// Input byte 0, bit 0 clear: a font. Bytes 1..12 are drawing controls (flags,
// position, clip, colours), byte 13 the length n of a text that follows, and
// the rest an "ANIM" image (it must start with "ANIM" and a zero byte, as
// fonts in memory do), loaded from memory with its size. Every glyph is drawn,
// then the text (with escapes) is measured and drawn with the font.
// Bit 0 set: the rest is a string file, loaded from a temporary file; every
// string is fetched and drawn with the built-in font, and the entries are
// indexed again from a copy of the raw bytes.
//
// Build and run (clang):
//   cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DMV_BUILD_FUZZ=ON \
//     -DMV_BUILD_SDL=OFF -DMV_BUILD_TESTS=OFF -DMV_BUILD_BENCH=OFF
//   cmake --build build-fuzz --target text_fuzz make-demo-data -j2
//   fuzz/make_corpus.py build-fuzz corpus
//   build-fuzz/fuzz/text_fuzz corpus/text -max_total_time=300 -rss_limit_mb=2048
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "decoder/decoder.h"
#include "base/log.h"
#include "base/switches.h"
#include "text/block.h"
#include "text/font.h"
#include "text/line.h"
#include "text/resource.h"

namespace {

constexpr int kControlBytes = 13;

struct Picture {
  std::vector<uint8_t> pixels;
  Surface surface;
  Picture(int w, int h) : pixels(size_t(w) * h, 0x55) {
    surface = Surface{pixels.data(), uint16_t(w), uint16_t(h)};
  }
};

void FuzzFont(const uint8_t* data, size_t size) {
  if (size < kControlBytes) return;
  const uint8_t* c = data;
  uint16_t flags = uint16_t(c[0] | c[1] << 8);
  int16_t x = int8_t(c[2]), y = int8_t(c[3]);
  ClipRect clip{int16_t(int8_t(c[4])), int16_t(int8_t(c[5])), int16_t(c[6]), int16_t(c[7])};
  uint8_t colour = c[8], background = c[9];
  SetSwitch(0, c[10] & 1);
  Picture picture(8 + c[11] % 96, 8 + c[11] / 96 * 20);
  size_t text_length = std::min<size_t>(c[12], size - kControlBytes);
  std::string text(reinterpret_cast<const char*>(data + kControlBytes), text_length);
  // An exact copy, so reads past the image are caught.
  std::vector<uint8_t> image(data + kControlBytes + text_length, data + size);
  image.shrink_to_fit();
  if (image.size() < 5 || std::memcmp(image.data(), "ANIM", 4) != 0 || image[4] != 0) return;

  AnimResource* resource = nullptr;
  if (LoadAnimResource(&resource, image.data(), uint32_t(image.size())) != 0) return;
  for (int16_t i = -1; i <= resource->count; ++i)
    DrawGlyph(&picture.surface, (flags & 0x8000) ? nullptr : &clip, x, y, flags, resource, i,
              colour, background);

  // A ring of two fonts over the same image, as LoadFonts links them.
  Font first{}, second{};
  first.resource = second.resource = resource;
  first.height = second.height = HasGlyph(&first, 72) ? int16_t(GlyphHeight(&first, 72)) : 4;
  first.number = 0;
  second.number = 1;
  first.next = first.previous = &second;
  second.next = second.previous = &first;
  for (Font* font : {&first, static_cast<Font*>(nullptr)}) {
    SetCurrentFont(font);
    TextWidth(font, text.c_str());
    TextHeight(font, text.c_str());
    TextWidthN(font, text.data(), uint32_t(text.size()));
    TextHeightN(font, text.data(), uint32_t(text.size()));
    uint8_t line_colour = colour;
    DrawTextLine(font, &picture.surface, &clip, x, y, flags, &line_colour, background,
                 text.c_str());
    DrawText(font, &picture.surface, (flags & 0x4000) ? nullptr : &clip, x, y, colour,
             background, flags & 0x1F, text.c_str());
  }
  SetCurrentFont(nullptr);
  FreeAnimResource(&resource);
}

std::string TempPath() {
  const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return std::string(base) + "/mv_text_fuzz_" + std::to_string(getpid()) + ".trs";
}

void FuzzStrings(const uint8_t* data, size_t size) {
  static const std::string path = TempPath();
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return;
  if (size != 0) std::fwrite(data, 1, size, f);
  std::fclose(f);
  TextResource* resource = nullptr;
  if (LoadTextResource(&resource, path.c_str()) == 0) {
    Picture picture(64, 32);
    for (int32_t n = -2; n <= resource->count + 1; ++n) {
      const char* text = GetText(resource, int16_t(n));
      if (text == nullptr) continue;
      (void)std::strlen(text);
      DrawText(nullptr, &picture.surface, nullptr, 0, 0, 1, 0, 4, text);
    }
    GetText(resource, 32767);
    GetText(resource, -32768);
    FreeTextResource(&resource);
  }
  std::remove(path.c_str());

  // The indexer on its own, over an exact copy of the bytes.
  std::vector<uint8_t> body(data, data + size);
  body.shrink_to_fit();
  int16_t count = CountTextEntries(body.data(), uint32_t(body.size()));
  if (count > 0) {
    std::vector<uint32_t> offsets(size_t(count), 0);
    IndexTextEntries(body.data(), uint32_t(body.size()), offsets.data(), count);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  if (data[0] & 1)
    FuzzStrings(data + 1, size - 1);
  else
    FuzzFont(data + 1, size - 1);
  ClearLogs();
  return 0;
}
