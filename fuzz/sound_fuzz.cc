// libFuzzer target: audio chunks ("SAUD" whole sounds, "PSAD" stream blocks)
// handed to the sound engine as the frame walker hands them, with the
// readable size, each followed by mixing passes, under the headless
// DirectSound with the virtual clock (so the output tick never mixes on its
// own). Byte 0 chooses the channels: 0xFF the player's own sizes (1.3 MB,
// allocated and filled for every input: a few dozen inputs a second), any
// other value the same channels at 1/16 of their size (100 bytes at least),
// whose rings wrap sooner and which start in microseconds. Then a list of
// records:
//   byte 0: mixing passes after this chunk (mod 16), byte 1: volume, byte 2: pan,
//   bytes 3-4: flags (little-endian), byte 5: id, bytes 6-7: chunk length L
//   (little-endian), then L bytes of chunk from its tag on.
// Every chunk stays alive until the input is done (whole sounds are played
// in place), then the engine is restarted. The sound output (its buffer, mix
// tables and tick) is opened once and held open, so that a restart only
// renews the channels: the output and the player's channel sizes, built for
// every input, held the target to a few dozen executions a second.
//
// Build and run (clang):
//   cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DMV_BUILD_FUZZ=ON \
//     -DMV_BUILD_SDL=OFF -DMV_BUILD_TESTS=OFF -DMV_BUILD_BENCH=OFF
//   cmake --build build-fuzz --target sound_fuzz make-demo-data -j2
//   fuzz/make_corpus.py build-fuzz corpus
//   build-fuzz/fuzz/sound_fuzz corpus/sound -max_total_time=300 -rss_limit_mb=2048
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/mmsystem.h"
#include "base/log.h"
#include "sound/output.h"
#include "engines/engines.h"
#include "sound/sound.h"

namespace {

constexpr size_t kRecordHeader = 8;
// About 0.75 s of output: every pass mixes and converts 1024 samples, and
// what a pass can reach (a script's blocks, a ring that wraps in the small
// channels) shows within that; 120 passes cost seven times as much per input.
constexpr int kMaxPassesPerInput = 16;

constexpr std::array<int32_t, kMaxSoundChannels + 1> SmallSizes() {
  std::array<int32_t, kMaxSoundChannels + 1> sizes{};
  for (int i = 0; i < kMaxSoundChannels && kEngineSizes.channel_sizes[i] != 0; ++i)
    sizes[i] = std::max<int32_t>(std::min<int32_t>(kEngineSizes.channel_sizes[i], 100),
                                 kEngineSizes.channel_sizes[i] / 16);
  return sizes;
}
constexpr std::array<int32_t, kMaxSoundChannels + 1> kSmallSizes = SmallSizes();

// The engine's driver over the output this target holds open: opening and
// closing answer as the real driver's first open and last close do.
int32_t HeldOutputDriver(int32_t command, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t) {
  return command == 2 || command == 3 ? 0 : -1;
}

}  // namespace

// A smaller quarantine than the default 256 MB: each input allocates its
// channels afresh, and with the default every allocation faulted in new
// pages (a third of the time). Use after free within an input is still caught.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=4"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool output = [] {
    platform::SetClockMode(platform::ClockMode::kVirtual);
    int channels = 0;
    while (kEngineSizes.channel_sizes[channels] != 0 && channels < kMaxSoundChannels) ++channels;
    return OpenSoundOutput(kEngineSizes.output_rate, channels, MixChannels) == 0;
  }();
  (void)output;
  if (size < 1) return 0;
  const int32_t* sizes = data[0] == 0xFF ? kEngineSizes.channel_sizes : kSmallSizes.data();
  ++data;
  --size;
  if (SoundInit(HeldOutputDriver, kEngineSizes.output_rate, kEngineSizes.sound_reserve, sizes) !=
      0)
    return 0;
  std::vector<std::unique_ptr<std::vector<uint8_t>>> chunks;
  int passes = 0;
  while (size >= kRecordHeader) {
    const uint8_t* h = data;
    size_t length = size_t(h[6] | h[7] << 8);
    data += kRecordHeader;
    size -= kRecordHeader;
    if (length > size) length = size;
    // An exact copy, so reads past the chunk are caught.
    chunks.push_back(std::make_unique<std::vector<uint8_t>>(data, data + length));
    chunks.back()->shrink_to_fit();
    data += length;
    size -= length;
    PlayAudioChunk(chunks.back()->data(), h[5], int8_t(h[1]), int8_t(h[2]),
                   int16_t(h[3] | h[4] << 8), int64_t(length));
    for (int i = 0; i < h[0] % 16 && passes < kMaxPassesPerInput; ++i, ++passes) {
      MixChannels(kOutputBlockLength, MixIn);
      ConvertMixBlock();
      for (int c = 0; c < SoundChannelCount(); ++c) {
        SoundChannelView view;
        GetSoundChannel(c, &view);
      }
    }
  }
  while (passes++ < kMaxPassesPerInput && SoundStatus(kAnySoundPlaying) != 0) MixOneBlock();
  SoundShutdown();
  ClearLogs();
  return 0;
}
