// GDI in memory: window and memory device contexts, 8-bit DIB sections,
// logical palettes and a 256-entry system palette with reserved colours, and
// the desktop image that BitBlt into a window draws on.
//
// Realising a logical palette is simplified to what identity palettes need:
// logical entry i takes system entry i unless that entry is reserved; entries
// at reserved positions map onto the nearest system colour.
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <set>
#include <vector>

#include "platform/gdi.h"
#include "platform/memory/internal.h"
#include "platform/messages.h"
#include "platform/faults.h"
#include "platform/testing.h"

namespace {

using platform::memory::GdiCall;

constexpr std::array<PALETTEENTRY, 20> kStaticColours = {{
    {0, 0, 0, 0},       {128, 0, 0, 0},     {0, 128, 0, 0},     {128, 128, 0, 0},
    {0, 0, 128, 0},     {128, 0, 128, 0},   {0, 128, 128, 0},   {192, 192, 192, 0},
    {192, 220, 192, 0}, {166, 202, 240, 0}, {255, 251, 240, 0}, {160, 160, 164, 0},
    {128, 128, 128, 0}, {255, 0, 0, 0},     {0, 255, 0, 0},     {255, 255, 0, 0},
    {0, 0, 255, 0},     {255, 0, 255, 0},   {0, 255, 255, 0},   {255, 255, 255, 0},
}};

bool SameColour(const PALETTEENTRY& a, const PALETTEENTRY& b) {
  return a.peRed == b.peRed && a.peGreen == b.peGreen && a.peBlue == b.peBlue;
}

int Nearest(const PALETTEENTRY* table, int count, const PALETTEENTRY& c) {
  int best = 0;
  long best_d = -1;
  for (int i = 0; i < count; ++i) {
    long dr = table[i].peRed - c.peRed, dg = table[i].peGreen - c.peGreen, db = table[i].peBlue - c.peBlue;
    long d = dr * dr + dg * dg + db * db;
    if (best_d < 0 || d < best_d) {
      best = i;
      best_d = d;
    }
  }
  return best;
}

struct Bitmap : GdiObject {
  int width = 1;
  int height = 1;
  int stride = 4;
  bool top_down = true;
  std::vector<uint8_t> bits = std::vector<uint8_t>(4, 0);
  std::array<RGBQUAD, 256> colours{};
  DeviceContext* selected_in = nullptr;

  uint8_t* Row(int y) {
    return bits.data() + static_cast<size_t>(top_down ? y : height - 1 - y) * stride;
  }
};

struct Palette : GdiObject {
  std::vector<PALETTEENTRY> entries;
  std::vector<uint8_t> map;  // logical entry -> system entry, once realised
  int selections = 0;
};

struct Context : DeviceContext {
  bool window = false;
  HWND hwnd = nullptr;
  Bitmap* bitmap = nullptr;
  Palette* palette = nullptr;
};

class MemoryGdi {
 public:
  MemoryGdi() { Reset(); }

  void Reset() {
    dcs_.clear();
    objects_.clear();
    owned_.clear();
    stock_bitmap_ = std::make_unique<Bitmap>();
    stock_palette_ = std::make_unique<Palette>();
    stock_palette_->entries.assign(kStaticColours.begin(), kStaticColours.end());
    for (int i = 0; i < 20; ++i) stock_palette_->map.push_back(static_cast<uint8_t>(i < 10 ? i : 236 + i));
    no_static_ = false;
    faults_ = {};
    system_.fill(PALETTEENTRY{0, 0, 0, 0});
    for (int i = 0; i < 10; ++i) {
      system_[i] = kStaticColours[i];
      system_[246 + i] = kStaticColours[10 + i];
    }
    desktop_.clear();
    desktop_width_ = desktop_height_ = 0;
  }

