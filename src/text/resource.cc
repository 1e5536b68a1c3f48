#include "text/resource.h"

#include <cstring>

#include "base/log.h"
#include "base/mem.h"

namespace {

TextResource* g_default_text = nullptr;

constexpr uint8_t kLF = 10;
constexpr uint8_t kCR = 13;

bool IsLineEnd(uint8_t c) { return c == kLF || c == kCR; }
bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }

// The number a marker opens: the first blank, tab or "#" of the marker's line
// directly followed by a numeral introduces it. The opening "#" itself counts
// as such a separator, so «#12» opens string 12 (it may already have been
// cut to 0 by the indexer, hence its position is passed). The search ends at
// the end of the line: a marker line without a number opens no string.
// Numbers above 32766 open nothing, so the count still fits 16 bits.
int MarkerNumber(const uint8_t* body, uint32_t length, uint32_t hash) {
  for (uint32_t q = hash; q + 1 < length; ++q) {
    const uint8_t c = body[q];
    if (q != hash && IsLineEnd(c)) return -1;
    if ((q == hash || c == ' ' || c == '\t' || c == '#') && IsDigit(body[q + 1])) {
      int value = 0;
      for (uint32_t d = q + 1; d < length && IsDigit(body[d]); ++d) {
        value = value * 10 + (body[d] - '0');
        if (value > 32766) return -1;
      }
      return value;
    }
  }
  return -1;
}

}  // namespace

TextResource* DefaultTextResource() { return g_default_text; }

int16_t CountTextEntries(const uint8_t* body, uint32_t length) {
  int highest = 0;
  bool line_start = true;
  for (uint32_t i = 0; i < length; ++i) {
    if (line_start) {
      if (body[i] == '/') ++i;
      if (i < length && body[i] == '/') ++i;
      if (i >= length) break;
      if (body[i] == '#') {
        const int number = MarkerNumber(body, length, i);
        if (number > highest) highest = number;
      }
    }
    line_start = IsLineEnd(body[i]);
  }
  return static_cast<int16_t>(highest + 1);
}

void IndexTextEntries(uint8_t* body, uint32_t length, uint32_t* offsets, int16_t count) {
  if (length == 0) return;
  body[length - 1] = 0;
  int pending = -1;
  bool line_start = true;
  for (uint32_t i = 0; i < length; ++i) {
    if (line_start) {
      if (body[i] == '/') body[i++] = kCR;
      if (i < length && body[i] == '/') body[i++] = kCR;
      if (i >= length) break;
      if (body[i] == '#') {
        pending = MarkerNumber(body, length, i);
        body[i] = 0;  // ends the previous string
        line_start = false;
        continue;
      }
      if (pending >= 0 && pending < count && !IsLineEnd(body[i])) {
        offsets[pending] = i;
        pending = -1;
      }
    }
    line_start = IsLineEnd(body[i]);
  }
}

int16_t LoadTextResource(TextResource** slot, const char* name) {
  if (slot == nullptr) {
    slot = &g_default_text;
    FreeTextResource(slot);
  }
  uint8_t* data = nullptr;
  int32_t size = 0;
  if (LoadWholeFile(&data, &size, name) != 0) {
    RecordError("Cannot open resource %s.", name);
    return kErrCannotOpen;
  }
  const uint32_t file_size = static_cast<uint32_t>(size);
  uint32_t header_size = 0;
  if (file_size >= 4 && std::memcmp(data, "ETRS", 4) == 0) {
    // A scrambled file too short for its header has an empty body.
    header_size = file_size < kTextScrambleHeaderSize ? file_size : kTextScrambleHeaderSize;
    for (uint32_t i = header_size; i < file_size; ++i) data[i] ^= kTextScrambleKey;
  }
  uint8_t* body = data + header_size;
  const uint32_t length = file_size - header_size;
  const int16_t count = CountTextEntries(body, length);

  TextResource* record = nullptr;
  const size_t record_size = sizeof(TextResource) + sizeof(uint32_t) * count;
  if (MemAlloc(&record, record_size) != 0) {
    FreeWholeFile(&data);
    return kErrNoMemory;
  }
  MemFill(record, 0, record_size);
  record->data = data;
  record->header_size = header_size;
  record->count = count;
  record->offsets = reinterpret_cast<uint32_t*>(record + 1);
  IndexTextEntries(body, length, record->offsets, count);

  // The line ends before the next marker belong to no string. Every string
  // ends at the latest at the body's last byte, which indexing made 0.
  for (int i = 0; i < count; ++i) {
    const uint32_t start = record->offsets[i];
    if (start == 0) continue;
    uint8_t* text = body + start;
    size_t n = strnlen(reinterpret_cast<const char*>(text), length - start);
    while (n > 0 && IsLineEnd(text[n - 1])) text[--n] = 0;
  }
  *slot = record;
  return 0;
}

void FreeTextResource(TextResource** slot) {
  if (slot == nullptr) slot = &g_default_text;
  if (*slot == nullptr) return;
  FreeWholeFile(&(*slot)->data);
  MemFree(slot);
}

const char* GetText(const TextResource* resource, int16_t number) {
  if (resource == nullptr) resource = g_default_text;
  if (resource == nullptr || resource->data == nullptr || number < 0 || number >= resource->count)
    return nullptr;
  const uint32_t offset = resource->offsets[number];
  if (offset == 0) return nullptr;
  return reinterpret_cast<const char*>(resource->data + resource->header_size + offset);
}
