#include "authoring/nut.h"

#include <cstdio>

namespace authoring {
namespace {

using Bytes = std::vector<uint8_t>;

void Le16(Bytes& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void Be32(Bytes& b, uint32_t v) {
  for (int i = 3; i >= 0; --i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Tag(Bytes& b, const char* tag) { b.insert(b.end(), tag, tag + 4); }
void SetBe32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * (3 - i)));
}

constexpr uint16_t kHeaderVersion = 2;
constexpr size_t kHeaderBytes = 794;

}  // namespace

GlyphBitmap GlyphFromRows(const std::vector<std::string>& rows, int16_t x, int16_t y) {
  GlyphBitmap g;
  g.x = x;
  g.y = y;
  g.height = static_cast<uint16_t>(rows.size());
  g.width = rows.empty() ? 0 : static_cast<uint16_t>(rows[0].size());
  for (const std::string& row : rows) {
    for (size_t k = 0; k < g.width; ++k) {
      const char c = k < row.size() ? row[k] : '.';
      g.pixels.push_back(c == '#' ? 1 : (c >= '0' && c <= '9') ? static_cast<uint8_t>(c - '0') : 0);
    }
  }
  return g;
}

std::vector<uint8_t> EncodeGlyphObject(const GlyphBitmap& glyph, uint8_t codec) {
  Bytes b;
  b.push_back(codec);
  b.push_back(0);
  Le16(b, static_cast<uint16_t>(glyph.x));
  Le16(b, static_cast<uint16_t>(glyph.y));
  Le16(b, glyph.width);
  Le16(b, glyph.height);
  Le16(b, 0);
  Le16(b, 0);
  // Each line: its length, then skip / count-1 / literal fields alternating,
  // starting with a skip, until the width is covered.
  for (size_t r = 0; r < glyph.height; ++r) {
    const uint8_t* row = glyph.pixels.data() + r * glyph.width;
    Bytes line;
    size_t k = 0;
    while (k < glyph.width) {
      size_t skip = 0;
      while (k + skip < glyph.width && row[k + skip] == 0) ++skip;
      Le16(line, static_cast<uint16_t>(skip));
      k += skip;
      if (k >= glyph.width) break;
      size_t count = 0;
      while (k + count < glyph.width && row[k + count] != 0) ++count;
      Le16(line, static_cast<uint16_t>(count - 1));
      line.insert(line.end(), row + k, row + k + count);
      k += count;
    }
    Le16(b, static_cast<uint16_t>(line.size()));
    b.insert(b.end(), line.begin(), line.end());
  }
  return b;
}

std::vector<uint8_t> BuildNutFont(const std::vector<std::optional<GlyphBitmap>>& glyphs) {
  Bytes b;
  Tag(b, "ANIM");
  Be32(b, 0);
  Tag(b, "AHDR");
  Be32(b, kHeaderBytes);
  const size_t header = b.size();
  b.resize(header + kHeaderBytes, 0);
  b[header] = static_cast<uint8_t>(kHeaderVersion);
  b[header + 2] = static_cast<uint8_t>(glyphs.size());
  b[header + 3] = static_cast<uint8_t>(glyphs.size() >> 8);
  for (const auto& glyph : glyphs) {
    Bytes frame;
    if (glyph) {
      const Bytes object = EncodeGlyphObject(*glyph);
      Tag(frame, "FOBJ");
      Be32(frame, static_cast<uint32_t>(object.size()));
      frame.insert(frame.end(), object.begin(), object.end());
      if (object.size() % 2) frame.push_back(0);
    }
    Tag(b, "FRME");
    Be32(b, static_cast<uint32_t>(frame.size()));
    b.insert(b.end(), frame.begin(), frame.end());
  }
  SetBe32(b, 4, static_cast<uint32_t>(b.size() - 8));
  return b;
}

bool WriteNutFont(const std::string& path, const std::vector<std::optional<GlyphBitmap>>& glyphs) {
  const Bytes data = BuildNutFont(glyphs);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = data.empty() || std::fwrite(data.data(), 1, data.size(), f) == data.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace authoring
