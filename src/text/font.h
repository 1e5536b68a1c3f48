// ".NUT" fonts: "ANIM" files whose frame c holds the glyph of character code c
// as one object, kept in a ring addressed by font number.
#pragma once

#include <cstdint>

#include "decoder/decoder.h"

// One loaded "ANIM" image and the index of its frames.
struct AnimResource {
  uint8_t* data;       // the whole image, from its "ANIM" chunk header on
  uint32_t size;       // bytes of the image that may be read
  int16_t count;       // frames indexed
  uint32_t owned;      // 1: read from a file here, freed with the record
  uint32_t* offsets;   // per frame: its "FRME" header offset, 0 = no glyph
};

struct Font {
  Font* next;
  Font* previous;
  AnimResource* resource;
  int16_t height;   // line height: height of glyph 72 ("H"), else 4
  uint16_t number;  // 0 for the anchor of a ring
};

// Offsets inside a frame whose glyph is indexed (o = its offset).
constexpr uint32_t kGlyphPayloadOffset = 16;  // o + 16: the object payload
constexpr uint32_t kGlyphSizeOffset = 12;     // o + 12: big-endian object size

// `source` is an "ANIM" image in memory when it starts with "ANIM" and a zero
// byte and its size is given (an image's extent cannot be trusted to its own
// header); otherwise it is a file name, read whole. 0, -101 or -103.
int16_t LoadAnimResource(AnimResource** slot, const void* source, uint32_t image_size = 0);
// Indexes up to `largest` "FRME" chunks of an image of `size` bytes; only
// frames whose first sub-chunk is a complete, sound object get an offset.
int16_t IndexFrames(const uint8_t* image, uint32_t size, uint32_t* offsets, int16_t largest);
void FreeAnimResource(AnimResource** slot);
// 0, or -105 for a missing resource or an index without a glyph.
int16_t DrawGlyph(const Surface* surface, const ClipRect* clip, int16_t x, int16_t y,
                  uint16_t draw_flags, const AnimResource* resource, int16_t index, uint8_t tint,
                  uint8_t fill_colour);

// Glyph queries for the text drawer: a character has a glyph when its code is
// below the frame count and its offset is not 0.
bool HasGlyph(const Font* font, uint8_t code);
uint16_t GlyphWidth(const Font* font, uint8_t code);   // 0 without a glyph
uint16_t GlyphHeight(const Font* font, uint8_t code);  // 0 without a glyph

int16_t LoadFont(Font** slot, const char* name, uint16_t number);
// slot null: the default font slot, emptied first. 0 or the error of the
// last file (all fonts of the call are then freed).
int16_t LoadFonts(Font** slot, int count, const char* const* names);
void FreeFont(Font** slot);
void FreeFonts(Font** slot);

// The ring's anchor (font 0), empty when no font is loaded.
Font* DefaultFont();
Font** DefaultFontSlot();

// Font escape selection: the font numbered `wanted` in the ring of
// `current`, or the ring's anchor when there is none.
Font* SelectFont(Font* current, int wanted);
