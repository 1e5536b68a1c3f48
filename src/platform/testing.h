// Every control the tests have over the platform: faults to inject, state
// to inspect, and the resets at the top of a test. The product never calls
// these; a backend plugs in through platform/backend.h instead.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/gdi.h"
#include "platform/memory/model.h"
#include "platform/wintypes.h"

namespace platform {

// ---- Windows and the message queue ----------------------------------------

// The desktop's size (GetSystemMetrics 0 and 1, the desktop rectangle).
void SetDesktopSize(int width, int height);
// Forgets every class, window and queued or scheduled message.
void ResetWindows();

// ---- Keys ------------------------------------------------------------------

// The in-memory key table that GetKeyState answers from when no backend
// gives the key state (codes 0 to 255; others are ignored).
void SetKeyDown(int virtual_key, bool down);
void ClearKeyState();

// ---- Dialogs, cursor, focus, priorities --------------------------------------

// How many dialogs have been shown.
int DialogsShown();
int CursorCount();
// The last values asked of SetPriorityClass and SetThreadPriority (0: none).
DWORD RequestedPriorityClass();
int RequestedThreadPriority();
// Focus requests that other copies sent to this one.
int FocusRequestsReceived();
// Back to a fresh state: no dialogs shown or registered, cursor count 0,
// focus none, no scripted choices. The installed backend stays.
void ResetUi();

// ---- Files -----------------------------------------------------------------

// A hook on every ReadFile: sees the host path, the file offset the read
// started at, the bytes that arrived, and returns how many to report (it may
// change the bytes or shorten the read). Empty: no hook.
using ReadFaultHook =
    std::function<size_t(const std::string& path, long offset, uint8_t* data, size_t got)>;
void SetReadFaultHook(ReadFaultHook hook);

// ---- Allocations ---------------------------------------------------------------

// Memory blocks (MemAlloc), surfaces, sound buffers, opened files and started
// threads are counted from now on, and the n-th of them fails once (n = 0:
// counted, none fails). Each caller takes the refusal as it takes a real one.
void FailAllocationAt(long n);
// Allocations counted since the last FailAllocationAt.
long AllocationsCounted();
// Counting off again: nothing fails.
void StopAllocationFaults();

}  // namespace platform

namespace platform::memory {

// ---- The screen --------------------------------------------------------------

// What is visible now.
Screen CurrentScreen();
// How many screens were published since the last ResetDisplay.
int PublishedScreens();

// ---- DirectDraw ----------------------------------------------------------------

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

// ---- GDI -----------------------------------------------------------------------

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

// Forgets every DirectDraw and GDI object, fault and switch; clears the
// screen. Objects still alive are destroyed: their handles must not be used
// again.
void ResetDisplay();

// ---- DirectSound ----------------------------------------------------------------

// Makes the next DirectSoundCreate calls fail with DSERR_NODRIVER (no device).
void SetDirectSoundFailure(bool fail);
// Makes Lock fail with DSERR_BUFFERLOST while set.
void SetDirectSoundLockFailure(bool fail);
// In-memory buffers alive now (leak checks).
int LiveSoundBuffers();

}  // namespace platform::memory
