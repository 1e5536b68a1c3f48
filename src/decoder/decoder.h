// The object decoder: a table of codecs looked up by codec number, and
// DrawObject, which places an object and hands it to its codec.
#pragma once

#include <cstdint>

#include "base/bytes.h"

// The drawing destination. Its first three fields are also the first three of
// a RenderBitmap, which is handed here directly.
struct Surface {
  uint8_t* pixels;  // first pixel of the top row
  uint16_t width;   // pixels per row and row pitch in bytes
  uint16_t height;  // rows
};

// Optional clip: left <= x < left + width, top <= y < top + height.
struct ClipRect {
  int16_t left;
  int16_t top;
  int16_t width;
  int16_t height;
};

// The 14-byte little-endian header of every object payload.
constexpr int kObjectHeaderSize = 14;
struct ObjectHeader {
  uint8_t codec;
  int16_t x;
  int16_t y;
  uint16_t width;
  uint16_t height;
  uint16_t param;
};
// Reads the header of a payload of at least 14 bytes. Inline: every object
// drawn reads it, sprites of a few hundred nanoseconds included.
inline ObjectHeader ReadObjectHeader(const uint8_t* payload) {
  ObjectHeader header;
  header.codec = payload[0];
  header.x = static_cast<int16_t>(ReadLE16(payload + 2));
  header.y = static_cast<int16_t>(ReadLE16(payload + 4));
  header.width = ReadLE16(payload + 6);
  header.height = ReadLE16(payload + 8);
  header.param = ReadLE16(payload + 12);
  return header;
}

// Draw flags as the decoder and codecs read them.
constexpr uint16_t DrawAbsolute = 0x0001;
constexpr uint16_t DrawCentred = 0x0002;
constexpr uint16_t DrawLateFrame = 0x0010;
constexpr uint16_t DrawOpaque = 0x0100;
constexpr uint16_t DrawMirrorX = 0x2000;
constexpr uint16_t DrawMirrorY = 0x4000;

// Codec operations.
constexpr int16_t kCodecStart = 1;
constexpr int16_t kCodecStop = 2;
constexpr int16_t kCodecDraw = 3;

// One codec procedure. At start-up `surface` and `clip` carry the picture's
// width and height (as integers cast to pointers, as the original did).
using CodecProc = int16_t (*)(int16_t operation, const Surface* surface, const ClipRect* clip,
                              int16_t x, int16_t y, const uint8_t* payload, uint32_t size,
                              uint16_t draw_flags, uint8_t tint, uint8_t fill_colour);

int16_t InitDecoder(int16_t count, const CodecProc* procs, const uint8_t* numbers, int16_t width,
                    int16_t height);
void ShutdownDecoder();

// Returns the codec's result: 0 drawn (or nothing to draw), 1 frame skipped by
// the delta-tile codec, -1 unknown codec (or codec 37 unable to draw), also -1
// for a null payload or one too short to hold its 14-byte header.
int16_t DrawObject(const Surface* surface, const ClipRect* clip, int16_t x, int16_t y,
                   uint16_t draw_flags, const uint8_t* payload, uint32_t size, uint8_t tint,
                   uint8_t fill_colour);

// Object data is not trusted: whatever counts and lengths it claims, a codec
// reads only the payload's bytes and writes only inside the clip (which is
// itself kept inside the surface) and its own buffers. A field cut short by
// the end of the data ends the object, or its line, there.
//
// DrawObject for a payload whose real length differs from the size the codecs
// are told. The "GOST" redraw hands the remembered object over with the ghost
// chunk's own size: the point-list form of codec 2 and codec 45 count their
// records with `size`, but no codec reads past `available` bytes of the
// payload, whatever `size` or the data claim. DrawObject is this call with
// available = size.
int16_t DrawObjectWithin(const Surface* surface, const ClipRect* clip, int16_t x, int16_t y,
                         uint16_t draw_flags, const uint8_t* payload, uint32_t size,
                         uint32_t available, uint8_t tint, uint8_t fill_colour);

