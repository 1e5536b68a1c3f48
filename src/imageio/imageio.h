// Writing and reading the two export formats: 8-bit indexed PNG pictures
// (colour type 3, a full 256-entry palette) and 8-bit unsigned mono PCM WAV
// sound. Every function reports failure through its result and never throws.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace imageio {

struct IoResult {
  bool ok = true;
  std::string message;  // what went wrong, naming the file; empty on success
  explicit operator bool() const { return ok; }
};

// Writes width x height indices, rows `pitch` bytes apart, with the 768-byte
// palette (256 entries of red, green, blue). The output is the same bytes for
// the same input (no time stamp or other varying chunk).
IoResult WritePng8(const std::string& path, int width, int height, int pitch,
                   const uint8_t* indices, const uint8_t* palette768);

struct Png8 {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> indices;     // width x height, rows packed
  std::array<uint8_t, 768> palette{};  // entries past the file's PLTE are 0
  int palette_entries = 0;          // entries the file's PLTE held
};
// Reads an indexed (colour type 3) PNG of bit depth 1 to 8; any other kind
// of PNG is refused.
IoResult ReadPng8(const std::string& path, Png8* out);

// Any PNG: an indexed one as ReadPng8 reads it (`rgba` empty); any other
// kind as 8-bit red, green, blue, alpha in `rgba` (`indices` empty). A
// picture larger than the limits (at most 16384) is refused before its
// pixels are read: "W x H is larger than MAXW x MAXH".
struct PngPicture : Png8 {
  std::vector<uint8_t> rgba;
};
IoResult ReadPng(const std::string& path, PngPicture* out, int max_width = 16384,
                 int max_height = 16384);

// Writes 8-bit unsigned mono PCM (128 is silence) at `rate` samples per second.
IoResult WriteWav8(const std::string& path, const uint8_t* samples, size_t count, uint32_t rate);
inline IoResult WriteWav8(const std::string& path, const std::vector<uint8_t>& samples,
                          uint32_t rate) {
  return WriteWav8(path, samples.data(), samples.size(), rate);
}

struct Wav8 {
  uint32_t rate = 0;
  std::vector<uint8_t> samples;
};
// Reads an 8-bit mono PCM WAV; other formats are refused.
IoResult ReadWav8(const std::string& path, Wav8* out);

}  // namespace imageio
