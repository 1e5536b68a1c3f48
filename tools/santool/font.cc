// santool font: console (PSF) and BDF text fonts into ".NUT" fonts, the
// codes from --first to --last.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "authoring/fontfile.h"
#include "authoring/nut.h"
#include "imageio/output.h"
#include "platform/files.h"
#include "santool/santool.h"
#include "santool/scan.h"

namespace {

int Fail(const std::string& message) {
  std::fprintf(stderr, "santool: %s\n", message.c_str());
  return 1;
}

}  // namespace

int RunFont(const FontOptions& options) {
  std::string error = santool::CheckInput(options.file);
  if (!error.empty()) return Fail(error);
  const std::string host = platform::ResolvePath(options.file.c_str());
  imageio::IoResult checked = imageio::CheckOutput(options.output, {host});
  if (!checked) return Fail(checked.message);
  authoring::TextFontGlyphs glyphs;
  std::string why;
  if (!authoring::ReadTextFont(host, &glyphs, &why)) return Fail(options.file + ": " + why);

  std::vector<std::optional<authoring::GlyphBitmap>> font(size_t(options.last) + 1);
  int written = 0;
  for (int c = options.first; c <= options.last; ++c) {
    auto it = glyphs.find(c);
    if (it != glyphs.end()) font[size_t(c)] = it->second, ++written;
  }
  if (written == 0)
    return Fail(options.file + ": no glyph for codes " + std::to_string(options.first) + " to " +
                std::to_string(options.last));
  const std::vector<uint8_t> nut = authoring::BuildNutFont(font);
  imageio::OutputFile out(options.output);
  out.Write(nut.data(), nut.size());
  imageio::IoResult r = out.Commit();
  if (!r) return Fail(r.message);
  std::printf("%d glyphs written to %s\n", written, options.output.c_str());
  return 0;
}
