// The display: video mode, render bitmap, presentation, activation and screen
// palettes, on two paths chosen once by the display-mode word:
//  - DirectDraw (0x0104): exclusive full-screen mode with a flipping primary
//    surface; the render bitmap is a locked system-memory surface;
//  - device context (0x0001, "/cds"): no mode change; the render bitmap is a
//    DIB section copied with BitBlt into the main window.
// Frames are copied one to one to the screen's top-left corner.
#pragma once

#include <cstdint>

#include "decoder/decoder.h"
#include "platform/ddraw.h"
#include "platform/gdi.h"
#include "platform/wintypes.h"

constexpr uint16_t kDisplayWordPaths = 0x0005;
constexpr uint16_t kDisplayWordDirectDraw = 0x0004;
constexpr uint16_t kDisplayWordDib = 0x0001;
constexpr uint16_t kDisplayWordPageFlipping = 0x0100;

// The 8-bit picture that frames are drawn into. Its first three fields are a
// Surface of the decoder, so a RenderBitmap* is handed to DrawObject as is.
struct RenderBitmap : Surface {
  int32_t size;            // width (the pitch) x height bytes
  RenderBitmap* previous;  // bitmap list (device-context path)
  RenderBitmap* next;
  HBITMAP dib;                  // device-context path
  IDirectDrawSurface* surface;  // DirectDraw path, locked except while copied
};

inline Surface* RenderBitmapSurface(RenderBitmap* bitmap) { return bitmap; }
inline const Surface* RenderBitmapSurface(const RenderBitmap* bitmap) { return bitmap; }

// Always 0; only the first of nested calls acts.
int16_t DisplayStartup(HWND window, uint16_t mode_word);
void DisplayShutdown();
// The main window (the sound output's cooperative level needs it).
HWND GetDisplayWindow();

// What operations that fail inside DirectDraw return.
constexpr int16_t kDisplayFailed = 1;

// 0 done, kDisplayFailed for an unknown mode or a DirectDraw failure (nothing is left behind),
// -200 before DisplayStartup. Nested calls only count. The mode's size goes
// through the pointers that are not null.
int16_t SetVideoMode(uint16_t mode, int16_t* width, int16_t* height);
void RestoreVideoMode();

// 0, -101 (no memory or no DIB section) or kDisplayFailed. The row
// pitch is the width rounded up to a multiple of 4.
int16_t CreateRenderBitmap(RenderBitmap** slot, int16_t width, int16_t height);
// Frees *slot and clears it; a null slot or bitmap is left alone.
void FreeRenderBitmap(RenderBitmap** slot);
void ClearRenderBitmap(RenderBitmap* bitmap, uint8_t colour);

// Copies the bitmap placed at (x, y) to the screen, cut to the screen and to
// `clip` when given. Nothing is copied while the application is inactive.
void PresentBitmap(RenderBitmap* bitmap, int16_t x, int16_t y, const ClipRect* clip);
// Copies screen rectangle `rect` from the bitmap placed at (x, y).
void CopyRect(RenderBitmap* bitmap, int16_t x, int16_t y, const ClipRect* rect);
// With page flipping: shows the back buffer.
void CompletePresentation();
// The "VMSK" mask operation: it has no effect.
void MaskRect(RenderBitmap* bitmap, int16_t x, int16_t y, const ClipRect* clip, const uint8_t* payload);
// 0 and the intersection in *out (which may be `a`), or -1 when it is empty.
int16_t IntersectRect(ClipRect* out, const ClipRect* a, const ClipRect* b);

// The application was activated (non-zero) or deactivated (0): the handler
// pauses or resumes what plays (the session registers one that reaches the
// sound output and the animation player, which lie above the display); on
// activation the mode, surfaces and palette are established again.
void HandleActivation(int32_t active);
using ActivationHandler = void (*)(int32_t active);
// Called first by HandleActivation; null: nothing else follows activation.
void SetActivationHandler(ActivationHandler handler);
// Dispatches at most one waiting message: its result, or 0 when none waits
// or WM_QUIT arrived.
LRESULT PumpMessage();

// Palettes: 768 bytes, red, green, blue of entries 0 to 255.
// Shows `palette`, or the stored one again when null.
void SetScreenPalette(const uint8_t* palette);
// Shows every entry black; the stored palette is kept.
void BlackOutScreen();
// The index nearest to a colour in the stored palette; white and black
// answer the remembered indices 255 and 0.
uint16_t FindPaletteColour(uint8_t red, uint8_t green, uint8_t blue);
// A logical palette that leaves the system's reserved colours in place;
// `entries` (count 256) is rewritten with what the palette holds.
HPALETTE BuildIdentityPalette(HDC dc, PALETTEENTRY* entries, int16_t count);
void RealizeOnWindow(HDC dc, HPALETTE palette);
// The first index of the smallest weighted distance 3 dr^2 + 5 dg^2 + 2 db^2
// in an RGB table; 0 for an empty table.
int16_t NearestColour(const uint8_t* table, int16_t count, int16_t red, int16_t green, int16_t blue);
