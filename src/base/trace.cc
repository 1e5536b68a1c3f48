#include "base/trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

#include "platform/files.h"
#include "platform/mmsystem.h"

namespace {

constexpr size_t kBufferBytes = 64 * 1024;
constexpr size_t kLineMax = 512;   // a line never needs more
constexpr size_t kNameMax = 200;   // escaped file name kept for the lines

struct TraceState {
  std::mutex lock;
  std::atomic<bool> on{false};
  std::atomic<trace::SamplesSource> samples{nullptr};
  trace::Sink sink = nullptr;
  void* context = nullptr;
  bool failed = false;
  char buffer[kBufferBytes];
  size_t used = 0;
  char file[kNameMax + 1] = "";
  char queued[kNameMax + 1] = "";
  int32_t frame = -1;
  bool late = false;
  int32_t fill = 0;
  bool end_pass = false;
};

TraceState& T() {
  static TraceState state;
  return state;
}

void FlushLocked(TraceState& t) {
  if (t.used == 0) return;
  if (!t.failed && !t.sink(t.context, t.buffer, t.used)) t.failed = true;
  t.used = 0;
}

// Copies `name` as the inside of a JSON string, cut to what fits.
void Escape(char* out, const char* name) {
  size_t n = 0;
  for (const char* p = name ? name : ""; *p; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    char piece[8];
    int len;
    if (c == '"' || c == '\\')
      len = std::snprintf(piece, sizeof piece, "\\%c", c);
    else if (c < 0x20)
      len = std::snprintf(piece, sizeof piece, "\\u%04x", c);
    else
      len = std::snprintf(piece, sizeof piece, "%c", c);
    if (n + size_t(len) > kNameMax) break;
    for (int i = 0; i < len; ++i) out[n++] = piece[i];
  }
  out[n] = '\0';
}

uint64_t Played() {
  trace::SamplesSource source = T().samples.load();
  return source ? source() : 0;
}

// One line: the event, the clock, the card's samples, then `format`.
void Line(const char* event, const char* format, ...) {
  TraceState& t = T();
  if (!t.on.load(std::memory_order_relaxed)) return;
  uint64_t played = Played();
  std::lock_guard<std::mutex> lock(t.lock);
  if (!t.on.load()) return;
  if (kBufferBytes - t.used < kLineMax) FlushLocked(t);
  char* at = t.buffer + t.used;
  size_t room = kLineMax - 2;
  int n = std::snprintf(at, room, "{\"ev\":\"%s\",\"ms\":%lu,\"played\":%llu,\"file\":\"%s\"",
                        event, static_cast<unsigned long>(timeGetTime()),
                        static_cast<unsigned long long>(played), t.file);
  if (n < 0 || size_t(n) >= room) return;
  va_list args;
  va_start(args, format);
  int m = std::vsnprintf(at + n, room - n, format, args);
  va_end(args);
  if (m < 0 || size_t(n + m) >= room) return;
  at[n + m] = '}';
  at[n + m + 1] = '\n';
  t.used += size_t(n + m + 2);
}

}  // namespace

namespace trace {

void Begin(Sink sink, void* context) {
  TraceState& t = T();
  std::lock_guard<std::mutex> lock(t.lock);
  t.sink = sink;
  t.context = context;
  t.failed = false;
  t.used = 0;
  t.file[0] = t.queued[0] = '\0';
  t.frame = -1;
  t.late = t.end_pass = false;
  t.fill = 0;
  t.on = sink != nullptr;
}

bool End() {
  TraceState& t = T();
  std::lock_guard<std::mutex> lock(t.lock);
  if (!t.on.load()) return !t.failed;
  FlushLocked(t);
  t.on = false;
  return !t.failed;
}

bool On() { return T().on.load(std::memory_order_relaxed); }

void SetSamplesSource(SamplesSource source) { T().samples = source; }

void QueueFile(const char* name) {
  TraceState& t = T();
  if (!On()) return;
  // A long host path reaches the engines as a short alias: the trace names
  // the path.
  const std::string host = platform::ExpandAliases(name ? name : "");
  std::lock_guard<std::mutex> lock(t.lock);
  Escape(t.queued, host.c_str());
}

void FileSwitched(int32_t frame_period_ms, int32_t frames_per_second) {
  TraceState& t = T();
  if (!On()) return;
  {
    std::lock_guard<std::mutex> lock(t.lock);
    std::snprintf(t.file, sizeof t.file, "%s", t.queued);
    t.frame = -1;
  }
  Line("switch", ",\"period\":%d,\"fps\":%d", frame_period_ms, frames_per_second);
}

void SetFrame(int32_t frame_number, bool late, int32_t ring_fill, bool end_pass) {
  TraceState& t = T();
  if (!On()) return;
  std::lock_guard<std::mutex> lock(t.lock);
  t.frame = frame_number;
  t.late = late;
  t.fill = ring_fill;
  t.end_pass = end_pass;
}

void Screen(bool pixels) {
  TraceState& t = T();
  Line("screen", ",\"frame\":%d,\"pixels\":%s,\"late\":%s,\"fill\":%d,\"end\":%s", t.frame,
       pixels ? "true" : "false", t.late ? "true" : "false", t.fill,
       t.end_pass ? "true" : "false");
}

void Dropped(uint32_t ticks) {
  Line("drop", ",\"frame\":%d,\"ticks\":%u", T().frame, ticks);
}

void Sound(int32_t channel, int64_t stream_at) {
  Line("sound", ",\"frame\":%d,\"chan\":%d,\"at\":%lld", T().frame, channel,
       static_cast<long long>(stream_at));
}

void Mixed(int32_t channel, int64_t from, int64_t to, uint64_t card_at, int32_t length,
           int32_t rate) {
  Line("mix", ",\"chan\":%d,\"from\":%lld,\"to\":%lld,\"card\":%llu,\"length\":%d,\"rate\":%d",
       channel, static_cast<long long>(from), static_cast<long long>(to),
       static_cast<unsigned long long>(card_at), length, rate);
}

}  // namespace trace
