// The headless player on the real clock for minutes: both demonstrations in
// a loop, with keys and activation changes at random (seeded) times. Runs
// only when SOAK_SECONDS is set (ctest's "soak" entry, make soak).
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "player_harness.h"

namespace {

// Resident memory of a process in KB (0 when it is gone).
long ResidentKb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return 0;
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;  // the sanitizers' own memory hides ours
#else
constexpr bool kSanitized = false;
#endif

TEST(Soak, BothDemonstrationsLoopWithKeysAndActivationChanges) {
  const char* seconds_text = std::getenv("SOAK_SECONDS");
  if (seconds_text == nullptr) GTEST_SKIP() << "SOAK_SECONDS not set";
  const int seconds = std::max(10, std::atoi(seconds_text));
  const char* seed_text = std::getenv("SOAK_SEED");
  const unsigned seed = seed_text ? unsigned(std::strtoul(seed_text, nullptr, 10))
                                  : unsigned(std::random_device{}());
  std::printf("soak: %d seconds, SOAK_SEED=%u\n", seconds, seed);
  std::mt19937 random(seed);

  e2e::TempDir data;
  const char* dir = std::getenv("MV_BINARY_DIR");
  std::string tool = std::string(dir ? dir : MV_BINARY_ROOT) + "/data/make-demo-data";
  ASSERT_EQ(std::system((tool + " " + data.path() + " >/dev/null 2>&1").c_str()), 0);

  // More answers than the time can use: the run ends at --timeout.
  std::string choices = "101";
  for (int i = 1; i < 2 * seconds; ++i) choices += i % 2 ? ",102" : ",101";
  // A key every 2 to 12 seconds; the application away for 0.1 to 3 seconds
  // every 5 to 20 seconds.
  const char* const keys[] = {"Escape", "a", "Space", "Alt+X", "Alt+F4", "Shift+2", "F11"};
  std::string key_list, activations;
  for (int ms = 2000 + int(random() % 10000); ms < seconds * 1000; ms += 2000 + random() % 10000)
    key_list.append(key_list.empty() ? "" : ",")
        .append(std::to_string(ms) + ":" + keys[random() % 7]);
  for (int ms = 5000 + int(random() % 15000); ms < seconds * 1000; ms += 5000 + random() % 15000) {
    int back = ms + 100 + int(random() % 2900);
    activations.append(activations.empty() ? "" : ",")
        .append(std::to_string(ms) + ":0," + std::to_string(back) + ":1");
    ms = back;
  }
  e2e::Player player({"--platform=headless", "--clock=real", "--data=" + data.path(),
                      "--choice=" + choices, "--keys=" + key_list, "--activate=" + activations,
                      "--timeout=" + std::to_string(seconds)});
  // One loop of both demonstrations takes under a minute; the highest
  // resident size until then is the baseline.
  const auto start = std::chrono::steady_clock::now();
  const auto first_loop = std::chrono::seconds(std::min(seconds / 2, 90));
  long baseline = 0, later = 0;
  bool hung = false;
  while (player.Running()) {
    // A run the timeout cannot end is hung: it is ended here.
    if (!hung && std::chrono::steady_clock::now() - start > std::chrono::seconds(seconds + 120)) {
      hung = true;
      player.Signal(SIGKILL);
    }
    long kb = ResidentKb(player.pid());
    if (std::chrono::steady_clock::now() - start < first_loop) {
      baseline = std::max(baseline, kb);
    } else {
      later = std::max(later, kb);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  int exit_code = -1;
  ASSERT_TRUE(player.Wait(0, &exit_code));
  EXPECT_FALSE(hung) << player.Errors();
  std::printf("soak: resident %ld KB after the first loop, %ld KB at most later\n", baseline,
              later);
  // Nothing but the timeout's own line: no error entry, no sanitizer report.
  std::string expected =
      "morvane-demos: stopped by --timeout after " + std::to_string(seconds) + " seconds\n";
  EXPECT_EQ(player.Errors(), expected);
  EXPECT_EQ(exit_code, 3);
  if (!kSanitized) {
    EXPECT_LE(later, baseline + 256);
  }
}

}  // namespace
