#include <gtest/gtest.h>

#include <string>
#include <tuple>
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
  // The end-to-end command-line table checks the messages of the others.
  const std::vector<std::vector<const char*>> bad = {
      {"--platform=x11"}, {"--clock=slow"}, {"--keys=100:NoSuchKey"}, {"--keys=Escape"},
      {"--keys=-5:a"}, {"--keys=@:a"}, {"--activate=10:2"}, {"--choice=101,maybe"},
      {"--audio-out="}, {"--timeout=2000001"}};
  for (const auto& words : bad) EXPECT_FALSE(Parse(words).error.empty()) << words[0];
}

TEST(Options, ChoicesByNumberAndName) {
  PlatformOptions o = Parse({"--choice=101,lantern,Escape,-1,enter"});
  ASSERT_TRUE(o.error.empty());
  EXPECT_EQ(o.choices, (std::vector<int>{101, 102, 2, -1, 101}));
  EXPECT_TRUE(Parse({"--choice="}).choices_given);
}

TEST(Options, KeyNames) {
  const struct {
    const char* name;
    int key;
    UINT message;
    bool shift, control, alt;
  } good[] = {
      {"Escape", VK_ESCAPE, WM_KEYDOWN, false, false, false},
      {"Alt+X", 'X', WM_SYSKEYDOWN, false, false, true},
      {"alt+f4", VK_F4, WM_SYSKEYDOWN, false, false, true},
      {"Shift+2", '2', WM_KEYDOWN, true, false, false},
      {"Ctrl+A", 'A', WM_KEYDOWN, false, true, false},
      {"F11", VK_F11, WM_KEYDOWN, false, false, false},
      {"F10", VK_F10, WM_SYSKEYDOWN, false, false, false},
      {"a", 'A', WM_KEYDOWN, false, false, false},
      {"VK0", 0, WM_KEYDOWN, false, false, false},
  };
  for (const auto& g : good) {
    ScriptedKey k;
    ASSERT_TRUE(ParseKeyName(g.name, &k)) << g.name;
    EXPECT_EQ(std::tuple(k.virtual_key, k.message, k.shift, k.control, k.alt),
              std::tuple(g.key, g.message, g.shift, g.control, g.alt))
        << g.name;
  }
  ScriptedKey k;
  for (const char* bad : {"Shift++", "", "Hyper+A", "F25", "VK256"})
    EXPECT_FALSE(ParseKeyName(bad, &k)) << bad;
}

TEST(Options, KeysAtOneTimeAreSpreadSoEachHoldsItsModifiers) {
  PlatformOptions o = Parse({"--keys=50:a,50:Shift+2,40:Alt+X,50:b"});
  ASSERT_TRUE(o.error.empty());
  std::vector<uint32_t> times;
  for (const ScriptedKey& k : o.keys) times.push_back(k.time);
  EXPECT_EQ(times, (std::vector<uint32_t>{40, 50, 51, 52}));
  EXPECT_EQ(o.keys[2].virtual_key, '2');
  // Alt held from 40 to 49, Shift only at 51.
  const struct {
    uint32_t time;
    int key;
    bool down;
  } states[] = {{39, VK_MENU, false},  {40, VK_MENU, true},   {49, VK_LMENU, true},
                {50, VK_MENU, false},  {50, VK_SHIFT, false}, {51, VK_SHIFT, true},
                {51, VK_LSHIFT, true}, {52, VK_SHIFT, false}, {52, VK_CONTROL, false}};
  for (const auto& s : states)
    EXPECT_EQ((ScriptedKeyState(o.keys, s.time, s.key) & 0x80) != 0, s.down) << s.time << " " << s.key;
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
}

}  // namespace
