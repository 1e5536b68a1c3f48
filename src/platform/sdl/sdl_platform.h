// The SDL2 backend: the 8-bit screen in a full-screen (or resizable) window,
// the keyboard, mouse and focus as window messages, dialogs drawn into the
// same window (caption, text and buttons as the player describes them), the
// application's overlay lines, and the looping sound buffer on an audio device.
//
// Install puts it behind the platform calls; everything it does with SDL
// happens on the thread that called Install (the main thread), except the
// audio device's own callback thread.
#pragma once

#include <optional>
#include <string>

namespace platform::sdl {

struct Options {
  bool window = false;  // a resizable window instead of full screen
  int scale = 0;        // window size 320N x 240N (x 200N with square pixels); 0: 960 x 720
  bool aspect = true;   // show the 320 x 200 screen 4:3; false keeps square pixels
  // The single-instance folder; unset: the one every copy of the user finds.
  std::optional<std::string> instance_dir;
};

// Opens the display and installs its backend table (video, input, dialogs,
// cursor, sound, focus requests) and the single-instance folder. False, with
// a message, when there is no display. The clock is set to real time.
bool Install(const Options& options, std::string* error);

// Closes the window and the audio device and leaves the seam to the
// in-memory model. Safe without Install.
void Uninstall();

// The user closed the window (or the process was asked to end): the running
// demonstration has been sent Escape and every later chooser answers Exit.
bool CloseRequested();

// The chooser could not be drawn: the message was printed once and the
// chooser answered Exit.
bool ChooserFailed();

// The icon drawn for the window (32 x 32, 0xAARRGGBB rows).
void DrawIcon(uint32_t* pixels32x32);

}  // namespace platform::sdl
