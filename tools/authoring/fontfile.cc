#include "authoring/fontfile.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <sstream>
#include <vector>

#include "base/bytes.h"

namespace authoring {
namespace {

constexpr size_t kLargestFont = 64u << 20;

// The whole file, unpacked when it is gzip-compressed.
bool ReadFont(const std::string& path, std::vector<uint8_t>* out, std::string* why) {
  gzFile f = gzopen(path.c_str(), "rb");
  if (f == nullptr) {
    *why = "cannot be opened";
    return false;
  }
  uint8_t buffer[65536];
  int n;
  while ((n = gzread(f, buffer, sizeof buffer)) > 0) {
    out->insert(out->end(), buffer, buffer + n);
    if (out->size() > kLargestFont) {
      gzclose(f);
      *why = "is too large for a font";
      return false;
    }
  }
  int error = Z_OK;
  const char* message = n < 0 ? gzerror(f, &error) : nullptr;
  gzclose(f);
  if (n < 0) {
    *why = std::string("cannot be read (") + message + ")";
    return false;
  }
  return true;
}

// A glyph of `width` x `height` from rows of `row_bytes` bytes, leftmost
// pixel in the highest bit.
GlyphBitmap FromBits(const uint8_t* bits, int width, int height, int row_bytes) {
  GlyphBitmap g;
  g.width = static_cast<uint16_t>(width);
  g.height = static_cast<uint16_t>(height);
  g.pixels.resize(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      g.pixels[static_cast<size_t>(y) * width + x] = (bits[y * row_bytes + x / 8] >> (7 - x % 8)) & 1;
  return g;
}

// Console fonts. The Unicode table, when there is one, names per glyph the
// characters it draws; sequences of several characters are passed over.
bool ReadPsf(const std::vector<uint8_t>& d, TextFontGlyphs* glyphs, std::string* why) {
  uint32_t count, header, height, width, bytes_per_glyph;
  bool has_table;
  bool version2 = d.size() >= 32 && ReadLE32(d.data()) == 0x864AB572u;
  if (version2) {
    header = ReadLE32(&d[8]);
    has_table = ReadLE32(&d[12]) & 1;
    count = ReadLE32(&d[16]);
    bytes_per_glyph = ReadLE32(&d[20]);
    height = ReadLE32(&d[24]);
    width = ReadLE32(&d[28]);
  } else {
    header = 4;
    has_table = d[2] & 0x06;
    count = (d[2] & 1) ? 512 : 256;
    height = bytes_per_glyph = d[3];
    width = 8;
  }
  const uint32_t row_bytes = (width + 7) / 8;
  if (width == 0 || height == 0 || width > 255 || height > 255 || count == 0 || count > 65536 ||
      bytes_per_glyph < row_bytes * height || header > d.size() ||
      (d.size() - header) / bytes_per_glyph < count) {
    *why = "is a damaged console font (its glyphs do not fit its header or the file)";
    return false;
  }
  auto glyph = [&](uint32_t index) {
    return FromBits(&d[header + size_t{index} * bytes_per_glyph], int(width), int(height), int(row_bytes));
  };
  if (!has_table) {
    for (uint32_t c = 0; c < std::min<uint32_t>(count, 256); ++c) (*glyphs)[int(c)] = glyph(c);
    return true;
  }
  size_t p = header + size_t{count} * bytes_per_glyph;
  for (uint32_t index = 0; index < count && p < d.size(); ++index) {
    bool sequence = false;
    while (p < d.size()) {
      uint32_t code;
      if (version2) {
        const uint8_t b = d[p];
        if (b == 0xFF) { ++p; break; }
        if (b == 0xFE) { sequence = true; ++p; continue; }
        const int extra = b < 0x80 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3;
        code = extra == 0 ? b : b & (0x3F >> extra);
        ++p;
        for (int k = 0; k < extra && p < d.size(); ++k) code = (code << 6) | (d[p++] & 0x3F);
      } else {
        if (p + 1 >= d.size()) { p = d.size(); break; }
        code = ReadLE16(&d[p]);
        p += 2;
        if (code == 0xFFFF) break;
        if (code == 0xFFFE) { sequence = true; continue; }
      }
      if (!sequence && code < 256 && !glyphs->count(int(code))) (*glyphs)[int(code)] = glyph(index);
    }
  }
  return true;
}

// BDF text fonts: every glyph is placed in a cell of the font's ascent plus
// descent, at its advance width; ink outside the cell is cut off.
bool ReadBdf(const std::vector<uint8_t>& d, TextFontGlyphs* glyphs, std::string* why) {
  std::istringstream in(std::string(d.begin(), d.end()));
  std::string line;
  int ascent = -1, descent = -1, box_h = 0, box_y = 0, line_number = 0;
  int code = -1, advance = -1, w = 0, h = 0, xo = 0, yo = 0, rows_left = -1;
  GlyphBitmap g;
  auto bad = [&](const std::string& what) {
    *why = "line " + std::to_string(line_number) + ": " + what;
    return false;
  };
  while (std::getline(in, line)) {
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream words(line);
    std::string key;
    words >> key;
    if (rows_left > 0) {
      const int row = h - rows_left--;
      const int y = ascent - (yo + h) + row;
      if (key.size() < size_t((w + 7) / 8) * 2) return bad("a bitmap row shorter than its glyph");
      for (int x = 0; x < w; ++x) {
        const char c = key[size_t(x / 4)];
        const int nibble = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10
                           : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (nibble < 0) return bad("a bitmap row that is not hexadecimal");
        const int cx = xo + x;
        if ((nibble >> (3 - x % 4)) & 1 && cx >= 0 && cx < g.width && y >= 0 && y < g.height)
          g.pixels[size_t(y) * g.width + cx] = 1;
      }
      continue;
    }
    if (key == "FONTBOUNDINGBOX") {
      int bw;
      words >> bw >> box_h >> bw >> box_y;
    } else if (key == "FONT_ASCENT") {
      words >> ascent;
    } else if (key == "FONT_DESCENT") {
      words >> descent;
    } else if (key == "STARTCHAR") {
      code = -1, advance = -1, w = h = xo = yo = 0;
    } else if (key == "ENCODING") {
      words >> code;
    } else if (key == "DWIDTH") {
      words >> advance;
    } else if (key == "BBX") {
      words >> w >> h >> xo >> yo;
    } else if (key == "BITMAP") {
      if (ascent < 0) ascent = box_h + box_y;
      if (descent < 0) descent = -box_y;
      if (ascent + descent <= 0 || ascent + descent > 255) return bad("no usable cell height");
      if (w < 0 || h < 0 || w > 255 || h > 255) return bad("a glyph box out of range");
      g = {};
      g.width = static_cast<uint16_t>(std::clamp(advance < 0 ? w : advance, 0, 255));
      g.height = static_cast<uint16_t>(ascent + descent);
      g.pixels.assign(size_t(g.width) * g.height, 0);
      rows_left = h;
    } else if (key == "ENDCHAR") {
      if (rows_left != 0) return bad("ENDCHAR without a whole bitmap");
      if (code >= 0 && code < 256) (*glyphs)[code] = g;
      rows_left = -1;
    }
  }
  if (rows_left >= 0) return bad("the last glyph has no ENDCHAR");
  if (glyphs->empty()) {
    *why = "has no glyph for codes 0 to 255";
    return false;
  }
  return true;
}

}  // namespace

bool ReadTextFont(const std::string& path, TextFontGlyphs* glyphs, std::string* why) {
  std::vector<uint8_t> data;
  if (!ReadFont(path, &data, why)) return false;
  if (data.size() >= 4 && (ReadLE32(data.data()) == 0x864AB572u || (data[0] == 0x36 && data[1] == 0x04)))
    return ReadPsf(data, glyphs, why);
  if (data.size() >= 9 && std::memcmp(data.data(), "STARTFONT", 9) == 0) return ReadBdf(data, glyphs, why);
  *why = "is neither a console (PSF) font nor a BDF font";
  return false;
}

}  // namespace authoring
