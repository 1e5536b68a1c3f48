// santool: inspect and export ".san" animation files.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "santool/santool.h"

namespace {

constexpr const char* kVersion = "santool 0.1.0";

// What a command printed must reach its reader: a full disk behind standard
// output fails the run like any other output.
int Finish(int status) {
  const bool flushed = std::fflush(stdout) == 0;
  if (flushed && !std::ferror(stdout)) return status;
  // The reason is known when this flush failed, not after an earlier one.
  std::fprintf(stderr, "santool: standard output: cannot write%s%s\n", flushed ? "" : ": ",
               flushed ? "" : std::strerror(errno));
  return status == 0 ? 1 : status;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Inspects, exports, checks and builds \".san\" animation files, fonts and strings.",
               "santool"};
  app.set_version_flag("--version", kVersion);
  app.require_subcommand(1);
  app.fallthrough();  // --version after a command too
  app.footer(
      "Statuses: 0 success; 1 the work was not done (a file could not be read or\n"
      "written, is damaged or failed verification); 2 a command-line error.\n"
      "The file layouts: docs/format.md; the manual: man santool.\n");

  ExportOptions export_options;
  CLI::App* exporter = app.add_subcommand(
      "export", "Writes every frame of FILE as an indexed PNG, and the sound as a WAV");
  exporter->add_option("file", export_options.file, "the .san file")->required();
  exporter
      ->add_option("--frames", export_options.frames,
                   "folder for the pictures, made when missing; pictures frame_NNNNN.png "
                   "that an earlier run left there are removed first")
      ->required();
  exporter->add_option("--audio", export_options.audio, "WAV file for what the sound card played");
  exporter->add_option("--trace", export_options.trace,
                       "the presentation trace as JSON lines (see santool trace)");
  exporter->add_option("--strings", export_options.strings, "the .TRS string file");
  exporter
      ->add_option("--fonts", export_options.fonts, "the .NUT fonts, comma-separated, font 0 first")
      ->delimiter(',')
      ->allow_extra_args(false);
  exporter->add_option("--from", export_options.from, "first frame written (as info numbers them)")
      ->check(CLI::NonNegativeNumber);
  exporter->add_option("--to", export_options.to, "last frame written")
      ->check(CLI::NonNegativeNumber);
  exporter->add_option("--scale", export_options.scale, "pictures enlarged N times, nearest pixel")
      ->check(CLI::Range(1, 8));
  exporter->footer(
      "FILE is played on the real engines under a virtual clock. Inputs and outputs\n"
      "are checked before anything is written; an output that is one of the inputs\n"
      "is refused. Frames before --from are still played (the codecs draw on what\n"
      "came before), only not written.\n");

  InfoOptions info_options;
  CLI::App* info = app.add_subcommand(
      "info", "Reports the structure and damage (with file offsets) of each FILE");
  info->add_option("file", info_options.files, "the .san files")->required();
  info->add_flag("--json", info_options.json, "one JSON object per file and line");
  info->add_flag("--frames", info_options.frames, "list every frame and its chunks");
  info->footer("The chunks and codecs named here: see docs/format.md#chunks.\n");

  ChkOptions chk_options;
  CLI::App* chk = app.add_subcommand(
      "chk", "Writes the checksum file (name up to the first dot, then .CHK) beside each FILE");
  chk->add_option("file", chk_options.files, "the data files")->required();
  chk->footer("The layout: see docs/format.md#checksum-files.\n");

  VerifyOptions verify_options;
  CLI::App* verify = app.add_subcommand(
      "verify", "Checks each FILE against its .CHK as the player does; names every bad sector");
  verify->add_option("file", verify_options.files, "the data files")->required();
  verify->add_flag("--json", verify_options.json, "one JSON object per file and line");
  verify->footer(
      "Status 1 when a sector is bad or the checksum file is missing, of the wrong\n"
      "size or does not add up. See docs/format.md#checksum-files.\n");

