// The ".san" container: tags, header layout and the byte-order helpers that
// the frame reader, the chunk dispatcher and santool share.
#pragma once

#include <cstdint>

// Tags compare as 32-bit numbers, first character most significant.
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
constexpr uint32_t kTagVMSK = MakeTag('V', 'M', 'S', 'K');

// Every chunk starts with a tag and a big-endian payload size.
constexpr int kChunkHeaderSize = 8;
// Playback starts behind the "ANIM" header, which is never read.
constexpr int32_t kFirstChunkOffset = 8;

// Top-level chunks are told apart by their first character alone.
constexpr uint8_t kHeaderLetter = 'A';
constexpr uint8_t kFrameLetter = 'F';

// Header chunk payload (little-endian fields).
constexpr int kHeaderVersionOffset = 0;
constexpr int kHeaderFrameCountOffset = 2;
constexpr int kHeaderPaletteOffset = 6;
constexpr int kHeaderRateOffset = 774;
constexpr int kHeaderSizeV1 = 774;
constexpr int kHeaderSizeV2 = 794;

constexpr int kPaletteBytes = 768;

// A sub-chunk tag is acceptable when all four characters lie in "0".."Z".
constexpr bool IsPlainTag(uint32_t tag) {
  for (int shift = 0; shift < 32; shift += 8) {
    uint8_t c = uint8_t(tag >> shift);
    if (c < 0x30 || c > 0x5A) return false;
  }
  return true;
}

inline uint32_t ReadBE32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
inline uint16_t ReadLE16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline int16_t ReadLE16s(const uint8_t* p) { return int16_t(ReadLE16(p)); }
