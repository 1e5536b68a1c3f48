// DirectDraw as the display uses it: the object, surfaces and palettes, with
// the original names and numeric values. Our own minimal declarations.
//
// The in-memory model provides the objects behind DirectDrawCreate for both
// backends; a backend shows what it makes visible (platform/backend.h).
// Objects are reference counted: Release returns the references left and
// destroys the object at 0.
#pragma once

#include <cstdint>

#include "platform/gdi.h"
#include "platform/wintypes.h"

using ULONG = uint32_t;

// Results.
constexpr HRESULT DD_OK = 0;
constexpr HRESULT DDERR_GENERIC = static_cast<HRESULT>(0x80004005);
constexpr HRESULT DDERR_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
constexpr HRESULT DDERR_INVALIDPARAMS = static_cast<HRESULT>(0x80070057);
constexpr HRESULT DDERR_UNSUPPORTED = static_cast<HRESULT>(0x80004001);
constexpr HRESULT DDERR_INVALIDMODE = static_cast<HRESULT>(0x88760078);
constexpr HRESULT DDERR_INVALIDOBJECT = static_cast<HRESULT>(0x88760082);
constexpr HRESULT DDERR_INVALIDRECT = static_cast<HRESULT>(0x88760096);
constexpr HRESULT DDERR_NOEXCLUSIVEMODE = static_cast<HRESULT>(0x887600E1);
constexpr HRESULT DDERR_NOTFOUND = static_cast<HRESULT>(0x887600FF);
constexpr HRESULT DDERR_SURFACEBUSY = static_cast<HRESULT>(0x887601AE);
constexpr HRESULT DDERR_SURFACELOST = static_cast<HRESULT>(0x887601C2);
constexpr HRESULT DDERR_WASSTILLDRAWING = static_cast<HRESULT>(0x8876021C);
constexpr HRESULT DDERR_PRIMARYSURFACEALREADYEXISTS = static_cast<HRESULT>(0x88760234);
constexpr HRESULT DDERR_NOTFLIPPABLE = static_cast<HRESULT>(0x88760246);
constexpr HRESULT DDERR_NOTLOCKED = static_cast<HRESULT>(0x88760248);
constexpr HRESULT DDERR_WRONGMODE = static_cast<HRESULT>(0x8876024B);

// SetCooperativeLevel flags.
constexpr DWORD DDSCL_FULLSCREEN = 0x0001;
constexpr DWORD DDSCL_ALLOWREBOOT = 0x0002;
constexpr DWORD DDSCL_NOWINDOWCHANGES = 0x0004;
constexpr DWORD DDSCL_NORMAL = 0x0008;
constexpr DWORD DDSCL_EXCLUSIVE = 0x0010;
constexpr DWORD DDSCL_ALLOWMODEX = 0x0040;

// Surface capabilities.
constexpr DWORD DDSCAPS_BACKBUFFER = 0x0004;
constexpr DWORD DDSCAPS_COMPLEX = 0x0008;
constexpr DWORD DDSCAPS_FLIP = 0x0010;
constexpr DWORD DDSCAPS_OFFSCREENPLAIN = 0x0040;
constexpr DWORD DDSCAPS_PRIMARYSURFACE = 0x0200;
constexpr DWORD DDSCAPS_SYSTEMMEMORY = 0x0800;

// Which fields of a surface description are valid.
constexpr DWORD DDSD_CAPS = 0x0001;
constexpr DWORD DDSD_HEIGHT = 0x0002;
constexpr DWORD DDSD_WIDTH = 0x0004;
constexpr DWORD DDSD_PITCH = 0x0008;
constexpr DWORD DDSD_BACKBUFFERCOUNT = 0x0020;
constexpr DWORD DDSD_LPSURFACE = 0x0800;

// Blt flags.
constexpr DWORD DDBLT_COLORFILL = 0x00000400;
constexpr DWORD DDBLT_WAIT = 0x01000000;
constexpr DWORD DDBLT_ROP = 0x00020000;

// Palette capabilities.
constexpr DWORD DDPCAPS_8BIT = 0x0004;
constexpr DWORD DDPCAPS_ALLOW256 = 0x0040;

struct DDSCAPS {
  DWORD dwCaps;
};

// The fields of the surface description that the display fills and reads
// (the original record also has colour keys and a pixel format, unused here).
struct DDSURFACEDESC {
  DWORD dwSize;  // sizeof(DDSURFACEDESC)
  DWORD dwFlags;
  DWORD dwHeight;
  DWORD dwWidth;
  LONG lPitch;
  DWORD dwBackBufferCount;
  void* lpSurface;
  DDSCAPS ddsCaps;
};

