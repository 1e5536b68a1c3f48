// The in-memory model's visible screen and its test controls.
//
// The screen is what a monitor would show: the primary surface of the
// exclusive DirectDraw mode with the hardware palette, or, outside that mode,
// the desktop image that GDI draws into with the system palette. It is
// published to the observer after every flip or copy that changes what is
// visible and after every change of the palette in effect.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/ddraw.h"
#include "platform/gdi.h"

namespace platform::memory {

struct Screen {
  int width = 0;
  int height = 0;
  int pitch = 0;                    // bytes per row of `indices`
  std::vector<uint8_t> indices;     // pitch x height palette indices
  std::array<uint8_t, 768> palette{};  // red, green, blue of entries 0 to 255

  uint8_t At(int x, int y) const { return indices[static_cast<size_t>(y) * pitch + x]; }
};

// Called with every published screen (on the thread that changed it); an
// empty function stops the calls.
void SetScreenObserver(std::function<void(const Screen&)> observer);
// What is visible now.
Screen CurrentScreen();
// How many screens were published since the last ResetDisplay.
int PublishedScreens();

// DirectDraw calls that a test can make fail.
enum class DirectDrawCall {
  kCreate,
  kSetCooperativeLevel,
  kSetDisplayMode,
  kCreateSurface,
  kLock,
  kCreatePalette,
};
// The (skip + 1)-th next call of that kind fails once with DDERR_GENERIC.
void FailDirectDrawCall(DirectDrawCall call, int skip = 0);
// The primary surface and its back buffer lose their memory, as when
// another application takes the screen.
void LoseSurfaces();
// The next `count` flips answer DDERR_WASSTILLDRAWING.
void SetFlipBusy(int count);
// DirectDraw objects, surfaces and palettes alive now (leak checks).
int LiveDirectDrawObjects();

// GDI calls that a test can make fail.
enum class GdiCall { kGetDC, kCreateCompatibleDC, kCreateDIBSection };
void FailGdiCall(GdiCall call);
// SYSPAL_NOSTATIC: only black (0) and white (255) stay reserved.
void SetNoStaticPalette(bool no_static);
// Inspection of GDI objects (empty for an unknown handle).
std::vector<PALETTEENTRY> LogicalPaletteEntries(HPALETTE palette);
std::vector<RGBQUAD> DibColourTable(HBITMAP bitmap);
std::array<PALETTEENTRY, 256> SystemPalette();
// Device contexts and GDI objects alive now (leak checks).
int LiveGdiObjects();

// Forgets every object, fault, switch and the observer; clears the screen
// (start of a test). Objects still alive are destroyed: their handles must
// not be used again.
void ResetDisplay();

// Backend internals: the two halves publish what they show.
namespace detail {
void Publish(int width, int height, int pitch, const uint8_t* indices, const uint8_t* rgb768);
void ResetDirectDraw();
void ResetGdi();
}  // namespace detail

}  // namespace platform::memory
