// The program switches that the command line fills.
#pragma once

#include <cstdint>

// Entry 0 gates text drawn with text flag 8, entries 1 to 3 enable the music,
// voice and effect channels, entry 4 is the debug level (0 off, 1, 2).
constexpr int kSwitchCount = 5;
constexpr int kSwitchGatedText = 0;
constexpr int kSwitchMusic = 1;
constexpr int kSwitchVoice = 2;
constexpr int kSwitchEffects = 3;
constexpr int kSwitchDebugLevel = 4;

// Callers pass 0 to 4; other indices answer 0 (the original did not check).
int32_t GetSwitch(int index);
// Ignores an index outside 0 to 4.
void SetSwitch(int index, int32_t value);
// Back to the defaults 1, 1, 1, 1, 0 (start of a process or a test).
void ResetSwitches();
