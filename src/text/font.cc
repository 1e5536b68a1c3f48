#include "text/font.h"

#include <cstring>

#include "base/log.h"
#include "base/bytes.h"
#include "base/tags.h"
#include "base/mem.h"

namespace {

Font* g_default_font = nullptr;


// Anchor of the ring that `font` belongs to: the first font numbered 0 along
// `next`; a ring without one (never built by LoadFonts) answers `font`.
Font* RingAnchor(Font* font) {
  for (Font* f = font;;) {
    if (f->number == 0) return f;
    f = f->next;
    if (f == nullptr || f == font) return font;
  }
}

}  // namespace

Font* DefaultFont() { return g_default_font; }
Font** DefaultFontSlot() { return &g_default_font; }

int16_t IndexFrames(const uint8_t* image, uint32_t size, uint32_t* offsets, int16_t largest) {
  if (image == nullptr || size < 8) return 0;
  int64_t remaining = static_cast<int32_t>(ReadBE32(image + 4));
  if (remaining < 1) return 0;
  uint64_t p = 8;
  int16_t k = 0;
  while (remaining > 0 && k < largest && p + 8 <= size) {
    const uint32_t tag = ReadBE32(image + p);
    const int32_t chunk = static_cast<int32_t>(ReadBE32(image + p + 4));
    if (chunk < 0) break;
    if (tag == kTagFRME) {
      uint32_t offset = 0;
      // The object must lie inside the image and inside its own frame.
      const uint64_t frame_end = p + 8 + static_cast<uint64_t>(chunk);
      const uint64_t limit = frame_end < size ? frame_end : size;
      if (p + kGlyphPayloadOffset <= limit && ReadBE32(image + p + 8) == kTagFOBJ) {
        const uint32_t object_size = ReadBE32(image + p + kGlyphSizeOffset);
        if (p + kGlyphPayloadOffset + object_size <= limit &&
            ObjectDataComplete(image + p + kGlyphPayloadOffset, object_size)) {
          offset = static_cast<uint32_t>(p);
        }
      }
      offsets[k++] = offset;
    }
    p += 8 + static_cast<uint64_t>(chunk);
    remaining -= int64_t{chunk} + 8;
  }
  return k;
}

int16_t LoadAnimResource(AnimResource** slot, const void* source, uint32_t image_size) {
  const uint8_t* bytes = static_cast<const uint8_t*>(source);
  uint8_t* data = nullptr;
  uint32_t size = 0;
  uint32_t owned = 0;
  // strncmp stops at a file name's terminator before the fifth byte is read.
  if (image_size >= 5 && std::strncmp(static_cast<const char*>(source), "ANIM", 4) == 0 &&
      bytes[4] == 0) {
    data = const_cast<uint8_t*>(bytes);
    size = image_size;
  } else {
    int32_t file_size = 0;
    if (LoadWholeFile(&data, &file_size, static_cast<const char*>(source)) != 0) {
      RecordError("Cannot open resource %s.", static_cast<const char*>(source));
      return kErrCannotOpen;
    }
    size = static_cast<uint32_t>(file_size);
    owned = 1;
  }
  int16_t frames = 0;
  if (size >= 20) frames = static_cast<int16_t>(ReadLE16(data + 18));
  if (frames < 0) frames = 0;

  AnimResource* record = nullptr;
  if (MemAlloc(&record, sizeof(AnimResource) + sizeof(uint32_t) * frames) != 0) {
    if (owned) FreeWholeFile(&data);
    return kErrNoMemory;
  }
  record->data = data;
  record->size = size;
  record->owned = owned;
  record->offsets = reinterpret_cast<uint32_t*>(record + 1);
  record->count = IndexFrames(data, size, record->offsets, frames);
  *slot = record;
  return 0;
}

void FreeAnimResource(AnimResource** slot) {
  if (slot == nullptr || *slot == nullptr) return;
  AnimResource* record = *slot;
  if (record->owned && record->data != nullptr) FreeWholeFile(&record->data);
  MemFree(slot);
}

