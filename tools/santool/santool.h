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

struct BuildOptions {
  std::string scene;      // the scene file (docs/scene-format.md)
  std::string output;     // the .san file
  std::string quantised;  // folder for the full pictures as shown, or empty
};
// santool build SCENE.json -o OUT.san [--pictures-out DIR]
int RunBuild(const BuildOptions& options);
