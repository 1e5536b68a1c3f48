// Chunk tags of the ".san" files and the fonts, the one spelling for the
// engines, the tools and the tests. A chunk is a tag, a big-endian payload
// size and the payload; tags compare as 32-bit numbers, first character most
// significant (ReadBE32 of the chunk's first four bytes).
#pragma once

#include <cstdint>

constexpr uint32_t MakeTag(char a, char b, char c, char d) {
  return (uint32_t(uint8_t(a)) << 24) | (uint32_t(uint8_t(b)) << 16) |
         (uint32_t(uint8_t(c)) << 8) | uint32_t(uint8_t(d));
}

constexpr uint32_t kTagANIM = MakeTag('A', 'N', 'I', 'M');
constexpr uint32_t kTagAHDR = MakeTag('A', 'H', 'D', 'R');
constexpr uint32_t kTagFRME = MakeTag('F', 'R', 'M', 'E');
constexpr uint32_t kTagFOBJ = MakeTag('F', 'O', 'B', 'J');
constexpr uint32_t kTagGOST = MakeTag('G', 'O', 'S', 'T');
constexpr uint32_t kTagSTOR = MakeTag('S', 'T', 'O', 'R');
constexpr uint32_t kTagFTCH = MakeTag('F', 'T', 'C', 'H');
constexpr uint32_t kTagSKIP = MakeTag('S', 'K', 'I', 'P');
constexpr uint32_t kTagLOAD = MakeTag('L', 'O', 'A', 'D');
constexpr uint32_t kTagNPAL = MakeTag('N', 'P', 'A', 'L');
constexpr uint32_t kTagXPAL = MakeTag('X', 'P', 'A', 'L');
constexpr uint32_t kTagTEXT = MakeTag('T', 'E', 'X', 'T');
constexpr uint32_t kTagTRES = MakeTag('T', 'R', 'E', 'S');
constexpr uint32_t kTagIACT = MakeTag('I', 'A', 'C', 'T');
constexpr uint32_t kTagPSAD = MakeTag('P', 'S', 'A', 'D');
constexpr uint32_t kTagSAUD = MakeTag('S', 'A', 'U', 'D');
constexpr uint32_t kTagSTRK = MakeTag('S', 'T', 'R', 'K');
constexpr uint32_t kTagSDAT = MakeTag('S', 'D', 'A', 'T');
constexpr uint32_t kTagVMSK = MakeTag('V', 'M', 'S', 'K');

// The tag and the size in front of every payload.
constexpr int kChunkHeaderSize = 8;

// A sub-chunk tag is acceptable when all four characters lie in "0".."Z".
constexpr bool IsPlainTag(uint32_t tag) {
  for (int shift = 0; shift < 32; shift += 8) {
    uint8_t c = uint8_t(tag >> shift);
    if (c < 0x30 || c > 0x5A) return false;
  }
  return true;
}
