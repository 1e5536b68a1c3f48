// santool commands, called with their parsed command lines.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

struct ExportOptions {
  std::string file;
  std::string frames;   // folder of frame_NNNNN.png
  std::string audio;    // WAV file, or empty
  std::string trace;    // the presentation trace (JSON lines), or empty
  std::string strings;  // ".TRS" file, or empty
  std::vector<std::string> fonts;
  int from = 0;   // first frame written
  int to = -1;    // last frame written; -1: the last of the file
  int scale = 1;  // each pixel written as scale x scale pixels
};
// santool export FILE.san --frames DIR [--audio OUT.wav] [--strings F] [--fonts A,B,...]
int RunExport(const ExportOptions& options);

struct InfoOptions {
  std::vector<std::string> files;
  bool json = false;
  bool frames = false;
};
// santool info FILE.san... [--json] [--frames]
int RunInfo(const InfoOptions& options);
// One file of `santool info` written to `out` (errors to stderr): 0, or 1
// when it cannot be read or is damaged.
int ReportInfo(const std::string& file, const InfoOptions& options, FILE* out);

struct FontOptions {
  std::string file;    // PSF (version 1 or 2, gzip-compressed or not) or BDF
  std::string output;  // the ".NUT" font
  int first = 32, last = 255;  // character codes written
};
// santool font FONT -o OUT.NUT [--first C] [--last C]
int RunFont(const FontOptions& options);

struct StringsOptions {
  std::string file;
  std::string output;  // the ".TRS" file; empty with --dump
  bool scramble = false;
  bool dump = false;   // write the text of the ".TRS" FILE to stdout
};
// santool strings TEXT -o OUT.TRS [--scramble] | santool strings --dump F.TRS
int RunStrings(const StringsOptions& options);
// The text format of `santool strings`, for its --help.
extern const char* const kStringsFormatHelp;
struct BuildOptions {
  std::string scene;      // the scene file (docs/scene-format.md)
  std::string output;     // the .san file
  std::string quantised;  // folder for the full pictures as shown, or empty
};
// santool build SCENE.json -o OUT.san [--pictures-out DIR]
int RunBuild(const BuildOptions& options);
struct ChkOptions {
  std::vector<std::string> files;
};
// santool chk FILE...: writes FILE's ".CHK" beside it
int RunChk(const ChkOptions& options);

struct VerifyOptions {
  std::vector<std::string> files;
  bool json = false;
};
// santool verify FILE... [--json]: checks FILE against its ".CHK"
int RunVerify(const VerifyOptions& options);
struct TraceOptions {
  std::string file;
};
// santool trace FILE.jsonl: the timing of a --trace of the player
int RunTrace(const TraceOptions& options);
