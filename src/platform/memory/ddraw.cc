// DirectDraw in memory: one exclusive display device with its mode, a
// primary surface (optionally with one back buffer), system-memory surfaces
// and 8-bit palettes. The primary and the hardware palette are the visible
// screen.
#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <set>
#include <utility>
#include <vector>

#include "platform/ddraw.h"
#include "platform/memory/internal.h"
#include "platform/faults.h"
#include "platform/testing.h"

namespace {

using platform::memory::DirectDrawCall;

// Every object of this backend, so that a reset can destroy what is left.
struct Tracked {
  virtual ~Tracked() = default;
};

class Surface;
class Palette;
class DirectDraw;

struct Device {
  std::set<Tracked*> live;
  DirectDraw* exclusive_owner = nullptr;
  bool mode_set = false;
  DWORD width = 0;
  DWORD height = 0;
  Surface* primary = nullptr;
  std::array<PALETTEENTRY, 256> hardware{};
  std::array<int, 6> faults = {-1, -1, -1, -1, -1, -1};
  int flip_busy = 0;
};

Device& D() {
  static Device device;
  return device;
}

bool Fault(DirectDrawCall call) {
  int& countdown = D().faults[static_cast<size_t>(call)];
  if (countdown < 0) return false;
  if (countdown == 0) {
    countdown = -1;
    return true;
  }
  --countdown;
  return false;
}

void Track(Tracked* object) { D().live.insert(object); }
void Untrack(Tracked* object) { D().live.erase(object); }
bool IsLive(const Tracked* object) { return D().live.count(const_cast<Tracked*>(object)) != 0; }

class Palette final : public IDirectDrawPalette, public Tracked {
 public:
  explicit Palette(const PALETTEENTRY* entries) {
    std::copy(entries, entries + 256, entries_.begin());
    Track(this);
  }
  ~Palette() override { Untrack(this); }

  HRESULT SetEntries(DWORD flags, DWORD first, DWORD count, const PALETTEENTRY* entries) override;
  ULONG Release() override {
    if (--refs_ > 0) return refs_;
    delete this;
    return 0;
  }
  void AddRef() { ++refs_; }
  const std::array<PALETTEENTRY, 256>& entries() const { return entries_; }

 private:
  ULONG refs_ = 1;
  std::array<PALETTEENTRY, 256> entries_{};
};

class Surface final : public IDirectDrawSurface, public Tracked {
 public:
  Surface(DWORD width, DWORD height, DWORD pitch, bool primary)
      : width_(width), height_(height), pitch_(pitch), primary_(primary),
        pixels_(static_cast<size_t>(pitch) * height, 0) {
    Track(this);
  }
  ~Surface() override {
    if (palette_) palette_->Release();
    delete back_;
    if (D().primary == this) D().primary = nullptr;
    Untrack(this);
  }

  HRESULT Lock(const RECT* rect, DDSURFACEDESC* desc, DWORD flags, void* event) override;
  HRESULT Unlock(void* pointer) override;
  HRESULT Blt(const RECT* dest_rect, IDirectDrawSurface* source, const RECT* source_rect, DWORD flags,
              const DDBLTFX* fx) override;
  HRESULT Flip(IDirectDrawSurface* override_surface, DWORD flags) override;
  HRESULT IsLost() override { return lost_ ? DDERR_SURFACELOST : DD_OK; }
  HRESULT Restore() override;
  HRESULT SetPalette(IDirectDrawPalette* palette) override;
  HRESULT GetAttachedSurface(const DDSCAPS* caps, IDirectDrawSurface** out) override;
  ULONG Release() override {
    if (owner_) return owner_->refs_;  // the primary releases its back buffer
    if (--refs_ > 0) return refs_;
    delete this;
    return 0;
  }

  void AttachBackBuffer(Surface* back) {
    back_ = back;
    back->owner_ = this;
  }
  void SetLost() {
    lost_ = true;
    if (back_) back_->lost_ = true;
  }
  bool IsBackBuffer() const { return owner_ != nullptr; }
  void DetachPalette() { palette_ = nullptr; }
  bool Fits(DWORD width, DWORD height) const { return width_ == width && height_ == height; }
  const Palette* palette() const { return palette_; }
  // The front of the primary is the screen.
  void Show() const;

 private:
  // Checks a rectangle (null: the whole surface) and turns it into bounds.
  bool Area(const RECT* rect, RECT* out) const {
    RECT r = rect ? *rect : RECT{0, 0, static_cast<LONG>(width_), static_cast<LONG>(height_)};
    if (r.left < 0 || r.top < 0 || r.left >= r.right || r.top >= r.bottom ||
        r.right > static_cast<LONG>(width_) || r.bottom > static_cast<LONG>(height_))
      return false;
    *out = r;
    return true;
  }
  uint8_t* Row(LONG y) { return pixels_.data() + static_cast<size_t>(y) * pitch_; }

