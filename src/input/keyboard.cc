#include "input/keyboard.h"

#include <atomic>

#include "platform/keystate.h"

namespace {

constexpr UINT kKeyDown = 256;
constexpr UINT kSysKeyDown = 260;

// One writer (the window procedure) and one reader (playback control) share
// the ring without a lock: the writer alone moves head and writes entries,
// the reader alone moves tail. The entry at head is always 0, the end marker.
struct KeyQueue {
  std::atomic<uint16_t> entries[kKeyQueueEntries] = {};
  std::atomic<int16_t> head{0};
  std::atomic<int16_t> tail{0};
  uint16_t users = 0;
};

KeyQueue g_queue;

bool Held(int vk) { return (GetKeyState(vk) & 0x80) != 0; }

}  // namespace

int16_t InitKeyboard() {
  if (g_queue.users++ == 0) {
    g_queue.head.store(0);
    g_queue.tail.store(0);
    g_queue.entries[0].store(0);
  }
  return 0;
}

void ShutdownKeyboard() {
  if (g_queue.users > 0) --g_queue.users;
}

void OnKeyMessage(UINT message, WPARAM wparam, LPARAM /*lparam*/) {
  if (message != kKeyDown && message != kSysKeyDown) return;
  int head = g_queue.head.load(std::memory_order_relaxed);
  int tail = g_queue.tail.load(std::memory_order_acquire);
  if (((head - tail) & (kKeyQueueEntries - 1)) == kKeyQueueEntries - 1) return;
  int vk = wparam > 0xFFFF ? 0xFFFF : static_cast<int>(wparam);
  uint16_t code = TranslateKey(vk);
  if (message == kSysKeyDown) code |= kKeySystem;
  if (Held(VK_CONTROL)) code |= kKeyControl;
  // Only a code that is 0 with its flags is no key: Alt or Ctrl with a key
  // that translates to nothing still queues its flag bits.
  if (code == 0) return;
  int next = (head + 1) & (kKeyQueueEntries - 1);
  // The new end marker goes in before the code becomes visible, so a reader
  // that takes the code at once never runs onto an old entry behind it.
  g_queue.entries[next].store(0, std::memory_order_relaxed);
  g_queue.entries[head].store(code, std::memory_order_release);
  g_queue.head.store(static_cast<int16_t>(next), std::memory_order_release);
}

uint16_t ReadKey(int take) {
  int tail = g_queue.tail.load(std::memory_order_relaxed);
  uint16_t code = g_queue.entries[tail].load(std::memory_order_acquire);
  if (code != 0 && take != 0) {
    g_queue.tail.store(static_cast<int16_t>((tail + 1) & (kKeyQueueEntries - 1)),
                       std::memory_order_release);
  }
  return code;
}

uint16_t TranslateKey(int vk) {
  if (vk < 3 || vk > 222) return static_cast<uint16_t>(vk & kKeyMask);
  bool shift = Held(VK_SHIFT);
  switch (vk) {
    case 16:
      return Held(VK_LSHIFT) ? 356 : 357;
    case 17:
      return 360;
    case 18:
      return Held(VK_LMENU) ? 358 : 359;
    case 33:
      return 329;
    case 34:
      return 337;
    case 35:
      return 335;
    case 36:
      return 327;
    case 37:
      return 331;
    case 38:
      return 328;
    case 39:
      return 333;
    case 40:
      return 336;
    case 45:
      return 338;
    case 46:
      return 339;
    case 106:
    case 107:
    case 109:
    case 110:
    case 111:
      return static_cast<uint16_t>(0x2000 | (vk - 64));
    case 122:
      return shift ? 350 : 352;
    case 123:
      return shift ? 351 : 353;
    case 144:
      return 325;
    case 3:
    case 12:
    case 19:
    case 20:
    case 41:
    case 43:
    case 44:
    case 47:
    case 108:
    case 145:
      return 0;
    default:
      break;
  }
  if (vk >= 48 && vk <= 57) {
    static const char kShifted[] = ")!@#$%^&*(";
    return static_cast<uint16_t>(shift ? kShifted[vk - 48] : '0' + (vk - 48));
  }
  if (vk >= 65 && vk <= 90) return static_cast<uint16_t>(shift ? vk : vk + 32);
  if (vk >= 96 && vk <= 105) return static_cast<uint16_t>(0x2030 + (vk - 96));
  if (vk >= 112 && vk <= 121) return static_cast<uint16_t>((shift ? 340 : 315) + (vk - 112));
  if (vk >= 124 && vk <= 135) return 0;  // F13 to F24
  if (vk >= 186 && vk <= 192) {
    static const char kPlain[] = ";=,-./`";
    static const char kShifted[] = ":+<_>?~";
    return static_cast<uint8_t>(shift ? kShifted[vk - 186] : kPlain[vk - 186]);
  }
  if (vk >= 219 && vk <= 222) {
    static const char kPlain[] = "[\\]'";
    static const char kShifted[] = "{|}\"";
    return static_cast<uint8_t>(shift ? kShifted[vk - 219] : kPlain[vk - 219]);
  }
  return static_cast<uint16_t>(vk);
}

void OnMouseMessage(UINT /*message*/, WPARAM /*wparam*/, LPARAM /*lparam*/) {}
