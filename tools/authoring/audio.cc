#include "authoring/audio.h"

#include <algorithm>

namespace authoring {

TrackScript& TrackScript::Data(uint32_t offset, uint32_t length) {
  PutU8(bytes_, 1);
  PutU8(bytes_, 8);
  PutBE32(bytes_, offset);
  PutBE32(bytes_, length);
  return *this;
}

TrackScript& TrackScript::DataAt(uint32_t offset, uint32_t length, uint32_t rate) {
  PutU8(bytes_, 6);
  PutU8(bytes_, 12);
  PutBE32(bytes_, offset);
  PutBE32(bytes_, length);
  PutBE32(bytes_, rate);
  return *this;
}

TrackScript& TrackScript::Repeat(uint32_t offset, uint32_t count, uint32_t rate, uint32_t length,
                                 int16_t jump) {
  PutU8(bytes_, 7);
  PutU8(bytes_, 18);
  PutBE32(bytes_, offset);
  PutBE32(bytes_, count);
  PutBE32(bytes_, rate);
  PutBE32(bytes_, length);
  PutBE16(bytes_, static_cast<uint16_t>(jump));
  return *this;
}

TrackScript& TrackScript::Jump(int16_t offset, uint8_t variable) {
  PutU8(bytes_, 2);
  PutU8(bytes_, 3);
  PutBE16(bytes_, static_cast<uint16_t>(offset));
  PutU8(bytes_, variable);
  return *this;
}

TrackScript& TrackScript::Set(uint8_t target, uint8_t value) {
  PutU8(bytes_, 3);
  PutU8(bytes_, 2);
  PutU8(bytes_, target);
  PutU8(bytes_, value);
  return *this;
}

TrackScript& TrackScript::Add(uint8_t target, uint8_t value) {
  PutU8(bytes_, 4);
  PutU8(bytes_, 2);
  PutU8(bytes_, target);
  PutU8(bytes_, value);
  return *this;
}

TrackScript& TrackScript::JumpIf(uint8_t type, int16_t offset, uint8_t variable, uint8_t value) {
  PutU8(bytes_, type);
  PutU8(bytes_, 4);
  PutBE16(bytes_, static_cast<uint16_t>(offset));
  PutU8(bytes_, variable);
  PutU8(bytes_, value);
  return *this;
}

TrackScript& TrackScript::End() {
  PutU8(bytes_, 0);
  PutU8(bytes_, 0);
  return *this;
}

Bytes SoundImage(const Bytes& script, const uint8_t* samples, size_t present, uint32_t total) {
  Bytes b;
  PutTag(b, "SAUD");
  PutBE32(b, static_cast<uint32_t>(8 + script.size() + 8 + total));
  PutTag(b, "STRK");
  PutBE32(b, static_cast<uint32_t>(script.size()));
  PutBytes(b, script);
  PutTag(b, "SDAT");
  PutBE32(b, total);
  if (present > 0) PutBytes(b, samples, present);
  return b;
}

StreamBlocks SplitStream(const Bytes& script, const std::vector<uint8_t>& samples, size_t first,
                         size_t per_block) {
  StreamBlocks out;
  size_t n = std::min(first, samples.size());
  out.blocks.push_back(SoundImage(script, samples.data(), n, static_cast<uint32_t>(samples.size())));
  if (per_block == 0) per_block = 1;
  for (size_t at = n; at < samples.size(); at += per_block) {
    size_t take = std::min(per_block, samples.size() - at);
    out.blocks.emplace_back(samples.begin() + at, samples.begin() + at + take);
  }
  return out;
}

}  // namespace authoring
