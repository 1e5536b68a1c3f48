// Step order of queueing a key, and translation table entries the main key
// tests do not reach.
#include <gtest/gtest.h>

#include "input/keyboard.h"
#include "platform/keystate.h"

namespace {

constexpr UINT kKeyDown = 256;
constexpr UINT kSysKeyDown = 260;

class KeyFidelityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::ClearKeyState();
    platform::SetKeyStateSource(nullptr);
    InitKeyboard();
    while (ReadKey(1) != 0) {
    }
  }
  void TearDown() override {
    ShutdownKeyboard();
    platform::ClearKeyState();
  }
};

// The flags go into the code before the test for "no key": only a code that
// is 0 as a whole is dropped.
TEST_F(KeyFidelityTest, FlagsOfAKeyThatTranslatesToNothingAreQueued) {
  OnKeyMessage(kSysKeyDown, VK_CAPITAL, 0);
  EXPECT_EQ(ReadKey(1), 0x8000);
  platform::SetKeyDown(VK_CONTROL, true);
  OnKeyMessage(kKeyDown, VK_PAUSE, 0);
  OnKeyMessage(kSysKeyDown, 0, 0);
  platform::SetKeyDown(VK_CONTROL, false);
  EXPECT_EQ(ReadKey(1), 0x4000);
  EXPECT_EQ(ReadKey(1), 0xC000);
  OnKeyMessage(kKeyDown, VK_CAPITAL, 0);  // no flags: nothing
  OnKeyMessage(kKeyDown, 0, 0);
  EXPECT_EQ(ReadKey(1), 0);
}

TEST_F(KeyFidelityTest, EveryNamedKeyTranslates) {
  struct Case {
    int vk;
    bool shift;
    uint16_t key;
  };
  const Case cases[] = {
      {8, false, 8},        {9, false, 9},         {13, false, 13},      {32, false, 32},
      {17, false, 360},     {18, false, 359},      {33, false, 329},     {34, false, 337},
      {35, false, 335},     {36, false, 327},      {37, false, 331},     {38, false, 328},
      {39, false, 333},     {40, false, 336},      {45, false, 338},     {46, false, 339},
      {57, true, '('},      {54, true, '^'},       {48, false, '0'},     {90, false, 'z'},
      {96, false, 0x2030},  {105, false, 0x2039},  {106, false, 0x202A}, {107, false, 0x202B},
      {109, false, 0x202D}, {110, false, 0x202E},  {111, false, 0x202F}, {121, false, 324},
      {112, true, 340},     {121, true, 349},      {123, false, 353},    {123, true, 351},
      {144, false, 325},    {186, false, ';'},     {186, true, ':'},     {187, true, '+'},
      {188, false, ','},    {189, true, '_'},      {190, true, '>'},     {191, false, '/'},
      {192, false, '`'},    {219, false, '['},     {219, true, '{'},     {220, true, 124},
      {221, false, ']'},    {222, false, 39},      {222, true, 34},      {42, false, 42},
      {145, false, 0},      {108, false, 0},       {2, false, 2},        {223, false, 223},
  };
  for (const Case& c : cases) {
    platform::SetKeyDown(VK_SHIFT, c.shift);
    EXPECT_EQ(TranslateKey(c.vk), c.key) << c.vk << (c.shift ? " shifted" : "");
  }
  platform::SetKeyDown(VK_SHIFT, false);
  platform::SetKeyDown(VK_LMENU, true);
  EXPECT_EQ(TranslateKey(18), 358);
}

}  // namespace