  void SetNoStatic(bool no_static) {
    no_static_ = no_static;
    system_[0] = PALETTEENTRY{0, 0, 0, 0};
    system_[255] = PALETTEENTRY{255, 255, 255, 0};
    if (!no_static)
      for (int i = 0; i < 10; ++i) {
        system_[i] = kStaticColours[i];
        system_[246 + i] = kStaticColours[10 + i];
      }
  }
  void Fail(GdiCall call) { faults_[static_cast<size_t>(call)] = true; }
  int Live() const { return static_cast<int>(dcs_.size() + objects_.size()); }
  const std::array<PALETTEENTRY, 256>& system() const { return system_; }
  Palette* AsPalette(GdiObject* o) {
    auto* p = dynamic_cast<Palette*>(o);
    return p && (p == stock_palette_.get() || Owned(p)) ? p : nullptr;
  }
  Bitmap* AsBitmap(GdiObject* o) {
    auto* b = dynamic_cast<Bitmap*>(o);
    return b && Owned(b) ? b : nullptr;
  }

  HDC GetDC(HWND window) {
    if (window == nullptr || Take(GdiCall::kGetDC)) return nullptr;
    auto dc = std::make_unique<Context>();
    dc->window = true;
    dc->hwnd = window;
    dc->palette = stock_palette_.get();
    return Keep(std::move(dc));
  }

  int ReleaseDC(HWND window, HDC hdc) {
    Context* dc = AsContext(hdc);
    if (dc == nullptr || !dc->window || dc->hwnd != window) return 0;
    Drop(dc);
    return 1;
  }

  HDC CreateCompatibleDC(HDC hdc) {
    if ((hdc != nullptr && AsContext(hdc) == nullptr) || Take(GdiCall::kCreateCompatibleDC)) return nullptr;
    auto dc = std::make_unique<Context>();
    dc->bitmap = stock_bitmap_.get();
    dc->palette = stock_palette_.get();
    return Keep(std::move(dc));
  }

  BOOL DeleteDC(HDC hdc) {
    Context* dc = AsContext(hdc);
    if (dc == nullptr || dc->window) return 0;
    Drop(dc);
    return 1;
  }

  HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* info, UINT usage, void** bits) {
    if (info == nullptr || Take(GdiCall::kCreateDIBSection)) return nullptr;
    if (platform::AllocationRefused()) return nullptr;
    const BITMAPINFOHEADER& h = info->bmiHeader;
    if (h.biSize != sizeof(BITMAPINFOHEADER) || h.biPlanes != 1 || h.biBitCount != 8 ||
        h.biCompression != BI_RGB || h.biWidth <= 0 || h.biWidth > 16384 || h.biHeight == 0 ||
        h.biHeight < -16384 || h.biHeight > 16384)
      return nullptr;
    Context* dc = AsContext(hdc);
    if (usage == DIB_PAL_COLORS && dc == nullptr) return nullptr;
    if (usage != DIB_PAL_COLORS && usage != DIB_RGB_COLORS) return nullptr;
    auto bitmap = std::make_unique<Bitmap>();
    bitmap->width = h.biWidth;
    bitmap->height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    bitmap->top_down = h.biHeight < 0;
    bitmap->stride = (bitmap->width + 3) & ~3;
    try {
      bitmap->bits.assign(static_cast<size_t>(bitmap->stride) * bitmap->height, 0);
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
    const DWORD used = h.biClrUsed == 0 || h.biClrUsed > 256 ? 256 : h.biClrUsed;
    for (DWORD i = 0; i < used; ++i) {
      if (usage == DIB_RGB_COLORS) {
        bitmap->colours[i] = info->bmiColors[i];
      } else {
        const auto& entries = dc->palette->entries;
        const WORD index = info->bmiPalIndices[i];
        PALETTEENTRY e = index < entries.size() ? entries[index] : PALETTEENTRY{0, 0, 0, 0};
        bitmap->colours[i] = RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0};
      }
    }
    if (bits) *bits = bitmap->bits.data();
    Bitmap* raw = bitmap.get();
    objects_.insert(raw);
    owned_.push_back(std::move(bitmap));
    return raw;
  }

  HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object) {
    Context* dc = AsContext(hdc);
    Bitmap* bitmap = AsBitmap(object);
    if (object == stock_bitmap_.get()) bitmap = stock_bitmap_.get();
    if (dc == nullptr || dc->window || bitmap == nullptr) return nullptr;
    if (bitmap != stock_bitmap_.get() && bitmap->selected_in != nullptr && bitmap->selected_in != dc)
      return nullptr;
    Bitmap* previous = dc->bitmap;
    if (previous != stock_bitmap_.get()) previous->selected_in = nullptr;
    if (bitmap != stock_bitmap_.get()) bitmap->selected_in = dc;
    dc->bitmap = bitmap;
    return previous;
  }

  BOOL DeleteObject(HGDIOBJ object) {
    if (object == stock_bitmap_.get() || object == stock_palette_.get()) return 1;
    if (!objects_.count(object)) return 0;
    if (Bitmap* b = AsBitmap(object); b && b->selected_in) return 0;
    if (Palette* p = AsPalette(object); p && p->selections > 0) return 0;
    objects_.erase(object);
    owned_.erase(std::find_if(owned_.begin(), owned_.end(), [&](auto& o) { return o.get() == object; }));
    return 1;
  }

  BOOL BitBlt(HDC hdest, int x, int y, int width, int height, HDC hsource, int sx, int sy,
              DWORD rop) {
    Context* dest = AsContext(hdest);
    Context* source = AsContext(hsource);
    if (dest == nullptr || source == nullptr || source->window || rop != SRCCOPY) return 0;
    Bitmap* from = source->bitmap;
    uint8_t table[256];
    uint8_t* target_base;
    int target_width, target_height, target_pitch;
    Bitmap* to = nullptr;
    if (dest->window) {
      EnsureDesktop();
      target_base = desktop_.data();
      target_width = desktop_width_;
      target_height = desktop_height_;
      target_pitch = desktop_width_;
      Translation(from, dest->palette, table);
    } else {
      to = dest->bitmap;
      target_base = nullptr;
      target_width = to->width;
      target_height = to->height;
      target_pitch = to->stride;
      for (int i = 0; i < 256; ++i) table[i] = static_cast<uint8_t>(i);
    }
    // Clip against both pictures, keeping source and destination aligned.
    int x0 = std::max({0, x, x - sx}), y0 = std::max({0, y, y - sy});
    int x1 = std::min({target_width, x + width, x - sx + from->width});
    int y1 = std::min({target_height, y + height, y - sy + from->height});
    for (int ty = y0; ty < y1; ++ty) {
      const uint8_t* src = from->Row(ty - y + sy) + (x0 - x + sx);
      uint8_t* dst = to ? to->Row(ty) + x0 : target_base + static_cast<size_t>(ty) * target_pitch + x0;
      for (int tx = 0; tx < x1 - x0; ++tx) dst[tx] = table[src[tx]];
    }
    if (dest->window) PublishDesktop();
    return 1;
  }

  HPALETTE CreatePalette(const LOGPALETTE* logical) {
    if (logical == nullptr || logical->palVersion != 0x300 || logical->palNumEntries == 0 ||
        logical->palNumEntries > 256)
      return nullptr;
    auto palette = std::make_unique<Palette>();
    palette->entries.assign(logical->palPalEntry, logical->palPalEntry + logical->palNumEntries);
    Palette* raw = palette.get();
    objects_.insert(raw);
    owned_.push_back(std::move(palette));
    return raw;
  }

  HPALETTE SelectPalette(HDC hdc, HPALETTE hpalette, BOOL) {
    Context* dc = AsContext(hdc);
    Palette* palette = AsPalette(hpalette);
    if (dc == nullptr || palette == nullptr) return nullptr;
    Palette* previous = dc->palette;
    --previous->selections;
    ++palette->selections;
    dc->palette = palette;
    return previous;
  }

  UINT RealizePalette(HDC hdc) {
    Context* dc = AsContext(hdc);
    if (dc == nullptr) return GDI_ERROR;
    Palette* p = dc->palette;
    if (!dc->window || p == stock_palette_.get()) return 0;
    const int h = Reserved() / 2;
    const int n = static_cast<int>(p->entries.size());
    p->map.assign(n, 0);
    UINT changed = 0;
    for (int i = h; i < n && i < 256 - h; ++i) {
      PALETTEENTRY e = p->entries[i];
      e.peFlags = 0;
      if (!SameColour(system_[i], e)) ++changed;
      system_[i] = e;
      p->map[i] = static_cast<uint8_t>(i);
    }
    for (int i = 0; i < n; ++i)
      if (i < h || i >= 256 - h) p->map[i] = static_cast<uint8_t>(Nearest(system_.data(), 256, p->entries[i]));
    if (changed) PublishDesktop();
    return changed;
  }

  UINT GetSystemPaletteUse(HDC hdc) {
    if (AsContext(hdc) == nullptr) return SYSPAL_ERROR;
    return no_static_ ? SYSPAL_NOSTATIC : SYSPAL_STATIC;
  }

  UINT GetSystemPaletteEntries(HDC hdc, UINT first, UINT count, PALETTEENTRY* entries) {
    if (AsContext(hdc) == nullptr) return 0;
    if (entries == nullptr) return 256;
    if (first >= 256) return 0;
    count = std::min(count, 256 - first);
    std::copy(system_.begin() + first, system_.begin() + first + count, entries);
    return count;
  }

  int GetDeviceCaps(HDC hdc, int index) {
    if (AsContext(hdc) == nullptr) return 0;
    switch (index) {
      case NUMRESERVED: return Reserved();
      case SIZEPALETTE: return 256;
      case BITSPIXEL: return 8;
      case RASTERCAPS: return RC_PALETTE;
      default: return 0;
    }
  }

  UINT SetDIBColorTable(HDC hdc, UINT first, UINT count, const RGBQUAD* colours) {
    Context* dc = AsContext(hdc);
    if (dc == nullptr || dc->window || colours == nullptr || dc->bitmap == stock_bitmap_.get() ||
        first >= 256)
      return 0;
    count = std::min(count, 256 - first);
    std::copy(colours, colours + count, dc->bitmap->colours.begin() + first);
    return count;
  }

 private:
  int Reserved() const { return no_static_ ? 2 : 20; }

  bool Take(GdiCall call) {
    bool& f = faults_[static_cast<size_t>(call)];
    bool was = f;
    f = false;
    return was;
  }

  bool Owned(const GdiObject* o) const { return objects_.count(const_cast<GdiObject*>(o)) != 0; }

  Context* AsContext(HDC hdc) {
    auto* dc = static_cast<Context*>(hdc);
    for (auto& d : dcs_)
      if (d.get() == dc) return dc;
    return nullptr;
  }

  HDC Keep(std::unique_ptr<Context> dc) {
    ++dc->palette->selections;
    HDC raw = dc.get();
    dcs_.push_back(std::move(dc));
    return raw;
  }

  void Drop(Context* dc) {
    --dc->palette->selections;
    if (dc->bitmap && dc->bitmap != stock_bitmap_.get()) dc->bitmap->selected_in = nullptr;
    dcs_.erase(std::find_if(dcs_.begin(), dcs_.end(), [&](auto& d) { return d.get() == dc; }));
  }

  // Source index -> system index: the bitmap's colour through the
  // destination's logical palette (its own index when that colour matches,
  // as with identity palettes) and that palette's realisation.
  void Translation(const Bitmap* from, const Palette* palette, uint8_t* table) {
    const auto& entries = palette->entries;
    const int n = static_cast<int>(entries.size());
    for (int v = 0; v < 256; ++v) {
      const RGBQUAD& q = from->colours[v];
      PALETTEENTRY c{q.rgbRed, q.rgbGreen, q.rgbBlue, 0};
      int j = v < n && SameColour(entries[v], c) ? v : Nearest(entries.data(), n, c);
      table[v] = static_cast<int>(palette->map.size()) == n
                     ? palette->map[j]
                     : static_cast<uint8_t>(Nearest(system_.data(), 256, entries[j]));
    }
  }

  void EnsureDesktop() {
    const int w = platform::DesktopWidth(), h = platform::DesktopHeight();
    if (w != desktop_width_ || h != desktop_height_) {
      desktop_width_ = w;
      desktop_height_ = h;
      desktop_.assign(static_cast<size_t>(w) * h, 0);
    }
  }

  void PublishDesktop() {
    EnsureDesktop();
    uint8_t rgb[768];
    for (int i = 0; i < 256; ++i) {
      rgb[3 * i] = system_[i].peRed;
      rgb[3 * i + 1] = system_[i].peGreen;
      rgb[3 * i + 2] = system_[i].peBlue;
    }
    platform::memory::detail::Publish(desktop_width_, desktop_height_, desktop_width_, desktop_.data(),
                                        rgb);
  }

  std::vector<std::unique_ptr<Context>> dcs_;
  std::set<GdiObject*> objects_;
  std::vector<std::unique_ptr<GdiObject>> owned_;
  std::unique_ptr<Bitmap> stock_bitmap_;
  std::unique_ptr<Palette> stock_palette_;
  bool no_static_ = false;
  std::array<bool, 3> faults_{};
  std::array<PALETTEENTRY, 256> system_{};
  std::vector<uint8_t> desktop_;
  int desktop_width_ = 0;
  int desktop_height_ = 0;
};