  FontOptions font_options;
  CLI::App* font = app.add_subcommand("font", "Writes a .NUT font from a console (PSF) or BDF font");
  font->add_option("file", font_options.file, "FONT.psf, FONT.psf.gz or FONT.bdf")->required();
  font->add_option("-o,--output", font_options.output, "the .NUT font to write")->required();
  auto code = [](const std::string& text) {  // a number, else one character
    int value = -1;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec == std::errc() && end == text.data() + text.size()) return value;
    return text.size() == 1 ? static_cast<int>(static_cast<unsigned char>(text[0])) : -1;
  };
  font->add_option_function<std::string>(
          "--first", [&](const std::string& t) { font_options.first = code(t); },
          "first character code written: a number, or a character that is not a digit (default 32)");
  font->add_option_function<std::string>(
          "--last", [&](const std::string& t) { font_options.last = code(t); },
          "last character code written (default 255)");
  font->footer(
      "Codes are Latin-1: code C gets the glyph the font gives the Unicode character\n"
      "of that number (U+0000 to U+00FF), or glyph number C in a font without a\n"
      "Unicode table. Ink is pixel value 1 (drawn in the text colour); each glyph\n"
      "is as high as the font's cell and as wide as its advance.\n");

  StringsOptions strings_options;
  CLI::App* strings = app.add_subcommand(
      "strings", "Writes a .TRS string file from a text file, or with --dump the reverse");
  strings->add_option("file", strings_options.file, "TEXT (or F.TRS with --dump)")->required();
  CLI::Option* strings_output =
      strings->add_option("-o,--output", strings_options.output, "the .TRS file to write");
  CLI::Option* scramble =
      strings->add_flag("--scramble", strings_options.scramble, "write the file scrambled");
  strings->add_flag("--dump", strings_options.dump, "write the strings of F.TRS to stdout as text")
      ->excludes(strings_output)
      ->excludes(scramble);
  strings->footer(kStringsFormatHelp);
  BuildOptions build_options;
  CLI::App* builder = app.add_subcommand(
      "build", "Makes a .san file from a scene file: pictures, palettes, sprites, sounds, text");
  builder->add_option("scene", build_options.scene, "the scene file (JSON, see docs/scene-format.md)")
      ->required();
  builder->add_option("-o,--output", build_options.output, "the .san file to write")->required();
  builder->add_option("--pictures-out", build_options.quantised,
                      "folder for the full pictures frame_NNNNN.png as the player shows them, made "
                      "when missing; those that an earlier run left there are removed first");
  builder->footer(
      "Names in the scene are relative to its folder. Every field and file is checked\n"
      "before anything is written. The fields: see docs/scene-format.md.\n");

  TraceOptions trace_options;
  CLI::App* tracer = app.add_subcommand(
      "trace", "Summarises the timing of a player's --trace FILE, per file played");
  tracer
      ->add_option("file", trace_options.file,
                   "the JSON lines of morvane-demos --trace or santool export --trace; a pipe "
                   "such as /dev/stdin too")
      ->required();
  tracer->footer("The trace lines and the figures: see docs/timing.md.\n");

  // "santool help [COMMAND]" is "santool [COMMAND] --help".
  std::vector<std::string> words(argv + 1, argv + argc);
  if (!words.empty() && words[0] == "help") {
    words.erase(words.begin());
    words.push_back("--help");
  }
  std::reverse(words.begin(), words.end());  // CLI11 takes the words last first
  // Help and version on stdout with status 0, errors on stderr with status 2.
  try {
    app.parse(words);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "santool: %s\nTry 'santool --help' for more information.\n", e.what());
    return 2;
  }
  if (font->parsed()) {
    const int first = font_options.first, last = font_options.last;
    if (first < 0 || last > 255 || first > last) {
      std::fprintf(stderr, "santool: --first and --last must be codes 0 to 255, first <= last\n");
      return 2;
    }
    return Finish(RunFont(font_options));
  }
  if (strings->parsed()) {
    if (!strings_options.dump && strings_options.output.empty()) {
      std::fprintf(stderr, "santool: strings needs -o OUT.TRS, or --dump\n");
      return 2;
    }
    return Finish(RunStrings(strings_options));
  }
  if (exporter->parsed()) return Finish(RunExport(export_options));
  if (builder->parsed()) return Finish(RunBuild(build_options));
  if (chk->parsed()) return Finish(RunChk(chk_options));
  if (verify->parsed()) return Finish(RunVerify(verify_options));
  if (tracer->parsed()) return Finish(RunTrace(trace_options));
  return Finish(RunInfo(info_options));
}
