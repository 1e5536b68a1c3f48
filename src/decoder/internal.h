// Helpers shared by the codecs: clip bounds, the byte limit of the payload
// being drawn, line walking and short copies.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "base/bytes.h"
#include "decoder/decoder.h"

namespace decoder_internal {

// Half-open drawing bounds left <= x < right, top <= y < bottom.
struct Bounds {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
  bool Empty() const { return left >= right || top >= bottom; }
};

// The clip rectangle as bounds, never reaching outside the surface: a clip
// that extends past the picture must not let a codec write past its rows.
inline Bounds GetBounds(const Surface* surface, const ClipRect* clip) {
  if (surface == nullptr || surface->pixels == nullptr) return {0, 0, 0, 0};
  Bounds b{0, 0, surface->width, surface->height};
  if (clip != nullptr) {
    b.left = std::max<int32_t>(clip->left, 0);
    b.top = std::max<int32_t>(clip->top, 0);
    b.right = std::min<int32_t>(int32_t{clip->left} + clip->width, surface->width);
    b.bottom = std::min<int32_t>(int32_t{clip->top} + clip->height, surface->height);
  }
  return b;
}

// ObjectDataComplete for codecs 21 and 44, and for codec 20 (a payload of at
// least the header's 14 bytes).
bool SkipLiteralDataComplete(const uint8_t* payload, uint32_t size);
bool RawDataComplete(const uint8_t* payload, uint32_t size);

// The number of payload bytes a codec may read: the real length handed to
// DrawObjectWithin when this payload is the one being drawn, else `size`.
uint32_t PayloadLimit(const uint8_t* payload, uint32_t size);

inline uint8_t* PixelAt(const Surface* surface, int32_t x, int32_t y) {
  return surface->pixels + static_cast<intptr_t>(y) * surface->width + x;
}

// Steps over `count` length-prefixed lines; null when the data ends first.
inline const uint8_t* SkipLines(const uint8_t* p, const uint8_t* end, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    if (end - p < 2) return nullptr;
    uint16_t length = ReadLE16(p);
    p += 2;
    if (end - p < length) return nullptr;
    p += length;
  }
  return p;
}

// Copies and fills for the short runs and literals of sprite lines, where a
// call into the library costs more than the bytes: overlapping word moves.
inline void CopyBytes(uint8_t* d, const uint8_t* s, int32_t n) {
  if (n >= 16) {
    // Overlapping moves without a loop up to 64 bytes: a loop whose trip count
    // changes from line to line costs a mispredicted branch per literal.
    if (n <= 32) {
      std::memcpy(d, s, 16);
      std::memcpy(d + n - 16, s + n - 16, 16);
    } else if (n <= 64) {
      std::memcpy(d, s, 32);
      std::memcpy(d + n - 32, s + n - 32, 32);
    } else {
      std::memcpy(d, s, static_cast<size_t>(n));
    }
  } else if (n >= 8) {
    uint64_t a, b;
    std::memcpy(&a, s, 8);
    std::memcpy(&b, s + n - 8, 8);
    std::memcpy(d, &a, 8);
    std::memcpy(d + n - 8, &b, 8);
  } else if (n >= 4) {
    uint32_t a, b;
    std::memcpy(&a, s, 4);
    std::memcpy(&b, s + n - 4, 4);
    std::memcpy(d, &a, 4);
    std::memcpy(d + n - 4, &b, 4);
  } else {
    for (int32_t i = 0; i < n; ++i) d[i] = s[i];
  }
}

inline void FillBytes(uint8_t* d, uint8_t value, int32_t n) {
  if (n >= 16) {
    typedef uint8_t Vec __attribute__((vector_size(16)));
    const Vec v = Vec{} + value;
    if (n <= 32) {
      std::memcpy(d, &v, 16);
      std::memcpy(d + n - 16, &v, 16);
    } else if (n <= 64) {
      std::memcpy(d, &v, 16);
      std::memcpy(d + 16, &v, 16);
      std::memcpy(d + n - 32, &v, 16);
      std::memcpy(d + n - 16, &v, 16);
    } else {
      std::memset(d, value, static_cast<size_t>(n));
    }
  } else if (n >= 8) {
    uint64_t v = 0x0101010101010101ull * value;
    std::memcpy(d, &v, 8);
    std::memcpy(d + n - 8, &v, 8);
  } else if (n >= 4) {
    uint32_t v = 0x01010101u * value;
    std::memcpy(d, &v, 4);
    std::memcpy(d + n - 4, &v, 4);
  } else {
    for (int32_t i = 0; i < n; ++i) d[i] = value;
  }
}

// Copies n bytes leftwards: s[0] to d[0], s[1] to d[-1], ... Overlapping
// byte-swapped words without a loop up to 64 bytes, as for CopyBytes.
inline void CopyReversed8(uint8_t* d, const uint8_t* s, int32_t i) {
  uint64_t v;
  std::memcpy(&v, s + i, 8);
  v = __builtin_bswap64(v);
  std::memcpy(d - i - 7, &v, 8);
}
inline void CopyReversed(uint8_t* d, const uint8_t* s, int32_t n) {
  if (n >= 8) {
    if (n <= 16) {
      CopyReversed8(d, s, 0);
      CopyReversed8(d, s, n - 8);
    } else if (n <= 32) {
      CopyReversed8(d, s, 0);
      CopyReversed8(d, s, 8);
      CopyReversed8(d, s, n - 16);
      CopyReversed8(d, s, n - 8);
    } else if (n <= 64) {
      CopyReversed8(d, s, 0);
      CopyReversed8(d, s, 8);
      CopyReversed8(d, s, 16);
      CopyReversed8(d, s, 24);
      CopyReversed8(d, s, n - 32);
      CopyReversed8(d, s, n - 24);
      CopyReversed8(d, s, n - 16);
      CopyReversed8(d, s, n - 8);
    } else {
      int32_t i = 0;
      for (; i + 32 <= n; i += 32) {
        CopyReversed8(d, s, i);
        CopyReversed8(d, s, i + 8);
        CopyReversed8(d, s, i + 16);
        CopyReversed8(d, s, i + 24);
      }
      if (i < n) {
        CopyReversed8(d, s, n - 32);
        CopyReversed8(d, s, n - 24);
        CopyReversed8(d, s, n - 16);
        CopyReversed8(d, s, n - 8);
      }
    }
  } else if (n >= 4) {
    uint32_t a, b;
    std::memcpy(&a, s, 4);
    std::memcpy(&b, s + n - 4, 4);
    a = __builtin_bswap32(a);
    b = __builtin_bswap32(b);
    std::memcpy(d - 3, &a, 4);
    std::memcpy(d - n + 1, &b, 4);
  } else {
    for (int32_t i = 0; i < n; ++i) d[-i] = s[i];
  }
}

}  // namespace decoder_internal
