#include "platform/faults.h"

#include <atomic>

#include "platform/testing.h"

namespace platform {

namespace {

std::atomic<bool> g_counting{false};
std::atomic<long> g_counted{0};
std::atomic<long> g_fail_at{0};

}  // namespace

bool AllocationRefused() {
  if (!g_counting.load(std::memory_order_relaxed)) return false;
  long n = g_counted.fetch_add(1) + 1;
  return n == g_fail_at.load();
}

void FailAllocationAt(long n) {
  g_counted = 0;
  g_fail_at = n;
  g_counting = true;
}

long AllocationsCounted() { return g_counted.load(); }

void StopAllocationFaults() {
  g_counting = false;
  g_fail_at = 0;
}

}  // namespace platform
