// Turns an 8 x 16 console font (.psf or .psf.gz, either version) into the C++
// table of printable ASCII that the SDL backend draws its text with:
//   make_glyphs FONT OUT.cc
// Each character is found through the font's Unicode table when it has one,
// by its position otherwise. Exits 1 with a message on any problem.
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

int Fail(const std::string& message) {
  std::fprintf(stderr, "make_glyphs: %s\n", message.c_str());
  return 1;
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// Code points to glyph numbers from the Unicode table that follows the glyphs.
std::map<uint32_t, uint32_t> UnicodeTable(const std::vector<uint8_t>& b, size_t at, uint32_t glyphs,
                                          bool psf2) {
  std::map<uint32_t, uint32_t> table;
  uint32_t glyph = 0;
  bool sequence = false;  // code points after a sequence mark name ligatures: skipped
  while (at < b.size() && glyph < glyphs) {
    if (psf2) {
      const uint8_t c = b[at];
      if (c == 0xFF) {
        ++glyph, ++at, sequence = false;
        continue;
      }
      if (c == 0xFE) {
        ++at, sequence = true;
        continue;
      }
      // UTF-8.
      int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
      uint32_t code = extra == 0 ? c : c & (0x3F >> extra);
      ++at;
      for (int i = 0; i < extra && at < b.size(); ++i, ++at) code = code << 6 | (b[at] & 0x3F);
      if (!sequence) table.emplace(code, glyph);
    } else {
      if (at + 1 >= b.size()) break;
      const uint32_t code = b[at] | b[at + 1] << 8;
      at += 2;
      if (code == 0xFFFF) {
        ++glyph, sequence = false;
      } else if (code == 0xFFFE) {
        sequence = true;
      } else if (!sequence) {
        table.emplace(code, glyph);
      }
    }
  }
  return table;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return Fail("usage: make_glyphs FONT.psf[.gz] OUT.cc");
  gzFile in = gzopen(argv[1], "rb");  // reads plain files as they are
  if (in == nullptr) return Fail(std::string("cannot open ") + argv[1]);
  std::vector<uint8_t> b;
  uint8_t buffer[8192];
  for (int n; (n = gzread(in, buffer, sizeof(buffer))) > 0;) b.insert(b.end(), buffer, buffer + n);
  gzclose(in);

  uint32_t glyphs = 0, bytes_per_glyph = 0, width = 8, height = 0;
  size_t start = 0;
  bool unicode = false, psf2 = false;
  if (b.size() >= 4 && b[0] == 0x36 && b[1] == 0x04) {
    glyphs = (b[2] & 1) ? 512 : 256;
    unicode = (b[2] & 6) != 0;
    bytes_per_glyph = height = b[3];
    start = 4;
  } else if (b.size() >= 32 && Le32(b, 0) == 0x864AB572u) {
    psf2 = true;
    start = Le32(b, 8);
    unicode = (Le32(b, 12) & 1) != 0;
    glyphs = Le32(b, 16);
    bytes_per_glyph = Le32(b, 20);
    height = Le32(b, 24);
    width = Le32(b, 28);
  } else {
    return Fail(std::string(argv[1]) + " is not a console font");
  }
  if (width != 8 || height != 16 || bytes_per_glyph != 16)
    return Fail(std::string(argv[1]) + ": only 8 x 16 fonts are taken");
  const size_t table_at = start + static_cast<size_t>(glyphs) * bytes_per_glyph;
  if (table_at > b.size()) return Fail(std::string(argv[1]) + " is cut short");
  const std::map<uint32_t, uint32_t> table =
      unicode ? UnicodeTable(b, table_at, glyphs, psf2) : std::map<uint32_t, uint32_t>{};

  std::string out =
      "// Generated at build time by make_glyphs from the console font\n// " + std::string(argv[1]) +
      ": do not edit.\n#include \"platform/sdl/glyphs.h\"\n\nnamespace platform::sdl {\n\n"
      "const uint8_t kGlyphRows[kGlyphCount][kGlyphHeight] = {\n";
  for (uint32_t code = 0x20; code <= 0x7E; ++code) {
    uint32_t glyph = code;
    if (unicode) {
      auto it = table.find(code);
      if (it == table.end()) return Fail(std::string(argv[1]) + " has no glyph for " + std::to_string(code));
      glyph = it->second;
    }
    const uint8_t* rows = b.data() + start + static_cast<size_t>(glyph) * bytes_per_glyph;
    out += "    {";
    for (int r = 0; r < 16; ++r) {
      char hex[8];
      std::snprintf(hex, sizeof(hex), "0x%02X%s", rows[r], r < 15 ? ", " : "");
      out += hex;
    }
    out += code == '\\' ? "},  // backslash\n" : std::string("},  // ") + static_cast<char>(code) + "\n";
  }
  out += "};\n\n}  // namespace platform::sdl\n";
  std::ofstream file(argv[2], std::ios::binary | std::ios::trunc);
  file << out;
  file.close();
  if (!file) return Fail(std::string("cannot write ") + argv[2]);
  return 0;
}
