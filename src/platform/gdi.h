// The GDI calls of the device-context display path: device contexts, DIB
// sections, BitBlt, logical and system palettes. Our own minimal declarations
// with the original names and numeric values.
//
// The in-memory model answers every call for both backends; what it draws
// on the desktop is shown like the DirectDraw screen (platform/backend.h).
#pragma once

#include <cstdint>

#include "platform/wintypes.h"

// Handles are pointers to objects that the in-memory model defines by
// deriving from these two bases.
struct GdiObject {
  virtual ~GdiObject() = default;
};
struct DeviceContext {
  virtual ~DeviceContext() = default;
};
using HDC = DeviceContext*;
using HGDIOBJ = GdiObject*;
using HBITMAP = GdiObject*;
using HPALETTE = GdiObject*;
using HANDLE = void*;

struct PALETTEENTRY {
  BYTE peRed;
  BYTE peGreen;
  BYTE peBlue;
  BYTE peFlags;
};

struct RGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
};

struct BITMAPINFOHEADER {
  DWORD biSize;  // 40
  LONG biWidth;
  LONG biHeight;  // negative: rows run top-down
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

// A header with room for the full colour table of an 8-bit bitmap: RGB
// colours (DIB_RGB_COLORS) or 16-bit indices into the logical palette
// selected into the device context (DIB_PAL_COLORS).
struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  union {
    RGBQUAD bmiColors[256];
    WORD bmiPalIndices[256];
  };
};

// A logical palette of palNumEntries entries (at most 256).
struct LOGPALETTE {
  WORD palVersion;  // 0x300
  WORD palNumEntries;
  PALETTEENTRY palPalEntry[256];
};

constexpr DWORD SRCCOPY = 0x00CC0020;
constexpr DWORD BI_RGB = 0;
constexpr UINT DIB_RGB_COLORS = 0;
constexpr UINT DIB_PAL_COLORS = 1;
constexpr BYTE PC_RESERVED = 0x01;
constexpr BYTE PC_EXPLICIT = 0x02;
constexpr BYTE PC_NOCOLLAPSE = 0x04;
constexpr UINT SYSPAL_ERROR = 0;
constexpr UINT SYSPAL_STATIC = 1;
constexpr UINT SYSPAL_NOSTATIC = 2;
constexpr UINT GDI_ERROR = 0xFFFFFFFF;
// GetDeviceCaps indices.
constexpr int BITSPIXEL = 12;
constexpr int RASTERCAPS = 38;
constexpr int SIZEPALETTE = 104;
constexpr int NUMRESERVED = 106;
constexpr int RC_PALETTE = 0x0100;

HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC dc);
HDC CreateCompatibleDC(HDC dc);
BOOL DeleteDC(HDC dc);
// Only 8-bit BI_RGB bitmaps; *bits receives the first byte of the pixels.
HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                         DWORD offset);
// Selects a bitmap into a memory device context; returns the previous one or
// null on failure.
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
// Fails for an object that is still selected into a device context.
BOOL DeleteObject(HGDIOBJ object);
BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int source_x, int source_y,
            DWORD rop);
HPALETTE CreatePalette(const LOGPALETTE* palette);
HPALETTE SelectPalette(HDC dc, HPALETTE palette, BOOL force_background);
// Maps the selected logical palette into the system palette; returns the
// number of system entries that changed, GDI_ERROR on failure.
UINT RealizePalette(HDC dc);
UINT GetSystemPaletteUse(HDC dc);
UINT GetSystemPaletteEntries(HDC dc, UINT first, UINT count, PALETTEENTRY* entries);
int GetDeviceCaps(HDC dc, int index);
// Sets colours of the DIB section selected into a memory device context.
UINT SetDIBColorTable(HDC dc, UINT first, UINT count, const RGBQUAD* colours);
