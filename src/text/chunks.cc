#include "text/chunks.h"

#include <cstring>

#include "base/bytes.h"
#include "text/block.h"
#include "text/resource.h"

namespace {

constexpr uint32_t kTextOffset = 16;
char g_chunk_text[kTextMaxCharacters + 2];


void DrawChunk(const Surface* bitmap, const ClipRect* clip, const TextChunk& chunk,
               uint8_t colour) {
  DrawText(kDefaultFont, bitmap, clip, chunk.x, chunk.y, colour, 0, chunk.flags, chunk.text);
}

}  // namespace

bool ReadTextChunk(uint32_t tag, const uint8_t* payload, uint32_t size, TextChunk* chunk) {
  if (payload == nullptr || chunk == nullptr) return false;
  if (tag != kTagTEXT && tag != kTagTRES) return false;
  const uint32_t needed = tag == kTagTEXT ? kTextOffset : kTextOffset + 2;
  if (size < needed) return false;
  chunk->x = ReadLE16s(payload);
  chunk->y = ReadLE16s(payload + 2);
  chunk->flags = static_cast<uint16_t>(ReadLE16s(payload + 4));
  chunk->rect = {0, 0, 0, 0};
  if (chunk->flags & kTextWrap) {
    chunk->rect = {ReadLE16s(payload + 6), ReadLE16s(payload + 8), ReadLE16s(payload + 10),
                   ReadLE16s(payload + 12)};
  }
  if (tag == kTagTRES) {
    chunk->text = GetText(nullptr, ReadLE16s(payload + kTextOffset));
    return chunk->text != nullptr;
  }
  const char* text = reinterpret_cast<const char*>(payload + kTextOffset);
  const uint32_t room = size - kTextOffset;
  if (std::memchr(text, 0, room) != nullptr) {
    chunk->text = text;
  } else {
    // One character more than a block holds, so an over-long text keeps
    // behaving as one.
    const uint32_t n = room < kTextMaxCharacters + 1 ? room : kTextMaxCharacters + 1;
    std::memcpy(g_chunk_text, text, n);
    g_chunk_text[n] = 0;
    chunk->text = g_chunk_text;
  }
  return true;
}

void DrawTextChunk(const Surface* bitmap, const ClipRect* clip, uint32_t tag,
                   const uint8_t* payload, uint32_t size) {
  TextChunk chunk;
  if (bitmap == nullptr || !ReadTextChunk(tag, payload, size, &chunk)) return;
  if (!(chunk.flags & kTextWrap)) {
    DrawChunk(bitmap, clip, chunk, 15);
    return;
  }
  int cl = 0, ct = 0, cw = bitmap->width, ch = bitmap->height;
  if (clip != nullptr) {
    cl = clip->left;
    ct = clip->top;
    cw = clip->width;
    ch = clip->height;
  }
  int left = chunk.rect.left, top = chunk.rect.top;
  int width = chunk.rect.width, height = chunk.rect.height;
  if (left < cl) {
    width -= cl - left;
    left = cl;
  }
  if (left + width > cl + cw) width = cl + cw - left;
  if (top < ct) {
    height -= ct - top;
    top = ct;
  }
  if (top + height > ct + ch) height = ct + ch - top;
  if (width <= 0 || height <= 0) return;
  const ClipRect r = {static_cast<int16_t>(left), static_cast<int16_t>(top),
                      static_cast<int16_t>(width), static_cast<int16_t>(height)};
  DrawChunk(bitmap, &r, chunk, 15);
}

void DrawSessionTextChunk(const Surface* bitmap, const ClipRect* clip, uint32_t tag,
                          const uint8_t* payload, uint32_t size) {
  TextChunk chunk;
  if (bitmap == nullptr || !ReadTextChunk(tag, payload, size, &chunk)) return;
  if (!(chunk.flags & kTextWrap)) {
    DrawChunk(bitmap, clip, chunk, 1);
    return;
  }
  int left = chunk.rect.left, top = chunk.rect.top;
  int width = chunk.rect.width, height = chunk.rect.height;
  if (left < 16) left = 16;
  if (top < 16) top = 16;
  if (left + width > 304) width = 304 - left;
  if (top + height > 196) height = 196 - top;
  if (width < 1 || height < 1) return;
  const ClipRect r = {static_cast<int16_t>(left), static_cast<int16_t>(top),
                      static_cast<int16_t>(width), static_cast<int16_t>(height)};
  DrawChunk(bitmap, &r, chunk, 1);
}
