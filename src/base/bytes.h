// Byte order of the data files: payload fields are little-endian, chunk sizes
// and sound script words big-endian. The one set of readers and writers for
// the engines, the tools, the tests and the fuzzers; none checks bounds.
#pragma once

#include <cstdint>

constexpr uint16_t ReadLE16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
constexpr int16_t ReadLE16s(const uint8_t* p) { return int16_t(ReadLE16(p)); }
constexpr uint32_t ReadLE32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
constexpr int32_t ReadLE32s(const uint8_t* p) { return int32_t(ReadLE32(p)); }

constexpr uint16_t ReadBE16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }
constexpr int16_t ReadBE16s(const uint8_t* p) { return int16_t(ReadBE16(p)); }
constexpr uint32_t ReadBE32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
constexpr int32_t ReadBE32s(const uint8_t* p) { return int32_t(ReadBE32(p)); }

constexpr void WriteLE16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
constexpr void WriteLE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
constexpr void WriteBE16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v >> 8);
  p[1] = uint8_t(v);
}
constexpr void WriteBE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * (3 - i)));
}
