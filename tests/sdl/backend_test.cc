// The SDL backend's own pieces that need no display: where the picture goes
// in the window, keys as virtual-key codes and messages, the palette
// conversion, the chooser's layout, keys and mouse, the glyphs, and the
// sound buffer on SDL's file audio driver.
#ifdef MV_HAVE_SDL

#include <SDL.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/dsound.h"
#include "platform/keystate.h"
#include "platform/messages.h"
#include "platform/sdl/audio.h"
#include "platform/sdl/chooser.h"
#include "platform/sdl/glyphs.h"
#include "platform/sdl/keymap.h"
#include "platform/sdl/layout.h"
#include "platform/sdl/sdl_platform.h"

namespace platform::sdl {
namespace {

// Where the picture goes: 4:3 with bars, square pixels, or the desktop at
// whole factors only; a whole prescale with nearest, then a linear step only
// where the factor is not whole.
TEST(Layout, PictureRectangleAndScaling) {
  const struct {
    int source_width, source_height, window_width, window_height;
    Fit fit;
    int x, y, width, height, prescale;
    bool linear;
  } rows[] = {
      // 3 across but 3.6 down: three times up with nearest, then up linearly.
      {320, 200, 960, 720, Fit::kAspect43, 0, 0, 960, 720, 3, true},
      {320, 200, 1920, 1080, Fit::kAspect43, 240, 0, 1440, 1080, 4, true},
      {320, 200, 800, 1000, Fit::kAspect43, 0, 200, 800, 600, 2, true},
      {320, 200, 640, 400, Fit::kSquare, 0, 0, 640, 400, 2, false},
      {320, 200, 1000, 1000, Fit::kSquare, 0, 187, 1000, 625, 3, true},
      {640, 480, 1920, 1080, Fit::kWhole, 320, 60, 1280, 960, 2, false},
      // A window smaller than the desktop still shows it at 1, cut at the edges.
      {640, 480, 500, 300, Fit::kWhole, -70, -90, 640, 480, 1, false},
  };
  for (const auto& r : rows) {
    Layout l = ComputeLayout(r.source_width, r.source_height, r.window_width, r.window_height, r.fit);
    EXPECT_EQ(std::tuple(l.x, l.y, l.width, l.height, l.prescale, l.linear),
              std::tuple(r.x, r.y, r.width, r.height, r.prescale, r.linear))
        << r.window_width << "x" << r.window_height;
  }
  // Empty sizes and huge windows stay bounded.
  EXPECT_EQ(ComputeLayout(0, 200, 960, 720, Fit::kAspect43).width, 0);
  EXPECT_EQ(ComputeLayout(320, 200, 0, 720, Fit::kAspect43).width, 0);
  Layout tiny = ComputeLayout(320, 200, 1, 1, Fit::kAspect43);
  EXPECT_GE(tiny.width, 1);
  EXPECT_GE(tiny.height, 1);
  EXPECT_EQ(ComputeLayout(320, 200, 16000, 12000, Fit::kAspect43).prescale, kMaxPrescale);
}

TEST(Layout, WindowPointsMapBackOntoScreenPixels) {
  Layout l = ComputeLayout(320, 200, 1920, 1080, Fit::kAspect43);  // 1440 x 1080 at x 240
  int sx = -1, sy = -1;
  WindowToScreen(l, 320, 200, 240, 0, &sx, &sy);
  EXPECT_EQ(sx, 0);
  EXPECT_EQ(sy, 0);
  WindowToScreen(l, 320, 200, 240 + 1439, 1079, &sx, &sy);
  EXPECT_EQ(sx, 319);
  EXPECT_EQ(sy, 199);
  WindowToScreen(l, 320, 200, 10, 5000, &sx, &sy);  // on a bar: clamped
  EXPECT_EQ(sx, 0);
  EXPECT_EQ(sy, 199);
}

// The picture a screen makes at a layout's size: every pixel through the
// palette.
std::vector<uint32_t> Picture(const Scale& scale, const std::vector<uint8_t>& indices, int pitch,
                              const uint8_t* rgb, RowBand rows, std::vector<uint32_t> into) {
  const int width = static_cast<int>(scale.columns.size());
  ScaleIndexed(scale, rows, indices.data(), pitch, rgb,
               into.data() + static_cast<size_t>(rows.first) * width, width);
  return into;
}

TEST(Convert, PalettePixelsScaleCrisplyAndOnlyChangedRowsAreRedone) {
  uint8_t rgb[768] = {};
  for (int i = 0; i < 768; ++i) rgb[i] = static_cast<uint8_t>(i * 37 + i / 3);
  rgb[3 * 7] = 0x12;
  rgb[3 * 7 + 1] = 0x34;
  rgb[3 * 7 + 2] = 0x56;
  auto colour = [&](int i) {
    return 0xFF000000u | uint32_t{rgb[3 * i]} << 16 | uint32_t{rgb[3 * i + 1]} << 8 | rgb[3 * i + 2];
  };
  // A whole factor that lands on the size: 2 x 2 blocks, no blend; padding
  // in the screen's rows (pitch 3) never shows.
  const std::vector<uint8_t> small = {7, 255, 99, 0, 7, 99};
  Layout exact;
  exact.width = 4;
  exact.height = 4;
  exact.prescale = 2;
  const std::vector<uint32_t> blocks =
      Picture(MakeScale(2, 2, exact), small, 3, rgb, {0, 4}, std::vector<uint32_t>(16, 1));
  const uint32_t C = colour(7), W = colour(255), K = colour(0);
  EXPECT_EQ(blocks, (std::vector<uint32_t>{C, C, W, W, C, C, W, W, K, K, C, C, K, K, C, C}));

  // The full screen's 4:3 at 1920 x 1080: 320 x 200 by 4 then 1.125 x
  // 1.35. Each column and row blends at most at a pixel's edge, and every
  // pixel of the picture lies between the two screen pixels it comes from.
  const Layout full = ComputeLayout(320, 200, 1920, 1080, Fit::kAspect43);
  ASSERT_TRUE(full.linear);
  const Scale scale = MakeScale(320, 200, full);
  for (const auto* taps : {&scale.columns, &scale.rows}) {
    int blended = 0;
    for (size_t i = 0; i < taps->size(); ++i) {
      const Tap& t = (*taps)[i];
      EXPECT_TRUE(t.weight == 0 ? t.second == t.first : t.second == t.first + 1) << i;
      if (i > 0) {
        EXPECT_GE(t.first, (*taps)[i - 1].first);
      }
      blended += t.weight != 0;
    }
    EXPECT_LT(blended, static_cast<int>(taps->size()) / 3);  // crisp: most are whole pixels
  }
  EXPECT_EQ(scale.columns.back().first, 319);
  EXPECT_EQ(scale.rows.back().first, 199);

  // A band of changed screen rows redoes the picture's rows that take from
  // it, and the result is the picture drawn whole.
  std::vector<uint8_t> old_screen(static_cast<size_t>(320) * 200), now;
  for (size_t i = 0; i < old_screen.size(); ++i) old_screen[i] = static_cast<uint8_t>(i * 131 + i / 320);
  const size_t pixels = scale.columns.size() * scale.rows.size();
  const std::vector<uint32_t> old_picture =
      Picture(scale, old_screen, 320, rgb, {0, full.height}, std::vector<uint32_t>(pixels, 1));
  for (RowBand changed : {RowBand{0, 1}, RowBand{57, 58}, RowBand{100, 140}, RowBand{199, 200}}) {
    now = old_screen;
    for (int y = changed.first; y < changed.end; ++y)
      for (int x = 0; x < 320; ++x) now[static_cast<size_t>(y) * 320 + x] ^= 0x5A;
    const RowBand found = ChangedRows(320, 200, 320, now.data(), old_screen.data());
    ASSERT_EQ(std::pair(found.first, found.end), std::pair(changed.first, changed.end));
    EXPECT_EQ(Picture(scale, now, 320, rgb, PictureRows(scale, found), old_picture),
              Picture(scale, now, 320, rgb, {0, full.height}, std::vector<uint32_t>(pixels, 1)))
        << changed.first;
  }

  // Rows of 2 indices in a pitch of 3: changes in the padding do not count.
  const uint8_t before[] = {1, 1, 0, 2, 2, 0, 3, 3, 0, 4, 4, 0};
  const struct {
    std::vector<int> changed;  // offsets changed in `now`
    int first, end;
  } rows[] = {
      {{}, 4, 4}, {{2, 5, 8, 11}, 4, 4}, {{0}, 0, 1}, {{10}, 3, 4}, {{4, 6}, 1, 3}, {{1, 9}, 0, 4},
  };
  for (const auto& r : rows) {
    uint8_t now[12];
    std::memcpy(now, before, sizeof now);
    for (int at : r.changed) now[at] ^= 0x80;
    const RowBand band = ChangedRows(2, 4, 3, now, before);
    EXPECT_EQ(band.first, r.first) << r.changed.size();
    EXPECT_EQ(band.end, r.end) << r.changed.size();
  }
}

TEST(Keys, KeysBecomeTheOriginalVirtualKeyCodes) {
  const struct {
    SDL_Keycode key;
    SDL_Scancode position;
    int virtual_key;
  } rows[] = {
      {SDLK_ESCAPE, SDL_SCANCODE_ESCAPE, VK_ESCAPE},
      {SDLK_x, SDL_SCANCODE_X, 'X'},
      {SDLK_0, SDL_SCANCODE_0, '0'},
      {SDLK_F4, SDL_SCANCODE_F4, VK_F4},
      {SDLK_KP_0, SDL_SCANCODE_KP_0, VK_NUMPAD0},  // not in the range of 1 to 9
      {SDLK_KP_9, SDL_SCANCODE_KP_9, VK_NUMPAD0 + 9},
      {SDLK_KP_MINUS, SDL_SCANCODE_KP_MINUS, VK_SUBTRACT},
      {SDLK_RALT, SDL_SCANCODE_RALT, VK_MENU},  // either side: the one key
      {SDLK_LSHIFT, SDL_SCANCODE_LSHIFT, VK_SHIFT},
      {SDLK_RCTRL, SDL_SCANCODE_RCTRL, VK_CONTROL},
      {SDLK_PAGEDOWN, SDL_SCANCODE_PAGEDOWN, VK_NEXT},
      {SDLK_LEFT, SDL_SCANCODE_LEFT, VK_LEFT},
      {SDLK_SEMICOLON, SDL_SCANCODE_SEMICOLON, 0xBA},
      {SDLK_QUOTE, SDL_SCANCODE_APOSTROPHE, 0xDE},
      // A layout whose key there is no Latin letter still names the position.
      {0x0444, SDL_SCANCODE_A, 'A'},
      {SDLK_VOLUMEUP, SDL_SCANCODE_VOLUMEUP, 0},
  };
  for (const auto& r : rows) EXPECT_EQ(VirtualKeyFor(r.key, r.position), r.virtual_key) << r.key;
}

TEST(Keys, AltAndF10GiveSystemKeyMessages) {
  EXPECT_EQ(KeyMessageFor('X', true, false), WM_KEYDOWN);
  EXPECT_EQ(KeyMessageFor('X', true, true), WM_SYSKEYDOWN);
  EXPECT_EQ(KeyMessageFor(VK_F4, true, true), WM_SYSKEYDOWN);
  EXPECT_EQ(KeyMessageFor(VK_F10, true, false), WM_SYSKEYDOWN);
  EXPECT_EQ(KeyMessageFor(VK_F10, false, false), WM_SYSKEYUP);
  EXPECT_EQ(KeyMessageFor(VK_ESCAPE, false, false), WM_KEYUP);
  EXPECT_EQ(KeyMessageParam(true, false, false), 1);
  EXPECT_EQ(KeyMessageParam(true, false, true), 1 | (1 << 29));
  EXPECT_EQ(KeyMessageParam(true, true, false), 1 | (1 << 30));
  EXPECT_EQ(static_cast<uint32_t>(KeyMessageParam(false, false, false)), 0xC0000001u);
}

TEST(Icon, HasTransparentCornersAndAPictureInside) {
  std::vector<uint32_t> icon(32 * 32);
  DrawIcon(icon.data());
  EXPECT_EQ(icon[0] >> 24, 0u);
  EXPECT_EQ(icon[31 * 32 + 31] >> 24, 0u);
  EXPECT_EQ(icon[17 * 32 + 16] >> 24, 0xFFu);
  EXPECT_NE(icon[17 * 32 + 16], icon[3 * 32 + 16]);  // planet against the sky
}

DialogResource Chooser() {
  return {"Morvane Demos for Windows 95",
          "Choose a demonstration.",
          {{101, "Play &Cobalt Vector II Demo", true}, {102, "Play The &Lantern Demo", false}, {IDCANCEL, "E&xit", false}}};
}

bool Inside(const SDL_Rect& inner, const SDL_Rect& outer) {
  return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.w <= outer.x + outer.w &&
         inner.y + inner.h <= outer.y + outer.h;
}

// At every window size: a whole scale that stays readable, the panel centred
// and inside, the buttons in order inside it without overlapping, each
// label inside its button, the separator between the last two.
TEST(Chooser, LayoutIsCentredWholeScaledAndOrderedAtAnySize) {
  const DialogResource dialog = Chooser();
  const struct {
    int width, height, min_scale;
  } rows[] = {{320, 200, 1}, {640, 480, 2}, {960, 720, 2}, {1280, 1024, 3}, {1920, 1080, 3}, {3840, 2160, 6}};
  for (const auto& r : rows) {
    const ChooserLayout l = LayOutChooser(dialog, r.width, r.height);
    SCOPED_TRACE(std::to_string(r.width) + "x" + std::to_string(r.height));
    EXPECT_GE(l.scale, r.min_scale);
    EXPECT_TRUE(Inside(l.panel, {0, 0, r.width, r.height}));
    EXPECT_LE(std::abs(2 * l.panel.x + l.panel.w - r.width), 1);
    EXPECT_LE(std::abs(2 * l.panel.y + l.panel.h - r.height), 1);
    EXPECT_LT(l.panel.w, r.width * 95 / 100);  // a panel, not a wall
    ASSERT_EQ(l.buttons.size(), 3u);
    EXPECT_LT(l.title_bar.y + l.title_bar.h, l.buttons[0].y);
    for (size_t i = 0; i < 3; ++i) {
      EXPECT_TRUE(Inside(l.buttons[i], l.panel)) << i;
      const int text = TextWidth(WithoutAccessKeys(dialog.buttons[i].text), l.scale);
      EXPECT_TRUE(Inside({l.labels[i].x, l.labels[i].y, text, kGlyphHeight * l.scale}, l.buttons[i])) << i;
      if (i > 0) {
        EXPECT_GT(l.buttons[i].y, l.buttons[i - 1].y + l.buttons[i - 1].h) << i;
      }
      const SDL_Point centre{l.buttons[i].x + l.buttons[i].w / 2, l.buttons[i].y + l.buttons[i].h / 2};
      EXPECT_EQ(ButtonAt(l, centre.x, centre.y), static_cast<int>(i));
    }
    EXPECT_GT(l.separator.y, l.buttons[1].y + l.buttons[1].h);
    EXPECT_LT(l.separator.y + l.separator.h, l.buttons[2].y);
    EXPECT_EQ(ButtonAt(l, l.panel.x + 1, l.panel.y + 1), -1);
  }
}

// Keys and the mouse: the answer (0: none yet) and where the focus ends.
TEST(Chooser, KeysAndMouseMoveTheFocusAndAnswer) {
  const DialogResource dialog = Chooser();
  struct Key {
    SDL_Keycode key;
    Uint16 mod = 0;
  };
  const struct {
    std::vector<Key> keys;
    int answer, focus;
  } rows[] = {
      {{{SDLK_RETURN}}, 101, 0},  // the default button
      {{{SDLK_DOWN}, {SDLK_KP_ENTER}}, 102, 1},
      {{{SDLK_DOWN}, {SDLK_DOWN}, {SDLK_DOWN}}, 0, 0},  // round the end
      {{{SDLK_UP}, {SDLK_SPACE}}, IDCANCEL, 2},
      {{{SDLK_TAB}, {SDLK_TAB, KMOD_LSHIFT}, {SDLK_TAB, KMOD_LSHIFT}}, 0, 2},
      {{{SDLK_ESCAPE}}, IDCANCEL, 0},
      {{{SDLK_l}}, 102, 1},
      {{{SDLK_x, KMOD_LALT}}, IDCANCEL, 2},
      {{{SDLK_q}, {SDLK_F1}, {SDLK_c}}, 101, 0},  // keys of no button do nothing
  };
  for (const auto& r : rows) {
    ChooserState state = StartChooser(dialog);
    int answer = 0;
    for (const Key& k : r.keys)
      if (auto a = ChooserKey(dialog, state, k.key, k.mod)) {
        answer = *a;
        break;
      }
    EXPECT_EQ(std::pair(answer, state.focus), std::pair(r.answer, r.focus)) << r.keys.size() << " keys";
  }

  const ChooserLayout l = LayOutChooser(dialog, 640, 480);
  auto at = [&](int i) { return SDL_Point{l.buttons[i].x + 2, l.buttons[i].y + 2}; };
  ChooserState state = StartChooser(dialog);
  EXPECT_FALSE(ChooserMouse(dialog, l, state, at(1).x, at(1).y, 0));
  EXPECT_EQ(state.hover, 1);
  EXPECT_FALSE(ChooserMouse(dialog, l, state, at(0).x, at(0).y, 1));  // down on one, up on another
  EXPECT_FALSE(ChooserMouse(dialog, l, state, at(2).x, at(2).y, -1));
  EXPECT_FALSE(ChooserMouse(dialog, l, state, at(2).x, at(2).y, -1));  // up without a down
  EXPECT_FALSE(ChooserMouse(dialog, l, state, at(1).x, at(1).y, 1));
  EXPECT_EQ(ChooserMouse(dialog, l, state, at(1).x, at(1).y, -1), std::optional<int>(102));
}

TEST(Glyphs, PrintableAsciiFromTheConsoleFontAndAccessMarksDropped) {
  auto count = [](char c) {
    int set = 0;
    for (int y = 0; y < kGlyphHeight; ++y)
      for (int x = 0; x < kGlyphWidth; ++x) set += GlyphPixel(c, x, y);
    return set;
  };
  EXPECT_EQ(count(' '), 0);
  for (char c : std::string("AXx0~&"))
    EXPECT_GT(count(c), 6) << c;
  // Distinct letters differ; a character outside the table shows as '?'.
  EXPECT_NE(std::vector<uint8_t>(kGlyphRows['O' - ' '], kGlyphRows['O' - ' '] + kGlyphHeight),
            std::vector<uint8_t>(kGlyphRows['Q' - ' '], kGlyphRows['Q' - ' '] + kGlyphHeight));
  for (int y = 0; y < kGlyphHeight; ++y) EXPECT_EQ(GlyphPixel('\x7F', 3, y), GlyphPixel('?', 3, y));
  int key = -2;
  EXPECT_EQ(WithoutAccessKeys("E&xit", &key), "Exit");
  EXPECT_EQ(key, 1);
  EXPECT_EQ(WithoutAccessKeys("A && B", &key), "A & B");
  EXPECT_EQ(key, -1);
}

// The looping buffer on the file driver: what the device takes is written
// to a file, without any sound hardware.
class SoundBuffer : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/mv-sdl-audio-XXXXXX";
    int fd = mkstemp(pattern);
    ASSERT_GE(fd, 0);
    close(fd);
    path_ = pattern;
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", path_.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "1", 1);  // pull quickly
    ASSERT_EQ(CreateDirectSound(&sound_), DS_OK);
    format_ = WAVEFORMATEX{WAVE_FORMAT_PCM, 1, 22050, 22050, 1, 8, 0};
    DSBUFFERDESC desc{sizeof(DSBUFFERDESC), 0xE0, 5120, 0, &format_};
    ASSERT_EQ(sound_->CreateSoundBuffer(&desc, &buffer_, nullptr), DS_OK);
  }
  void TearDown() override {
    if (buffer_) buffer_->Release();
    if (sound_) sound_->Release();
    EXPECT_EQ(OpenAudioBuffers(), 0);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    unlink(path_.c_str());
  }
  std::vector<uint8_t> Written() {
    std::ifstream in(path_, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }

  std::string path_;
  WAVEFORMATEX format_{};
  IDirectSound* sound_ = nullptr;
  IDirectSoundBuffer* buffer_ = nullptr;
};

TEST_F(SoundBuffer, LockWrapsInTwoPiecesUnlockStoresBothAndAStoppedCursorStays) {
  void *a = nullptr, *b = nullptr;
  DWORD na = 0, nb = 0;
  ASSERT_EQ(buffer_->Lock(5000, 240, &a, &na, &b, &nb, 0), DS_OK);
  EXPECT_EQ(na, 120u);
  EXPECT_EQ(nb, 120u);
  // A second lock before the unlock is refused.
  void *c = nullptr, *d = nullptr;
  DWORD nc = 0, nd = 0;
  EXPECT_NE(buffer_->Lock(0, 10, &c, &nc, &d, &nd, 0), DS_OK);
  std::memset(a, 0x11, na);
  std::memset(b, 0x22, nb);
  ASSERT_EQ(buffer_->Unlock(a, na, b, nb), DS_OK);
  ASSERT_EQ(buffer_->Lock(0, 5120, &a, &na, &b, &nb, 0), DS_OK);
  const uint8_t* all = static_cast<const uint8_t*>(a);
  EXPECT_EQ(all[5000], 0x11);
  EXPECT_EQ(all[5119], 0x11);
  EXPECT_EQ(all[0], 0x22);
  EXPECT_EQ(all[119], 0x22);
  EXPECT_EQ(all[120], 0x80);  // silence elsewhere
  EXPECT_EQ(buffer_->Unlock(a, na, nullptr, 0), DS_OK);
  // Out of range requests are refused.
  EXPECT_NE(buffer_->Lock(5120, 1, &a, &na, &b, &nb, 0), DS_OK);
  EXPECT_NE(buffer_->Lock(0, 6000, &a, &na, &b, &nb, 0), DS_OK);
  EXPECT_NE(buffer_->SetCurrentPosition(5120), DS_OK);
  // A stopped buffer keeps its cursor.
  ASSERT_EQ(buffer_->SetCurrentPosition(1000), DS_OK);
  SDL_Delay(20);
  DWORD cursor = 7;
  buffer_->GetCurrentPosition(&cursor, nullptr);
  EXPECT_EQ(cursor, 1000u);
  EXPECT_EQ(buffer_->Restore(), DS_OK);
}

TEST_F(SoundBuffer, TheDeviceTakesTheBufferFromThePlayCursorWhilePlaying) {
  void *a = nullptr, *b = nullptr;
  DWORD na = 0, nb = 0;
  ASSERT_EQ(buffer_->Lock(0, 5120, &a, &na, &b, &nb, 0), DS_OK);
  for (DWORD i = 0; i < na; ++i) static_cast<uint8_t*>(a)[i] = static_cast<uint8_t>(i / 1024 + 1);
  ASSERT_EQ(buffer_->Unlock(a, na, b, nb), DS_OK);
  ASSERT_EQ(buffer_->SetCurrentPosition(2048), DS_OK);
  ASSERT_EQ(buffer_->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
  // Wait for the cursor to come round to its start again (the file driver
  // pulls as fast as it is let).
  DWORD cursor = 0, seen_wrap = 0;
  for (int i = 0; i < 5000 && seen_wrap < 2; ++i) {
    DWORD previous = cursor;
    buffer_->GetCurrentPosition(&cursor, nullptr);
    if (cursor < previous) ++seen_wrap;
    SDL_Delay(1);
  }
  ASSERT_EQ(buffer_->Stop(), DS_OK);
  buffer_->Release();  // closes the device: the file is complete
  buffer_ = nullptr;
  std::vector<uint8_t> written = Written();
  // Silence before Play, then block 3 (value 3) from the cursor at 2048 on,
  // then blocks 4, 5 and round to 1.
  size_t start = 0;
  while (start < written.size() && written[start] == 0x80) ++start;
  ASSERT_LT(start + 4096, written.size());
  EXPECT_EQ(written[start], 3);
  EXPECT_EQ(written[start + 1023], 3);
  EXPECT_EQ(written[start + 1024], 4);
  EXPECT_EQ(written[start + 2048], 5);
  EXPECT_EQ(written[start + 3072], 1);
}

TEST(SoundDevice, BadFormatsAndMissingDriversFailCreation) {
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
  IDirectSound* sound = nullptr;
  ASSERT_EQ(CreateDirectSound(&sound), DS_OK);
  IDirectSoundBuffer* buffer = nullptr;
  WAVEFORMATEX bad{3, 1, 22050, 22050, 1, 8, 0};
  DSBUFFERDESC desc{sizeof(DSBUFFERDESC), 0, 5120, 0, &bad};
  EXPECT_EQ(sound->CreateSoundBuffer(&desc, &buffer, nullptr), DSERR_BADFORMAT);
  EXPECT_EQ(buffer, nullptr);
  WAVEFORMATEX good{WAVE_FORMAT_PCM, 1, 22050, 22050, 1, 8, 0};
  desc.lpwfxFormat = &good;
  desc.dwBufferBytes = 0;
  EXPECT_NE(sound->CreateSoundBuffer(&desc, &buffer, nullptr), DS_OK);
  EXPECT_NE(sound->CreateSoundBuffer(nullptr, &buffer, nullptr), DS_OK);
  sound->Release();
  SDL_QuitSubSystem(SDL_INIT_AUDIO);

  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  EXPECT_EQ(CreateDirectSound(&sound), DSERR_NODRIVER);
  EXPECT_EQ(sound, nullptr);
  unsetenv("SDL_AUDIODRIVER");
}

}  // namespace
}  // namespace platform::sdl

#endif  // MV_HAVE_SDL
