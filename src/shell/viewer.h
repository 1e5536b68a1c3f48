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
  // --data: text the file's folder lacks is looked for in its cv2vid.
  std::string data_dir;
};

// Plays the files: 0 when all were played or the viewer was left with
// Escape, 1 when a file or a picture failed (said on stderr or in the error
// log), -1 when the window or the display could not be started.
int ViewerMain(HINSTANCE instance, const ViewerOptions& options);
