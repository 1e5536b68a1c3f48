// The viewer: plays any ".san" files in order on the engines the
// demonstrations use, in the player's own window, with keys to pause, step,
// restart, change the speed, save the screen and show a status overlay.
#pragma once

#include <string>
#include <vector>

#include "platform/wintypes.h"

struct ViewerOptions {
  std::vector<std::string> files;  // host paths, checked to be readable files
  std::vector<std::string> fonts;  // empty: the bundled names beside each file
  std::string strings;             // likewise
  std::string picture_dir;         // where F12 saves the screen
};

// The viewer's keys (key codes of the key queue).
constexpr uint16_t kViewerKeyPause = ' ';
constexpr uint16_t kViewerKeyStep = 333;     // Right
constexpr uint16_t kViewerKeyRestart = 327;  // Home
constexpr uint16_t kViewerKeyOverlay = 9;    // Tab
constexpr uint16_t kViewerKeyPicture = 353;  // F12

// The speeds +/- step through, in quarters.
constexpr int16_t kViewerSpeeds[] = {1, 2, 3, 4, 6, 8, 12, 16};

// Plays the files: 0 when all were played or the viewer was left with
// Escape, 1 when a file or a picture failed (said on stderr or in the error
// log), -1 when the window or the display could not be started.
int ViewerMain(HINSTANCE instance, const ViewerOptions& options);

// "<stem>-<frame, 5 digits>.png" in `dir`, with "-1", "-2"... before ".png"
// while the name is taken.
std::string PictureName(const std::string& dir, const std::string& file, int frame);
