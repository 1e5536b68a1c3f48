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
inline uint8_t* Grow(Bytes& b, size_t n) {
  b.resize(b.size() + n);
  return b.data() + b.size() - n;
}
inline void PutLE16(Bytes& b, uint16_t v) { WriteLE16(Grow(b, 2), v); }
inline void PutLE32(Bytes& b, uint32_t v) { WriteLE32(Grow(b, 4), v); }
inline void PutBE16(Bytes& b, uint16_t v) { WriteBE16(Grow(b, 2), v); }
inline void PutBE32(Bytes& b, uint32_t v) { WriteBE32(Grow(b, 4), v); }
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
