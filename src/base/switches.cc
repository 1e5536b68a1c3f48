#include "base/switches.h"

namespace {
int32_t g_switches[kSwitchCount] = {1, 1, 1, 1, 0};
}

int32_t GetSwitch(int index) {
  if (index < 0 || index >= kSwitchCount) return 0;
  return g_switches[index];
}

void SetSwitch(int index, int32_t value) {
  if (index < 0 || index >= kSwitchCount) return;
  g_switches[index] = value;
}

void ResetSwitches() {
  for (int i = 0; i < kSwitchCount; ++i) g_switches[i] = i < kSwitchDebugLevel ? 1 : 0;
}