  ULONG refs_ = 1;
  DWORD width_;
  DWORD height_;
  DWORD pitch_;
  bool primary_;
  std::vector<uint8_t> pixels_;
  bool locked_ = false;
  bool lost_ = false;
  Surface* back_ = nullptr;   // owned
  Surface* owner_ = nullptr;  // set on a back buffer
  Palette* palette_ = nullptr;
};

void PublishScreen() {
  Device& d = D();
  uint8_t rgb[768];
  for (int i = 0; i < 256; ++i) {
    rgb[3 * i] = d.hardware[i].peRed;
    rgb[3 * i + 1] = d.hardware[i].peGreen;
    rgb[3 * i + 2] = d.hardware[i].peBlue;
  }
  if (d.primary) {
    d.primary->Show();
  } else if (d.mode_set) {
    std::vector<uint8_t> black(static_cast<size_t>(d.width) * d.height, 0);
    platform::memory::detail::Publish(static_cast<int>(d.width), static_cast<int>(d.height),
                                        static_cast<int>(d.width), black.data(), rgb);
  }
}

void Surface::Show() const {
  Device& d = D();
  uint8_t rgb[768];
  for (int i = 0; i < 256; ++i) {
    rgb[3 * i] = d.hardware[i].peRed;
    rgb[3 * i + 1] = d.hardware[i].peGreen;
    rgb[3 * i + 2] = d.hardware[i].peBlue;
  }
  platform::memory::detail::Publish(static_cast<int>(width_), static_cast<int>(height_),
                                      static_cast<int>(pitch_), pixels_.data(), rgb);
}

HRESULT Palette::SetEntries(DWORD, DWORD first, DWORD count, const PALETTEENTRY* entries) {
  if (entries == nullptr || first > 256 || count > 256 - first) return DDERR_INVALIDPARAMS;
  std::copy(entries, entries + count, entries_.begin() + first);
  Device& d = D();
  if (d.primary && d.primary->palette() == this) {
    d.hardware = entries_;
    PublishScreen();
  }
  return DD_OK;
}

HRESULT Surface::Lock(const RECT* rect, DDSURFACEDESC* desc, DWORD, void*) {
  if (desc == nullptr || desc->dwSize != sizeof(DDSURFACEDESC)) return DDERR_INVALIDPARAMS;
  if (Fault(DirectDrawCall::kLock)) return DDERR_GENERIC;
  if (lost_) return DDERR_SURFACELOST;
  if (locked_) return DDERR_SURFACEBUSY;
  RECT r;
  if (!Area(rect, &r)) return DDERR_INVALIDRECT;
  locked_ = true;
  desc->dwFlags |= DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_LPSURFACE;
  desc->dwWidth = width_;
  desc->dwHeight = height_;
  desc->lPitch = static_cast<LONG>(pitch_);
  desc->lpSurface = Row(r.top) + r.left;
  return DD_OK;
}

HRESULT Surface::Unlock(void*) {
  if (!locked_) return DDERR_NOTLOCKED;
  locked_ = false;
  return DD_OK;
}

HRESULT Surface::Blt(const RECT* dest_rect, IDirectDrawSurface* source, const RECT* source_rect,
                     DWORD flags, const DDBLTFX* fx) {
  if (fx == nullptr || fx->dwSize != sizeof(DDBLTFX)) return DDERR_INVALIDPARAMS;
  if (lost_) return DDERR_SURFACELOST;
  if (locked_) return DDERR_SURFACEBUSY;
  RECT dr;
  if (!Area(dest_rect, &dr)) return DDERR_INVALIDRECT;
  const LONG dw = dr.right - dr.left;
  const LONG dh = dr.bottom - dr.top;
  if (flags & DDBLT_COLORFILL) {
    for (LONG y = dr.top; y < dr.bottom; ++y)
      std::memset(Row(y) + dr.left, static_cast<uint8_t>(fx->dwFillColor), static_cast<size_t>(dw));
  } else if (flags & DDBLT_ROP) {
    if (fx->dwROP != SRCCOPY) return DDERR_UNSUPPORTED;
    auto* src = dynamic_cast<Surface*>(source);
    if (src == nullptr || !IsLive(src)) return DDERR_INVALIDPARAMS;
    if (src->lost_) return DDERR_SURFACELOST;
    if (src->locked_) return DDERR_SURFACEBUSY;
    RECT sr;
    if (!src->Area(source_rect, &sr)) return DDERR_INVALIDRECT;
    const LONG sw = sr.right - sr.left;
    const LONG sh = sr.bottom - sr.top;
    // Through a copy, so that a surface may be blitted onto itself.
    std::vector<uint8_t> rows(static_cast<size_t>(sw) * sh);
    for (LONG y = 0; y < sh; ++y)
      std::memcpy(&rows[static_cast<size_t>(y) * sw], src->Row(sr.top + y) + sr.left,
                  static_cast<size_t>(sw));
    for (LONG y = 0; y < dh; ++y) {
      const uint8_t* from = &rows[static_cast<size_t>(y * sh / dh) * sw];
      uint8_t* to = Row(dr.top + y) + dr.left;
      if (sw == dw) {
        std::memcpy(to, from, static_cast<size_t>(dw));
      } else {
        for (LONG x = 0; x < dw; ++x) to[x] = from[x * sw / dw];
      }
    }
  } else {
    return DDERR_INVALIDPARAMS;
  }
  if (primary_ && D().primary == this) Show();
  return DD_OK;
}

HRESULT Surface::Flip(IDirectDrawSurface*, DWORD) {
  if (!primary_ || back_ == nullptr) return DDERR_NOTFLIPPABLE;
  if (lost_) return DDERR_SURFACELOST;
  if (D().flip_busy > 0) {
    --D().flip_busy;
    return DDERR_WASSTILLDRAWING;
  }
  if (locked_ || back_->locked_) return DDERR_SURFACEBUSY;
  std::swap(pixels_, back_->pixels_);
  Show();
  return DD_OK;
}

HRESULT Surface::Restore() {
  if (!lost_) return DD_OK;
  if (primary_) {
    Device& d = D();
    if (!d.mode_set || !Fits(d.width, d.height)) return DDERR_WRONGMODE;
  }
  // The memory comes back, its contents do not.
  lost_ = false;
  std::fill(pixels_.begin(), pixels_.end(), 0);
  if (back_) {
    back_->lost_ = false;
    std::fill(back_->pixels_.begin(), back_->pixels_.end(), 0);
  }
  if (primary_ && D().primary == this) Show();
  return DD_OK;
}

HRESULT Surface::SetPalette(IDirectDrawPalette* palette) {
  Palette* p = nullptr;
  if (palette) {
    p = dynamic_cast<Palette*>(palette);
    if (p == nullptr || !IsLive(p)) return DDERR_INVALIDOBJECT;
    p->AddRef();
  }
  if (palette_) palette_->Release();
  palette_ = p;
  if (primary_ && p && D().primary == this) {
    D().hardware = p->entries();
    Show();
  }
  return DD_OK;
}

HRESULT Surface::GetAttachedSurface(const DDSCAPS* caps, IDirectDrawSurface** out) {
  if (caps == nullptr || out == nullptr) return DDERR_INVALIDPARAMS;
  if ((caps->dwCaps & DDSCAPS_BACKBUFFER) == 0 || back_ == nullptr) return DDERR_NOTFOUND;
  *out = back_;
  return DD_OK;
}

class DirectDraw final : public IDirectDraw, public Tracked {
 public:
  DirectDraw() { Track(this); }
  ~DirectDraw() override {
    // Giving up the object gives up the exclusive mode.
    if (D().exclusive_owner == this) {
      D().exclusive_owner = nullptr;
      D().mode_set = false;
    }
    Untrack(this);
  }

