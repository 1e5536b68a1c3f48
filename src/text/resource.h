// ".TRS" string files: numbered strings behind "#" marker lines, plain or
// scrambled behind an "ETRS" header, cut in place into zero-terminated texts.
#pragma once

#include <cstdint>

// Every byte after the 16-byte header of a scrambled file is XOR-ed with this.
constexpr uint8_t kTextScrambleKey = 0xA7;
constexpr uint32_t kTextScrambleHeaderSize = 16;

struct TextResource {
  uint8_t* data;         // the file image, unscrambled and cut into strings
  uint32_t header_size;  // 16 for a scrambled file, else 0
  int16_t count;         // highest string number + 1
  uint32_t* offsets;     // per string number: start relative to the body, 0 = none
};

// slot null: the default text slot, emptied first. 0, -101 or -103.
int16_t LoadTextResource(TextResource** slot, const char* name);
void FreeTextResource(TextResource** slot);
// resource null: the default one. The string, or null.
const char* GetText(const TextResource* resource, int16_t number);
TextResource* DefaultTextResource();

// Highest string number + 1 (1 without markers).
int16_t CountTextEntries(const uint8_t* body, uint32_t length);
// Cuts the body in place and fills offsets[0 .. count - 1] (zeroed by the caller).
void IndexTextEntries(uint8_t* body, uint32_t length, uint32_t* offsets, int16_t count);
