// Running morvane-demos as a subprocess on small demonstration folders.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

#include "imageio/imageio.h"

namespace e2e {

// The built player (MV_BINARY_DIR/morvane-demos).
std::string PlayerPath();

// A temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// The colour every frame of a file is filled with: base + frame number.
constexpr int kColourFirstA = 10;   // cv2vid\O_open_a.san
constexpr int kColourFirstB = 60;   // cv2vid\O_open_b.san
constexpr int kColourSecondA = 110; // lanvid\demofrnt.san
constexpr int kColourSecondB = 160; // lanvid\demoend.san
constexpr int kWhite = 255;

// Writes a .san file of `frames` full-screen frames of colour base + i;
// with `music`, a sound stream too, a frame's worth carried by each frame
// from frame `music_from` on.
void WriteSan(const std::string& path, int frames, int base, bool music = false,
              int music_from = 0);

struct DemoFolder {
  int first_a = 30, first_b = 20, second_a = 25, second_b = 15;  // frame counts; 0: no file
};
void WriteDemoFolder(const std::string& dir, const DemoFolder& files);

// The player as a subprocess (stdin from /dev/null), with extra environment
// variables; its stdout and stderr go to files read when asked.
class Player {
 public:
  explicit Player(const std::vector<std::string>& args,
                  const std::map<std::string, std::string>& env = {});
  ~Player();  // kills it if it still runs
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;
  // Waits up to `limit_ms` for the end: true with the exit code set (128 +
  // the signal when a signal ended it).
  bool Wait(int limit_ms, int* exit_code);
  bool Running();
  pid_t pid() const { return pid_; }
  void Signal(int sig);
  // Waits until stderr holds `text` (true) or the process ended (false).
  bool WaitForError(const std::string& text, int limit_ms);
  std::string Output() const;
  std::string Errors() const;

 private:
  pid_t pid_ = -1;
  bool ended_ = false;
  int status_ = 0;
  std::string out_path_, err_path_;
};

struct RunResult {
  int exit_code = -1;  // -1: did not end within a generous limit (then killed)
  std::string out;
  std::string err;
};
// Runs the player with these arguments (the executable name is added) and
// waits for it.
RunResult RunPlayer(const std::vector<std::string>& args);

// The captured screens of a folder, in order.
std::vector<imageio::Png8> Screens(const std::string& dir);
// The colour at (200, 150) of each screen, successive repeats merged.
std::vector<int> ColourSequence(const std::vector<imageio::Png8>& screens);

// The first demonstration's string file and three fonts (one glyph each), so
// that a run of it records no error.
void WriteTextResources(const std::string& dir);

// A file's bytes ("" when it cannot be read), and a file made of them.
std::string ReadAll(const std::string& path);
void WriteAll(const std::string& path, const std::string& bytes);

}  // namespace e2e
