// santool: inspect and export ".san" animation files.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "santool/santool.h"

namespace {

constexpr const char* kVersion = "santool 0.1.0";

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Inspects and exports \".san\" animation files.", "santool"};
  app.set_version_flag("--version", kVersion);
  app.require_subcommand(1);
  app.fallthrough();  // --version after a command too
  app.footer(
      "Statuses: 0 success, 1 a file could not be read or written or is damaged, 2 a "
      "command-line error.\n");

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
  exporter->footer(
      "FILE is played on the real engines under a virtual clock. Inputs and outputs\n"
      "are checked before anything is written; an output that is one of the inputs\n"
      "is refused.\n");

  InfoOptions info_options;
  CLI::App* info = app.add_subcommand(
      "info", "Reports the structure and damage (with file offsets) of each FILE");
  info->add_option("file", info_options.files, "the .san files")->required();
  info->add_flag("--json", info_options.json, "one JSON object per file and line");
  info->add_flag("--frames", info_options.frames, "list every frame and its chunks");

  TraceOptions trace_options;
  CLI::App* tracer = app.add_subcommand(
      "trace", "Summarises the timing of a player's --trace FILE, per file played");
  tracer->add_option("file", trace_options.file, "the JSON lines of morvane-demos --trace")
      ->required();

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
  if (exporter->parsed()) return RunExport(export_options);
  if (tracer->parsed()) return RunTrace(trace_options);
  return RunInfo(info_options);
}
