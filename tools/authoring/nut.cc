#include "authoring/nut.h"

#include <cstdio>

#include "authoring/bytes.h"
#include "authoring/codecs.h"

namespace authoring {
namespace {

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
  return EncodeSkipLiteral(codec, glyph.x, glyph.y, glyph.width, glyph.height, glyph.pixels.data(),
                           glyph.width);
}

std::vector<uint8_t> BuildNutFont(const std::vector<std::optional<GlyphBitmap>>& glyphs) {
  Bytes b;
  PutTag(b, "ANIM");
  PutBE32(b, 0);
  PutTag(b, "AHDR");
  PutBE32(b, kHeaderBytes);
  const size_t header = b.size();
  b.resize(header + kHeaderBytes, 0);
  b[header] = static_cast<uint8_t>(kHeaderVersion);
  b[header + 2] = static_cast<uint8_t>(glyphs.size());
  b[header + 3] = static_cast<uint8_t>(glyphs.size() >> 8);
  for (const auto& glyph : glyphs) {
    Bytes frame;
    if (glyph) {
      const Bytes object = EncodeGlyphObject(*glyph);
      PutTag(frame, "FOBJ");
      PutBE32(frame, static_cast<uint32_t>(object.size()));
      frame.insert(frame.end(), object.begin(), object.end());
      if (object.size() % 2) frame.push_back(0);
    }
    PutTag(b, "FRME");
    PutBE32(b, static_cast<uint32_t>(frame.size()));
    b.insert(b.end(), frame.begin(), frame.end());
  }
  SetBE32(b, 4, static_cast<uint32_t>(b.size() - 8));
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