MemoryGdi& Model() {
  static MemoryGdi gdi;
  return gdi;
}


}  // namespace

HDC GetDC(HWND window) { return Model().GetDC(window); }
int ReleaseDC(HWND window, HDC dc) { return Model().ReleaseDC(window, dc); }
HDC CreateCompatibleDC(HDC dc) { return Model().CreateCompatibleDC(dc); }
BOOL DeleteDC(HDC dc) { return Model().DeleteDC(dc); }
HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE, DWORD) {
  return Model().CreateDIBSection(dc, info, usage, bits);
}
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) { return Model().SelectObject(dc, object); }
BOOL DeleteObject(HGDIOBJ object) { return Model().DeleteObject(object); }
BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int source_x, int source_y,
            DWORD rop) {
  return Model().BitBlt(dest, x, y, width, height, source, source_x, source_y, rop);
}
HPALETTE CreatePalette(const LOGPALETTE* palette) { return Model().CreatePalette(palette); }
HPALETTE SelectPalette(HDC dc, HPALETTE palette, BOOL force_background) {
  return Model().SelectPalette(dc, palette, force_background);
}
UINT RealizePalette(HDC dc) { return Model().RealizePalette(dc); }
UINT GetSystemPaletteUse(HDC dc) { return Model().GetSystemPaletteUse(dc); }
UINT GetSystemPaletteEntries(HDC dc, UINT first, UINT count, PALETTEENTRY* entries) {
  return Model().GetSystemPaletteEntries(dc, first, count, entries);
}
int GetDeviceCaps(HDC dc, int index) { return Model().GetDeviceCaps(dc, index); }
UINT SetDIBColorTable(HDC dc, UINT first, UINT count, const RGBQUAD* colours) {
  return Model().SetDIBColorTable(dc, first, count, colours);
}

namespace platform::memory {

void FailGdiCall(GdiCall call) { Model().Fail(call); }
void SetNoStaticPalette(bool no_static) { Model().SetNoStatic(no_static); }

std::vector<PALETTEENTRY> LogicalPaletteEntries(HPALETTE palette) {
  const Palette* p = Model().AsPalette(palette);
  return p ? p->entries : std::vector<PALETTEENTRY>{};
}

std::vector<RGBQUAD> DibColourTable(HBITMAP bitmap) {
  const Bitmap* b = Model().AsBitmap(bitmap);
  return b ? std::vector<RGBQUAD>(b->colours.begin(), b->colours.end()) : std::vector<RGBQUAD>{};
}

std::array<PALETTEENTRY, 256> SystemPalette() { return Model().system(); }

int LiveGdiObjects() { return Model().Live(); }

namespace detail {
void ResetGdi() { Model().Reset(); }
}  // namespace detail

}  // namespace platform::memory