int16_t DrawGlyph(const Surface* surface, const ClipRect* clip, int16_t x, int16_t y,
                  uint16_t draw_flags, const AnimResource* resource, int16_t index, uint8_t tint,
                  uint8_t fill_colour) {
  if (resource == nullptr || resource->data == nullptr || index < 0 || index >= resource->count)
    return kErrBadIndex;
  // A frame without a sound object has nothing that could be drawn.
  const uint32_t o = resource->offsets[index];
  if (o == 0) return kErrBadIndex;
  const uint8_t* frame = resource->data + o;
  DrawObject(surface, clip, x, y, draw_flags, frame + kGlyphPayloadOffset,
             ReadBE32(frame + kGlyphSizeOffset), tint, fill_colour);
  return 0;
}

bool HasGlyph(const Font* font, uint8_t code) {
  if (font == nullptr || font->resource == nullptr) return false;
  return code < font->resource->count && font->resource->offsets[code] != 0;
}

uint16_t GlyphWidth(const Font* font, uint8_t code) {
  if (!HasGlyph(font, code)) return 0;
  return ReadLE16(font->resource->data + font->resource->offsets[code] + kGlyphPayloadOffset + 6);
}

uint16_t GlyphHeight(const Font* font, uint8_t code) {
  if (!HasGlyph(font, code)) return 0;
  return ReadLE16(font->resource->data + font->resource->offsets[code] + kGlyphPayloadOffset + 8);
}

int16_t LoadFont(Font** slot, const char* name, uint16_t number) {
  Font* font = nullptr;
  if (MemAlloc(&font, sizeof(Font)) != 0) return kErrNoMemory;
  font->resource = nullptr;
  const int16_t result = LoadAnimResource(&font->resource, name);
  if (result != 0) {
    RecordError("Cannot open resource %s.", name);
    MemFree(&font);
    *slot = nullptr;
    return result;
  }
  font->next = font->previous = font;
  font->height = HasGlyph(font, 72) ? static_cast<int16_t>(GlyphHeight(font, 72)) : 4;
  font->number = number;
  *slot = font;
  return 0;
}

int16_t LoadFonts(Font** slot, int count, const char* const* names) {
  if (slot == nullptr) {
    slot = &g_default_font;
    FreeFonts(slot);
  }
  if (count < 1 || names == nullptr) return kErrBadIndex;
  int16_t result = LoadFont(slot, names[0], 0);
  if (result != 0) return result;
  Font* anchor = *slot;
  for (int i = 1; i < count; ++i) {
    Font* added = nullptr;
    result = LoadFont(&added, names[i], static_cast<uint16_t>(i));
    if (result == 0) {
      added->previous = anchor;
      added->next = anchor->next;
      anchor->next->previous = added;
      anchor->next = added;
    }
  }
  if (result != 0) {
    FreeFonts(slot);
    return result;
  }
  return 0;
}

void FreeFont(Font** slot) {
  if (slot == nullptr || *slot == nullptr) return;
  FreeAnimResource(&(*slot)->resource);
  MemFree(slot);
}

void FreeFonts(Font** slot) {
  if (slot == nullptr) slot = &g_default_font;
  Font* anchor = *slot;
  if (anchor == nullptr) return;
  while (anchor->previous != anchor) {
    Font* f = anchor->previous;
    f->next->previous = f->previous;
    f->previous->next = f->next;
    FreeFont(&f);
  }
  FreeFont(slot);
}

Font* SelectFont(Font* current, int wanted) {
  if (current == nullptr) return nullptr;
  Font* anchor = RingAnchor(current);
  if (wanted == 0) return anchor;
  for (Font* f = anchor->previous; f != nullptr && f != anchor; f = f->previous) {
    if (f->number == wanted) return f;
    if (f->number == 0) break;
  }
  return anchor;
}
