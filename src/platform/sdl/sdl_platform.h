// The SDL2 backend: the 8-bit screen in a full-screen (or resizable) window,
// the keyboard, mouse and focus as window messages, the chooser as a native
// message box, and the looping sound buffer on an audio device.
//
// Install puts it behind the platform calls; everything it does with SDL
// happens on the thread that called Install (the main thread), except the
// audio device's own callback thread.
#pragma once

#include <string>

namespace platform::sdl {

struct Options {
  bool window = false;  // a resizable window instead of full screen
  int scale = 0;        // window size 320N x 240N (x 200N with square pixels); 0: 960 x 720
  bool aspect = true;   // show the 320 x 200 screen 4:3; false keeps square pixels
};

// Opens the display and installs the video, input, dialog, cursor, sound and
// single-instance hooks. False, with a message, when there is no display.
// The clock is set to real time.
bool Install(const Options& options, std::string* error);

// Closes the window and the audio device and gives the seam back to the
// headless backend. Safe without Install.
void Uninstall();

// The user closed the window (or the process was asked to end): the running
// demonstration has been sent Escape and every later chooser answers Exit.
bool CloseRequested();

// The chooser could not be shown (no fonts on the X server, say): the message
// was printed once and the chooser answered Exit.
bool ChooserFailed();

// The icon drawn for the window (32 x 32, 0xAARRGGBB rows).
void DrawIcon(uint32_t* pixels32x32);

}  // namespace platform::sdl
