// santool commands, called with their parsed command lines.
#pragma once

#include <string>
#include <vector>

struct ExportOptions {
  std::string file;
  std::string frames;   // folder of frame_NNNNN.png
  std::string audio;    // WAV file, or empty
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
