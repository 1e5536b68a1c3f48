// Sounds for "SAUD" and "PSAD" chunks: the track script the mixer runs and
// the sound image (script sub-chunk, then sample sub-chunk). Script numbers
// are big-endian; samples are 8-bit unsigned with 128 as silence; offsets in
// a script count from the first sample byte.
#pragma once

#include <cstdint>
#include <vector>

#include "authoring/bytes.h"
#include "authoring/san_writer.h"

namespace authoring {

class TrackScript {
 public:
  // Type 1: play length bytes from offset at the output rate.
  TrackScript& Data(uint32_t offset, uint32_t length);
  // Type 6: play at the given rate.
  TrackScript& DataAt(uint32_t offset, uint32_t length, uint32_t rate);
  // Type 7: repeat block; jump is relative to this block's start.
  TrackScript& Repeat(uint32_t offset, uint32_t count, uint32_t rate, uint32_t length, int16_t jump);
  // Type 2: jump (relative to this block's start) if the variable is nonzero,
  // always with variable 0.
  TrackScript& Jump(int16_t offset, uint8_t variable);
  TrackScript& Set(uint8_t target, uint8_t value);  // type 3
  TrackScript& Add(uint8_t target, uint8_t value);  // type 4
  // Types 8 to 11: jump if value < variable, variable < value, equal, differ.
  TrackScript& JumpIf(uint8_t type, int16_t offset, uint8_t variable, uint8_t value);
  TrackScript& End();  // type 0

  // Offset of the next block from the script's start (for jump targets).
  size_t size() const { return bytes_.size(); }
  const Bytes& bytes() const { return bytes_; }

 private:
  Bytes bytes_;
};

// Script targets that are not variables.
constexpr uint8_t kTargetMasterVolume = 255;
constexpr uint8_t kTargetVolume = 254;
constexpr uint8_t kTargetPan = 253;

// The sound image: "SAUD", body size (the whole sound), "STRK" and the
// script, "SDAT" and `total` (the whole sample data length), then the
// `present` samples given. A complete sound has present == total.
Bytes SoundImage(const Bytes& script, const uint8_t* samples, size_t present, uint32_t total);
inline Bytes SoundImage(const Bytes& script, const std::vector<uint8_t>& samples) {
  return SoundImage(script, samples.data(), samples.size(), static_cast<uint32_t>(samples.size()));
}

// A sound cut into stream blocks: block 0 is the sound image holding the
// first `first` samples, each later block the next `per_block` samples.
struct StreamBlocks {
  std::vector<Bytes> blocks;
};
StreamBlocks SplitStream(const Bytes& script, const std::vector<uint8_t>& samples, size_t first,
                         size_t per_block);

// "PSAD" flags: the class bits of the sound.
constexpr uint16_t kSoundMusic = 0x40;
constexpr uint16_t kSoundVoice = 0x80;

}  // namespace authoring