// True when the object's data holds all that its header claims for its codec:
// every line of a skip-literal object (codecs 21 and 44, walked as far as the
// codec reads them; a clipped draw reads a prefix of the same fields), width
// x height bytes of a raw one (codec 20). The other codecs bound themselves
// by the size and pass as they are; a payload shorter than its header fails.
// The font loader indexes only glyphs that pass.
bool ObjectDataComplete(const uint8_t* payload, uint32_t size);

// The standard codecs' numbers.
constexpr uint8_t kCodecNumberRunLength = 1;
constexpr uint8_t kCodecNumberPointList = 2;
constexpr uint8_t kCodecNumberOpaqueRunLength = 3;
constexpr uint8_t kCodecNumberRaw = 20;
constexpr uint8_t kCodecNumberSkipLiteral = 21;
constexpr uint8_t kCodecNumberShade = 23;
constexpr uint8_t kCodecNumberDeltaTile = 37;
constexpr uint8_t kCodecNumberTintedSkipLiteral = 44;
constexpr uint8_t kCodecNumberSmoothing = 45;

// The nine codecs in the session's registration order, with their numbers
// 1, 3, 2, 37, 23, 21, 20, 44, 45.
constexpr int kStandardCodecCount = 9;
extern const CodecProc kStandardCodecProcs[kStandardCodecCount];
extern const uint8_t kStandardCodecNumbers[kStandardCodecCount];

// The standard codecs, for callers and tests that drive one directly (read
// bounds are then the `size` handed over).
int16_t CodecRunLength(int16_t operation, const Surface* surface, const ClipRect* clip, int16_t x,
                       int16_t y, const uint8_t* payload, uint32_t size, uint16_t draw_flags,
                       uint8_t tint, uint8_t fill_colour);  // codec 1
int16_t CodecOpaqueRunLength(int16_t operation, const Surface* surface, const ClipRect* clip,
                             int16_t x, int16_t y, const uint8_t* payload, uint32_t size,
                             uint16_t draw_flags, uint8_t tint, uint8_t fill_colour);  // codec 3
int16_t CodecPointList(int16_t operation, const Surface* surface, const ClipRect* clip, int16_t x,
                       int16_t y, const uint8_t* payload, uint32_t size, uint16_t draw_flags,
                       uint8_t tint, uint8_t fill_colour);  // codec 2
// Motion vector `index` (0 to 254) of the delta-tile codec's table 0, 1 or 2
// as (x, y) in pixels; anything else gives (0, 0). The encoder uses these too.
void CodecDeltaTileVector(int table, int index, int8_t* dx, int8_t* dy);
int16_t CodecDeltaTile(int16_t operation, const Surface* surface, const ClipRect* clip, int16_t x,
                       int16_t y, const uint8_t* payload, uint32_t size, uint16_t draw_flags,
                       uint8_t tint, uint8_t fill_colour);  // codec 37
int16_t CodecShade(int16_t operation, const Surface* surface, const ClipRect* clip, int16_t x,
                   int16_t y, const uint8_t* payload, uint32_t size, uint16_t draw_flags,
                   uint8_t tint, uint8_t fill_colour);  // codec 23
int16_t CodecSkipLiteral(int16_t operation, const Surface* surface, const ClipRect* clip,
                         int16_t x, int16_t y, const uint8_t* payload, uint32_t size,
                         uint16_t draw_flags, uint8_t tint, uint8_t fill_colour);  // codec 21
int16_t CodecRaw(int16_t operation, const Surface* surface, const ClipRect* clip, int16_t x,
                 int16_t y, const uint8_t* payload, uint32_t size, uint16_t draw_flags,
                 uint8_t tint, uint8_t fill_colour);  // codec 20
int16_t CodecTintedSkipLiteral(int16_t operation, const Surface* surface, const ClipRect* clip,
                               int16_t x, int16_t y, const uint8_t* payload, uint32_t size,
                               uint16_t draw_flags, uint8_t tint, uint8_t fill_colour);  // codec 44
int16_t CodecSmoothing(int16_t operation, const Surface* surface, const ClipRect* clip, int16_t x,
                       int16_t y, const uint8_t* payload, uint32_t size, uint16_t draw_flags,
                       uint8_t tint, uint8_t fill_colour);  // codec 45
