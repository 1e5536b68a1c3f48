// The ".san" file's own layout: where playback starts, how top-level chunks
// are told apart and the header chunk's fields. The chunk tags and the byte
// readers are the base's (base/tags.h, base/bytes.h).
#pragma once

#include <cstdint>

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
