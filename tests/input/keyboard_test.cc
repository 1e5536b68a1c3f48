#include "input/keyboard.h"

#include <gtest/gtest.h>

#include "platform/backend.h"
#include "platform/keystate.h"
#include "platform/testing.h"

namespace {

constexpr UINT kKeyDown = 256;
constexpr UINT kSysKeyDown = 260;

class KeyboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::ClearKeyState();
    platform::Uninstall();
    ASSERT_EQ(InitKeyboard(), 0);
  }
  void TearDown() override { ShutdownKeyboard(); }
  // A key press with `held` down (0: none); returns what the queue gives.
  static uint16_t Press(int vk, int held = 0, UINT message = kKeyDown) {
    if (held != 0) platform::SetKeyDown(held, true);
    OnKeyMessage(message, static_cast<WPARAM>(vk), 0);
    if (held != 0) platform::SetKeyDown(held, false);
    return ReadKey(1);
  }
};

TEST_F(KeyboardTest, KeyState) {
  platform::SetKeyDown(VK_RSHIFT, true);
  EXPECT_EQ(GetKeyState(VK_SHIFT) & 0x8080, 0x8080);
  EXPECT_EQ(GetKeyState(VK_LSHIFT), 0);
  platform::SetKeyDown(VK_RSHIFT, false);
  platform::SetKeyDown(VK_LMENU, true);
  EXPECT_LT(GetKeyState(VK_MENU), 0);
  platform::SetKeyDown(999, true);  // out of range: ignored
  EXPECT_EQ(GetKeyState(999), 0);
  platform::Backend backend;
  backend.key_state = [](int vk) -> int16_t { return vk == VK_CONTROL ? -128 : 0; };
  platform::Install(backend);
  EXPECT_EQ(GetKeyState(VK_MENU), 0);
  EXPECT_EQ(Press('A'), 0x4061);
}

TEST_F(KeyboardTest, Translation) {
  constexpr int S = VK_SHIFT;
  struct Case {
    int vk, held;
    uint16_t key;
    UINT message = kKeyDown;
  };
  // The named examples with their flags, then every named entry of the table;
  // codes below 3, unlisted and above 222 pass unchanged.
  // clang-format off
  const Case cases[] = {
      {'2', S, 64},  {'0', VK_LSHIFT, ')'}, {'Q', S, 'Q'}, {'A', VK_CONTROL, 0x4061},
      {'X', VK_MENU, 0x8078, kSysKeyDown},  {VK_F4, VK_MENU, kKeyAltF4, kSysKeyDown},
      {VK_F10, 0, 0x8000 | 324, kSysKeyDown}, {VK_ESCAPE, 0, kKeyEscape}, {VK_F1, 0, 315},
      {VK_F11, 0, 352},  {VK_F11, S, 350},  {VK_SHIFT, VK_LSHIFT, 356}, {VK_SHIFT, VK_RSHIFT, 357},
      {VK_CONTROL, VK_CONTROL, 0x4000 | 360}, {192, S, '~'}, {220, 0, 92},
      {8, 0, 8},      {9, 0, 9},        {13, 0, 13},     {32, 0, 32},      {18, 0, 359},
      {33, 0, 329},   {34, 0, 337},     {35, 0, 335},    {36, 0, 327},     {37, 0, 331},
      {38, 0, 328},   {39, 0, 333},     {40, 0, 336},    {45, 0, 338},     {46, 0, 339},
      {57, S, '('},   {54, S, '^'},     {48, 0, '0'},    {90, 0, 'z'},     {96, 0, 0x2030},
      {105, 0, 0x2039}, {106, 0, 0x202A}, {107, 0, 0x202B}, {109, 0, 0x202D}, {110, 0, 0x202E},
      {111, 0, 0x202F}, {121, 0, 324},  {112, S, 340},   {121, S, 349},    {123, 0, 353},
      {123, S, 351},  {144, 0, 325},    {186, 0, ';'},   {186, S, ':'},    {187, S, '+'},
      {188, 0, ','},  {189, S, '_'},    {190, S, '>'},   {191, 0, '/'},    {192, 0, '`'},
      {219, 0, '['},  {219, S, '{'},    {220, S, 124},   {221, 0, ']'},    {222, 0, 39},
      {222, S, 34},   {42, 0, 42},      {1, 0, 1},       {2, 0, 2},        {200, 0, 200},
      {223, 0, 223},  {240, 0, 240},
  };
  // clang-format on
  for (const Case& c : cases)
    EXPECT_EQ(Press(c.vk, c.held, c.message), c.key) << c.vk << " " << c.held;
  platform::SetKeyDown(VK_LMENU, true);
  EXPECT_EQ(TranslateKey(18), 358);
  EXPECT_EQ(TranslateKey(0x7FFFF) & ~kKeyMask, 0);  // flags never come from the key
}

TEST_F(KeyboardTest, OnlyACodeThatIsZeroAsAWholeIsDropped) {
  for (int vk : {3, 12, 19, VK_CAPITAL, 41, 43, 44, 47, VK_SEPARATOR, 124, 135, VK_SCROLL, 0})
    EXPECT_EQ(Press(vk), 0) << vk;
  for (UINT message : {257u, 258u}) OnKeyMessage(message, 'A', 0);  // key up, character
  OnMouseMessage(513, 0, 0);  // and mouse messages are ignored
  EXPECT_EQ(ReadKey(1), 0);
  // The flags go into the code first: Alt or Ctrl with such a key is queued.
  EXPECT_EQ(Press(VK_CAPITAL, VK_MENU, kSysKeyDown), 0x8000);
  EXPECT_EQ(Press(VK_PAUSE, VK_CONTROL), 0x4000);
  EXPECT_EQ(Press(0, VK_CONTROL, kSysKeyDown), 0xC000);
}

TEST_F(KeyboardTest, QueueHolds255AndDropsThe256th) {
  for (int i = 0; i < 256; ++i) OnKeyMessage(kKeyDown, i % 2 ? 'A' : 'B', 0);
  EXPECT_EQ(ReadKey(0), 'b');
  EXPECT_EQ(ReadKey(0), 'b');  // a peek leaves it
  int count = 0;
  for (uint16_t code; (code = ReadKey(1)) != 0; ++count) EXPECT_EQ(code, count % 2 ? 'a' : 'b');
  EXPECT_EQ(count, 255);
  // Around the ring: tail passes 255 and goes on at 0.
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < 200; ++i) OnKeyMessage(kKeyDown, '1' + i % 9, 0);
    for (int i = 0; i < 200; ++i) ASSERT_EQ(ReadKey(1), '1' + i % 9);
    EXPECT_EQ(ReadKey(1), 0);
  }
}

TEST_F(KeyboardTest, OnlyTheFirstStartEmptiesTheQueue) {
  OnKeyMessage(kKeyDown, 'C', 0);
  EXPECT_EQ(InitKeyboard(), 0);  // nested
  EXPECT_EQ(ReadKey(0), 'c');
  ShutdownKeyboard();
  ShutdownKeyboard();
  EXPECT_EQ(ReadKey(0), 'c');  // stopping keeps the codes
  EXPECT_EQ(InitKeyboard(), 0);
  EXPECT_EQ(ReadKey(0), 0);
}

}  // namespace
