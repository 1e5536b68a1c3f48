// Little helpers to lay out bytes in a growing buffer: little-endian payload
// fields, big-endian chunk sizes, four-character tags. Reading them back and
// writing in place are the base's (base/bytes.h).
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "base/bytes.h"

namespace authoring {

using Bytes = std::vector<uint8_t>;

inline void PutU8(Bytes& b, uint8_t v) { b.push_back(v); }
// Appended a byte at a time: GCC 12 at -O3 takes a resize-then-write for an
// overflow and warns.
template <size_t N, typename T>
inline void Put(Bytes& b, void (*write)(uint8_t*, T), T v) {
  uint8_t bytes[N];
  write(bytes, v);
  for (uint8_t x : bytes) b.push_back(x);
}
inline void PutLE16(Bytes& b, uint16_t v) { Put<2>(b, WriteLE16, v); }
inline void PutLE32(Bytes& b, uint32_t v) { Put<4>(b, WriteLE32, v); }
inline void PutBE16(Bytes& b, uint16_t v) { Put<2>(b, WriteBE16, v); }
inline void PutBE32(Bytes& b, uint32_t v) { Put<4>(b, WriteBE32, v); }
// Tags are exactly four characters; shorter ones are padded with blanks.
inline void PutTag(Bytes& b, std::string_view tag) {
  for (size_t i = 0; i < 4; ++i) b.push_back(i < tag.size() ? static_cast<uint8_t>(tag[i]) : ' ');
}
inline void PutBytes(Bytes& b, const void* data, size_t n) {
  const auto* p = static_cast<const uint8_t*>(data);
  b.insert(b.end(), p, p + n);
}
inline void PutBytes(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }

inline void SetLE16(Bytes& b, size_t at, uint16_t v) { WriteLE16(&b[at], v); }
inline void SetLE32(Bytes& b, size_t at, uint32_t v) { WriteLE32(&b[at], v); }
inline void SetBE32(Bytes& b, size_t at, uint32_t v) { WriteBE32(&b[at], v); }

}  // namespace authoring
