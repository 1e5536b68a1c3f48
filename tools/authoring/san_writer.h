// Building .san animation files: the "ANIM" container, its header chunk and
// "FRME" frames made of sub-chunks. Chunk sizes are big-endian, payload fields
// little-endian; sub-chunk headers stand at even file offsets (a pad byte 0
// goes where the file offset would be odd), as the player's frame walker
// expects.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "authoring/bytes.h"

namespace authoring {

using Palette = std::array<uint8_t, 768>;

struct SanHeader {
  uint16_t version = 2;  // 1: 774-byte header without a frame rate; 2: 794 bytes
  Palette palette{};
  uint16_t fps = 15;     // written only for versions above 1; 0 keeps the player's rate
  int frame_count = -1;  // -1: the number of frames added
  std::string tag = "AHDR";  // must begin with "A"
};

// Text chunk rectangle (left, top, width, height).
struct TextRect {
  int16_t left = 0, top = 0, width = 0, height = 0;
};

// The sub-chunks of one frame, in the order they are added. The bytes are laid
// out when the frame is added to a file, since padding follows file offsets.
class Frame {
 public:
  // Any sub-chunk, by tag and payload.
  Frame& Chunk(std::string_view tag, const Bytes& payload);
  // Bytes placed as they stand, without header or padding (damaged frames).
  Frame& RawBytes(const Bytes& bytes);
  // false: no pad bytes at all (the walker also accepts that while the next
  // header does not begin with 0).
  Frame& SetPadding(bool pad) {
    pad_ = pad;
    return *this;
  }

  Frame& Fobj(const Bytes& object) { return Chunk("FOBJ", object); }
  Frame& Npal(const Palette& palette);
  // Palette fades: command 0 starts a fade with 768 deltas (7 fraction bits),
  // command 512 first replaces the palette, any other command is one step.
  Frame& XpalStart(const std::array<int16_t, 768>& deltas);
  Frame& XpalStartFrom(const std::array<int16_t, 768>& deltas, const Palette& palette);
  Frame& XpalStep();
  // Text drawn by the player; the rectangle is written when given (and is read
  // by the player when text flag 4 is set).
  Frame& Text(int16_t x, int16_t y, uint16_t flags, const TextRect* rect, std::string_view text);
  Frame& Tres(int16_t x, int16_t y, uint16_t flags, const TextRect* rect, uint16_t string_number);
  Frame& Iact(const Bytes& payload) { return Chunk("IACT", payload); }
  Frame& Stor() { return Chunk("STOR", {}); }
  Frame& Ftch(int16_t x, int16_t y);      // 6-byte form
  Frame& FtchLong(int32_t x, int32_t y);  // 12-byte form, big-endian numbers
  Frame& Gost(uint16_t mode, int16_t x, int16_t y);
  Frame& Skip(uint16_t a, uint16_t b);
  Frame& Load(uint16_t block, uint16_t piece, const Bytes& data);
  // A whole sound image as made by SoundImage (audio.h): its first 8 bytes
  // become the chunk header.
  Frame& Saud(const Bytes& sound_image);
  // Stream blocks: 16-bit fields (flags, volume, pan carried) or 32-bit fields.
  Frame& Psad16(int16_t track, int16_t block, int16_t key, uint16_t flags, uint8_t volume,
                int8_t pan, const Bytes& data);
  Frame& Psad32(uint32_t track, uint32_t block, uint32_t key, const Bytes& data);

  bool empty() const { return items_.empty(); }

 private:
  friend class SanWriter;
  struct Item {
    bool raw = false;
    uint32_t tag = 0;
    Bytes bytes;
  };
  std::vector<Item> items_;
  bool pad_ = true;
};

class SanWriter {
 public:
  explicit SanWriter(const SanHeader& header);

  void AddFrame(const Frame& frame);
  // A top-level chunk of any tag (for damaged-file tests), and plain bytes.
  void AddTopChunk(std::string_view tag, const Bytes& payload);
  void AddRawBytes(const Bytes& bytes) { PutBytes(bytes_, bytes); }
  int frames() const { return frames_; }

  // The file: the header's frame count and the "ANIM" size filled in.
  Bytes Finish() const;
  bool WriteFile(const std::string& path, std::string* error = nullptr) const;

  // Size of a frame's payload as it would be laid out at the current offset.
  size_t current_offset() const { return bytes_.size(); }

 private:
  SanHeader header_;
  Bytes bytes_;
  size_t count_at_ = 0;  // offset of the header's frame count
  int frames_ = 0;
};

// Writes bytes to a file; false (and a message) when it cannot.
bool WriteBytes(const std::string& path, const Bytes& bytes, std::string* error = nullptr);

}  // namespace authoring