struct DDCOLORKEY {
  DWORD dwColorSpaceLowValue;
  DWORD dwColorSpaceHighValue;
};

// The blit-effects record, field for field (100 bytes; the pointer
// alternatives of its unions are not needed).
struct DDBLTFX {
  DWORD dwSize;
  DWORD dwDDFX;
  DWORD dwROP;
  DWORD dwDDROP;
  DWORD dwRotationAngle;
  DWORD dwZBufferOpCode;
  DWORD dwZBufferLow;
  DWORD dwZBufferHigh;
  DWORD dwZBufferBaseDest;
  DWORD dwZDestConstBitDepth;
  DWORD dwZDestConst;
  DWORD dwZSrcConstBitDepth;
  DWORD dwZSrcConst;
  DWORD dwAlphaEdgeBlendBitDepth;
  DWORD dwAlphaEdgeBlend;
  DWORD dwReserved;
  DWORD dwAlphaDestConstBitDepth;
  DWORD dwAlphaDestConst;
  DWORD dwAlphaSrcConstBitDepth;
  DWORD dwAlphaSrcConst;
  DWORD dwFillColor;
  DDCOLORKEY ddckDestColorkey;
  DDCOLORKEY ddckSrcColorkey;
};
static_assert(sizeof(DDBLTFX) == 100);

class IDirectDrawPalette {
 public:
  // Sets `count` entries from `first` on (first + count <= 256).
  virtual HRESULT SetEntries(DWORD flags, DWORD first, DWORD count, const PALETTEENTRY* entries) = 0;
  virtual ULONG Release() = 0;

 protected:
  virtual ~IDirectDrawPalette() = default;
};

class IDirectDrawSurface {
 public:
  // Locks the surface (or `rect` of it) and fills lpSurface, lPitch, dwWidth
  // and dwHeight of `desc`.
  virtual HRESULT Lock(const RECT* rect, DDSURFACEDESC* desc, DWORD flags, void* event) = 0;
  virtual HRESULT Unlock(void* pointer) = 0;
  // DDBLT_COLORFILL fills `dest_rect` (whole surface when null) with
  // fx->dwFillColor; DDBLT_ROP with fx->dwROP = SRCCOPY copies `source` at
  // `source_rect` into `dest_rect`. Neither surface may be locked.
  virtual HRESULT Blt(const RECT* dest_rect, IDirectDrawSurface* source, const RECT* source_rect,
                      DWORD flags, const DDBLTFX* fx) = 0;
  // Primary with a back buffer: shows the back buffer and swaps the two.
  virtual HRESULT Flip(IDirectDrawSurface* override_surface, DWORD flags) = 0;
  // DD_OK, or DDERR_SURFACELOST when the memory was taken away.
  virtual HRESULT IsLost() = 0;
  virtual HRESULT Restore() = 0;
  // Attaches a palette (primary surface: it becomes the screen's palette).
  virtual HRESULT SetPalette(IDirectDrawPalette* palette) = 0;
  // DDSCAPS_BACKBUFFER on a flipping primary gives its back buffer. The
  // back buffer belongs to the primary: no reference is added, and releasing
  // the primary releases it.
  virtual HRESULT GetAttachedSurface(const DDSCAPS* caps, IDirectDrawSurface** out) = 0;
  virtual ULONG Release() = 0;

 protected:
  virtual ~IDirectDrawSurface() = default;
};

class IDirectDraw {
 public:
  virtual HRESULT SetCooperativeLevel(HWND window, DWORD flags) = 0;
  virtual HRESULT SetDisplayMode(DWORD width, DWORD height, DWORD bits_per_pixel) = 0;
  virtual HRESULT RestoreDisplayMode() = 0;
  virtual HRESULT CreateSurface(DDSURFACEDESC* desc, IDirectDrawSurface** out, void* outer) = 0;
  // DDPCAPS_8BIT: 256 entries are read from `entries`.
  virtual HRESULT CreatePalette(DWORD flags, const PALETTEENTRY* entries, IDirectDrawPalette** out,
                                void* outer) = 0;
  virtual ULONG Release() = 0;

 protected:
  virtual ~IDirectDraw() = default;
};

// `guid` null names the default driver. Fills *out: DD_OK or an error.
HRESULT DirectDrawCreate(void* guid, IDirectDraw** out, void* outer);
