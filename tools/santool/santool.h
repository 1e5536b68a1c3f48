// santool commands, called with their parsed command lines.
#pragma once

#include <string>
#include <vector>

struct ExportOptions {
  std::string file;
  std::string frames;   // folder of frame_NNNNN.png
  std::string audio;    // WAV file, or empty
  std::string trace;    // the presentation trace (JSON lines), or empty
  std::string strings;  // ".TRS" file, or empty
  std::vector<std::string> fonts;
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

struct TraceOptions {
  std::string file;
};
// santool trace FILE.jsonl: the timing of a --trace of the player
int RunTrace(const TraceOptions& options);
