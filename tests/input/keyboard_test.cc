#include "input/keyboard.h"

#include <gtest/gtest.h>

#include "platform/keystate.h"

namespace {

constexpr UINT kKeyDown = 256;
constexpr UINT kSysKeyDown = 260;

class KeyboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::ClearKeyState();
    platform::SetKeyStateSource(nullptr);
    ASSERT_EQ(InitKeyboard(), 0);
  }
  void TearDown() override {
    ShutdownKeyboard();
    platform::ClearKeyState();
    platform::SetKeyStateSource(nullptr);
  }
  // A key press with the given keys held.
  static uint16_t Press(int vk, std::initializer_list<int> held = {}, UINT message = kKeyDown) {
    for (int h : held) platform::SetKeyDown(h, true);
    OnKeyMessage(message, static_cast<WPARAM>(vk), 0);
    for (int h : held) platform::SetKeyDown(h, false);
    return ReadKey(1);
  }
};

TEST_F(KeyboardTest, KeyState) {
  EXPECT_EQ(GetKeyState(VK_SHIFT), 0);
  platform::SetKeyDown(VK_RSHIFT, true);
  EXPECT_NE(GetKeyState(VK_SHIFT) & 0x8000, 0);
  EXPECT_NE(GetKeyState(VK_SHIFT) & 0x80, 0);
  EXPECT_EQ(GetKeyState(VK_LSHIFT), 0);
  platform::SetKeyDown(VK_RSHIFT, false);
  platform::SetKeyDown(VK_LMENU, true);
  EXPECT_LT(GetKeyState(VK_MENU), 0);
  platform::SetKeyDown(999, true);  // out of range: ignored
  EXPECT_EQ(GetKeyState(999), 0);
  platform::SetKeyStateSource([](int vk) -> int16_t { return vk == VK_CONTROL ? -128 : 0; });
  EXPECT_EQ(GetKeyState(VK_MENU), 0);
  EXPECT_EQ(Press('A'), 0x4061);
}

TEST_F(KeyboardTest, Translation) {
  // One key of each kind: shifted digits and letters, control and alt flags,
  // function keys, modifier keys by side, keypad, navigation, punctuation,
  // and codes outside the table.
  EXPECT_EQ(Press('2', {VK_SHIFT}), 64);
  EXPECT_EQ(Press('0', {VK_LSHIFT}), ')');
  EXPECT_EQ(Press('Q', {VK_SHIFT}), 'Q');
  EXPECT_EQ(Press('A', {VK_CONTROL}), 0x4061);
  EXPECT_EQ(Press('X', {VK_MENU}, kSysKeyDown), 0x8078);
  EXPECT_EQ(Press(VK_F4, {VK_MENU}, kSysKeyDown), kKeyAltF4);
  EXPECT_EQ(Press(VK_ESCAPE), kKeyEscape);
  EXPECT_EQ(Press(VK_F1), 315);
  EXPECT_EQ(Press(VK_F11), 352);
  EXPECT_EQ(Press(VK_F11, {VK_SHIFT}), 350);
  EXPECT_EQ(Press(VK_F10, {}, kSysKeyDown), 0x8000 | 324);
  EXPECT_EQ(Press(VK_SHIFT, {VK_LSHIFT}), 356);
  EXPECT_EQ(Press(VK_SHIFT, {VK_RSHIFT}), 357);
  EXPECT_EQ(Press(VK_CONTROL, {VK_CONTROL}), 0x4000 | 360);
  EXPECT_EQ(Press(VK_NUMPAD0 + 7), 0x2037);
  EXPECT_EQ(Press(VK_DELETE), 339);
  EXPECT_EQ(Press(192, {VK_SHIFT}), '~');
  EXPECT_EQ(Press(220), 92);
  for (int vk : {1, 200, 240}) EXPECT_EQ(Press(vk), vk);  // below 3, unlisted, above 222
  EXPECT_EQ(TranslateKey(0x7FFFF) & ~kKeyMask, 0);  // flags never come from the key
}

TEST_F(KeyboardTest, KeysThatTranslateToZeroAreDropped) {
  for (int vk : {3, 12, 19, VK_CAPITAL, 41, 43, 44, 47, VK_SEPARATOR, 124, 135, VK_SCROLL}) {
    EXPECT_EQ(TranslateKey(vk), 0) << vk;
    OnKeyMessage(kKeyDown, static_cast<WPARAM>(vk), 0);
  }
  OnKeyMessage(kKeyDown, 0, 0);  // a key code of 0
  EXPECT_EQ(ReadKey(0), 0);
  OnKeyMessage(kKeyDown, VK_CAPITAL, 0);
  OnKeyMessage(kKeyDown, 'B', 0);
  EXPECT_EQ(ReadKey(1), 'b');
  EXPECT_EQ(ReadKey(1), 0);
}

TEST_F(KeyboardTest, OtherMessagesAreIgnored) {
  OnKeyMessage(257, 'A', 0);  // key up
  OnKeyMessage(258, 'A', 0);  // character
  OnMouseMessage(513, 0, 0);
  EXPECT_EQ(ReadKey(1), 0);
}

TEST_F(KeyboardTest, QueueHolds255AndDropsThe256th) {
  for (int i = 0; i < 256; ++i) OnKeyMessage(kKeyDown, i % 2 ? 'A' : 'B', 0);
  EXPECT_EQ(ReadKey(0), 'b');
  EXPECT_EQ(ReadKey(0), 'b');  // a peek leaves it
  int count = 0;
  while (uint16_t code = ReadKey(1)) {
    EXPECT_EQ(code, count % 2 ? 'a' : 'b');
    ++count;
  }
  EXPECT_EQ(count, 255);
  EXPECT_EQ(ReadKey(1), 0);
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