  HRESULT SetCooperativeLevel(HWND window, DWORD flags) override {
    if (Fault(DirectDrawCall::kSetCooperativeLevel)) return DDERR_GENERIC;
    if (flags & DDSCL_EXCLUSIVE) {
      if (window == nullptr || (flags & DDSCL_FULLSCREEN) == 0) return DDERR_INVALIDPARAMS;
      D().exclusive_owner = this;
    } else if (D().exclusive_owner == this) {
      D().exclusive_owner = nullptr;
    }
    return DD_OK;
  }

  HRESULT SetDisplayMode(DWORD width, DWORD height, DWORD bits) override {
    if (Fault(DirectDrawCall::kSetDisplayMode)) return DDERR_GENERIC;
    Device& d = D();
    if (d.exclusive_owner != this) return DDERR_NOEXCLUSIVEMODE;
    if (bits != 8 || width == 0 || height == 0 || width > 4096 || height > 4096)
      return DDERR_INVALIDMODE;
    // A mode change takes the memory of the primary away.
    if (d.primary) d.primary->SetLost();
    d.mode_set = true;
    d.width = width;
    d.height = height;
    if (d.primary == nullptr) PublishScreen();
    return DD_OK;
  }

  HRESULT RestoreDisplayMode() override {
    Device& d = D();
    if (d.exclusive_owner != this) return DDERR_NOEXCLUSIVEMODE;
    if (d.primary) d.primary->SetLost();
    d.mode_set = false;
    return DD_OK;
  }

