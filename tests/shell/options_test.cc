#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/keystate.h"
#include "platform/messages.h"
#include "shell/options.h"

namespace {

PlatformOptions Parse(std::vector<const char*> words) {
  words.insert(words.begin(), "morvane-demos");
  return ParsePlatformOptions(static_cast<int>(words.size()), words.data());
}

TEST(Options, PlatformOptionsComeOffAndTheRestIsTheCommandLine) {
  PlatformOptions o = Parse({"--platform=headless", "/cobalt2", "--data", "some dir", "/D1",
                             "--clock=real", "--capture=out", "--audio-out=a.wav"});
  EXPECT_TRUE(o.error.empty()) << o.error;
  EXPECT_EQ(o.backend, PlatformOptions::Backend::kHeadless);
  EXPECT_EQ(o.clock, PlatformOptions::Clock::kReal);
  EXPECT_EQ(o.data_dir, "some dir");
  EXPECT_EQ(o.capture_dir, "out");
  EXPECT_EQ(o.audio_out, "a.wav");
  EXPECT_EQ(o.command_line, "/cobalt2 /D1");
  EXPECT_FALSE(o.instance_dir_given);

  PlatformOptions rest = Parse({"--", "--help", "/d2"});
  EXPECT_FALSE(rest.help);
  EXPECT_EQ(rest.command_line, "--help /d2");
  EXPECT_EQ(Parse({}).backend, PlatformOptions::Backend::kSdl);
}

TEST(Options, BadOptionsAreReported) {
  EXPECT_FALSE(Parse({"--platform=x11"}).error.empty());
  EXPECT_FALSE(Parse({"--clock=slow"}).error.empty());
  EXPECT_FALSE(Parse({"--frobnicate"}).error.empty());
  EXPECT_FALSE(Parse({"--data"}).error.empty());
  EXPECT_FALSE(Parse({"--keys=100:NoSuchKey"}).error.empty());
  EXPECT_FALSE(Parse({"--keys=Escape"}).error.empty());
  EXPECT_FALSE(Parse({"--keys=-5:a"}).error.empty());
  EXPECT_FALSE(Parse({"--activate=10:2"}).error.empty());
  EXPECT_FALSE(Parse({"--choice=101,maybe"}).error.empty());
  // A value is never one of the player's words or an option, nor empty.
  EXPECT_EQ(Parse({"--capture", "/THELANTERN"}).error, "option --capture needs a value");
  EXPECT_EQ(Parse({"--data", "--window"}).error, "option --data needs a value");
  EXPECT_FALSE(Parse({"--audio-out="}).error.empty());
  EXPECT_FALSE(Parse({"--window=1"}).error.empty());
  EXPECT_FALSE(Parse({"--timeout=2000001"}).error.empty());
}

TEST(Options, ChoicesByNumberAndName) {
  PlatformOptions o = Parse({"--choice=101,lantern,Escape,-1,enter"});
  ASSERT_TRUE(o.error.empty());
  EXPECT_EQ(o.choices, (std::vector<int>{101, 102, 2, -1, 101}));
  EXPECT_TRUE(Parse({"--choice="}).choices_given);
}

TEST(Options, KeyNames) {
  ScriptedKey k;
  ASSERT_TRUE(ParseKeyName("Escape", &k));
  EXPECT_EQ(k.virtual_key, VK_ESCAPE);
  EXPECT_EQ(k.message, WM_KEYDOWN);
  ASSERT_TRUE(ParseKeyName("Alt+X", &k));
  EXPECT_EQ(k.virtual_key, 'X');
  EXPECT_EQ(k.message, WM_SYSKEYDOWN);
  EXPECT_TRUE(k.alt);
  ASSERT_TRUE(ParseKeyName("alt+f4", &k));
  EXPECT_EQ(k.virtual_key, VK_F4);
  EXPECT_EQ(k.message, WM_SYSKEYDOWN);
  ASSERT_TRUE(ParseKeyName("Shift+2", &k));
  EXPECT_EQ(k.virtual_key, '2');
  EXPECT_TRUE(k.shift);
  EXPECT_FALSE(k.alt);
  ASSERT_TRUE(ParseKeyName("Ctrl+A", &k));
  EXPECT_EQ(k.virtual_key, 'A');
  EXPECT_TRUE(k.control);
  ASSERT_TRUE(ParseKeyName("F11", &k));
  EXPECT_EQ(k.virtual_key, VK_F11);
  ASSERT_TRUE(ParseKeyName("F10", &k));
  EXPECT_EQ(k.message, WM_SYSKEYDOWN);
  ASSERT_TRUE(ParseKeyName("a", &k));
  EXPECT_EQ(k.virtual_key, 'A');
  EXPECT_FALSE(k.shift);
  ASSERT_TRUE(ParseKeyName("VK0", &k));
  EXPECT_EQ(k.virtual_key, 0);
  ASSERT_TRUE(ParseKeyName("Shift++", &k) == false);
  EXPECT_FALSE(ParseKeyName("", &k));
  EXPECT_FALSE(ParseKeyName("Hyper+A", &k));
  EXPECT_FALSE(ParseKeyName("F25", &k));
  EXPECT_FALSE(ParseKeyName("VK256", &k));
}

TEST(Options, KeysAtOneTimeAreSpreadSoEachHoldsItsModifiers) {
  PlatformOptions o = Parse({"--keys=50:a,50:Shift+2,40:Alt+X,50:b"});
  ASSERT_TRUE(o.error.empty());
  ASSERT_EQ(o.keys.size(), 4u);
  EXPECT_EQ(o.keys[0].time, 40u);
  EXPECT_EQ(o.keys[1].time, 50u);
  EXPECT_EQ(o.keys[2].time, 51u);
  EXPECT_EQ(o.keys[3].time, 52u);
  EXPECT_EQ(o.keys[2].virtual_key, '2');

  EXPECT_EQ(ScriptedKeyState(o.keys, 39, VK_MENU), 0);
  EXPECT_NE(ScriptedKeyState(o.keys, 40, VK_MENU), 0);
  EXPECT_NE(ScriptedKeyState(o.keys, 49, VK_LMENU), 0);
  EXPECT_EQ(ScriptedKeyState(o.keys, 50, VK_MENU), 0);
  EXPECT_EQ(ScriptedKeyState(o.keys, 50, VK_SHIFT), 0);
  EXPECT_NE(ScriptedKeyState(o.keys, 51, VK_SHIFT), 0);
  EXPECT_NE(ScriptedKeyState(o.keys, 51, VK_LSHIFT) & 0x80, 0);
  EXPECT_EQ(ScriptedKeyState(o.keys, 52, VK_SHIFT), 0);
  EXPECT_EQ(ScriptedKeyState(o.keys, 52, VK_CONTROL), 0);
}

TEST(Options, ScreenTimedInputIsKeptApart) {
  PlatformOptions o = Parse({"--keys=@20:Escape,5:a,@3:b,@3:Alt+X", "--activate=@7:0,100:1"});
  ASSERT_TRUE(o.error.empty()) << o.error;
  ASSERT_EQ(o.keys.size(), 1u);
  ASSERT_EQ(o.screen_keys.size(), 3u);
  EXPECT_EQ(o.screen_keys[0].time, 3u);
  EXPECT_EQ(o.screen_keys[1].time, 4u);  // same screen: spread
  EXPECT_EQ(o.screen_keys[1].message, WM_SYSKEYDOWN);
  EXPECT_EQ(o.screen_keys[2].time, 20u);
  EXPECT_TRUE(o.screen_keys[2].on_screen);
  ASSERT_EQ(o.screen_activations.size(), 1u);
  EXPECT_EQ(o.screen_activations[0].active, 0);
  ASSERT_EQ(o.activations.size(), 1u);
  EXPECT_EQ(o.activations[0].time, 100u);
  EXPECT_FALSE(Parse({"--keys=@:a"}).error.empty());
}

}  // namespace
