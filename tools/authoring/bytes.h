// Little helpers to lay out bytes: little-endian payload fields, big-endian
// chunk sizes, four-character tags.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace authoring {

using Bytes = std::vector<uint8_t>;

inline void PutU8(Bytes& b, uint8_t v) { b.push_back(v); }
inline void PutLE16(Bytes& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void PutLE32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void PutBE16(Bytes& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v >> 8));
  b.push_back(static_cast<uint8_t>(v));
}
inline void PutBE32(Bytes& b, uint32_t v) {
  for (int i = 3; i >= 0; --i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
// Tags are exactly four characters; shorter ones are padded with blanks.
inline void PutTag(Bytes& b, std::string_view tag) {
  for (size_t i = 0; i < 4; ++i) b.push_back(i < tag.size() ? static_cast<uint8_t>(tag[i]) : ' ');
}
inline void PutBytes(Bytes& b, const void* data, size_t n) {
  const auto* p = static_cast<const uint8_t*>(data);
  b.insert(b.end(), p, p + n);
}
inline void PutBytes(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }

inline void SetLE16(Bytes& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void SetLE32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void SetBE32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * (3 - i)));
}
inline uint16_t GetLE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t GetLE32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint32_t GetBE32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

}  // namespace authoring