  HRESULT CreateSurface(DDSURFACEDESC* desc, IDirectDrawSurface** out, void*) override {
    if (desc == nullptr || out == nullptr || desc->dwSize != sizeof(DDSURFACEDESC) ||
        (desc->dwFlags & DDSD_CAPS) == 0)
      return DDERR_INVALIDPARAMS;
    if (Fault(DirectDrawCall::kCreateSurface)) return DDERR_GENERIC;
    if (platform::AllocationRefused()) return DDERR_OUTOFMEMORY;
    Device& d = D();
    const DWORD caps = desc->ddsCaps.dwCaps;
    try {
      if (caps & DDSCAPS_PRIMARYSURFACE) {
        if (!d.mode_set || d.exclusive_owner != this) return DDERR_NOEXCLUSIVEMODE;
        if (d.primary) return DDERR_PRIMARYSURFACEALREADYEXISTS;
        const bool flipping = (caps & DDSCAPS_FLIP) != 0;
        if (flipping && ((caps & DDSCAPS_COMPLEX) == 0 ||
                         (desc->dwFlags & DDSD_BACKBUFFERCOUNT) == 0 || desc->dwBackBufferCount != 1))
          return DDERR_INVALIDPARAMS;
        auto* primary = new Surface(d.width, d.height, d.width, true);
        if (flipping) primary->AttachBackBuffer(new Surface(d.width, d.height, d.width, false));
        d.primary = primary;
        *out = primary;
        primary->Show();
        return DD_OK;
      }
      if (caps & DDSCAPS_OFFSCREENPLAIN) {
        if ((desc->dwFlags & (DDSD_WIDTH | DDSD_HEIGHT)) != (DDSD_WIDTH | DDSD_HEIGHT) ||
            desc->dwWidth == 0 || desc->dwHeight == 0 || desc->dwWidth > 8192 || desc->dwHeight > 8192)
          return DDERR_INVALIDPARAMS;
        *out = new Surface(desc->dwWidth, desc->dwHeight, (desc->dwWidth + 3) & ~3u, false);
        return DD_OK;
      }
    } catch (const std::bad_alloc&) {
      return DDERR_OUTOFMEMORY;
    }
    return DDERR_INVALIDPARAMS;
  }

  HRESULT CreatePalette(DWORD flags, const PALETTEENTRY* entries, IDirectDrawPalette** out,
                        void*) override {
    if (entries == nullptr || out == nullptr || (flags & DDPCAPS_8BIT) == 0) return DDERR_INVALIDPARAMS;
    if (Fault(DirectDrawCall::kCreatePalette)) return DDERR_GENERIC;
    *out = new Palette(entries);
    return DD_OK;
  }

  ULONG Release() override {
    if (--refs_ > 0) return refs_;
    delete this;
    return 0;
  }

 private:
  ULONG refs_ = 1;
};

HRESULT MemoryCreate(void*, IDirectDraw** out) {
  if (Fault(DirectDrawCall::kCreate)) return DDERR_GENERIC;
  *out = new DirectDraw();
  return DD_OK;
}

}  // namespace

HRESULT DirectDrawCreate(void* guid, IDirectDraw** out, void*) {
  if (out == nullptr) return DDERR_INVALIDPARAMS;
  *out = nullptr;
  return MemoryCreate(guid, out);
}

namespace platform::memory {

void FailDirectDrawCall(DirectDrawCall call, int skip) { D().faults[static_cast<size_t>(call)] = skip; }

void LoseSurfaces() {
  if (D().primary) D().primary->SetLost();
}

void SetFlipBusy(int count) { D().flip_busy = count; }

int LiveDirectDrawObjects() {
  int n = 0;
  for (Tracked* t : D().live)
    if (auto* s = dynamic_cast<Surface*>(t); s == nullptr || s->IsBackBuffer() == false) ++n;
  return n;
}

namespace detail {

void ResetDirectDraw() {
  Device& d = D();
  // Palettes may die before the surfaces that hold them; back buffers die
  // with their primaries.
  for (Tracked* t : d.live)
    if (auto* s = dynamic_cast<Surface*>(t)) s->DetachPalette();
  while (!d.live.empty()) {
    Tracked* victim = nullptr;
    for (Tracked* t : d.live) {
      auto* s = dynamic_cast<Surface*>(t);
      if (s == nullptr || !s->IsBackBuffer()) {
        victim = t;
        break;
      }
    }
    if (victim == nullptr) break;
    delete victim;
  }
  d = Device{};
}

}  // namespace detail

}  // namespace platform::memory
