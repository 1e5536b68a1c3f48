// libFuzzer target: audio chunks ("SAUD" whole sounds, "PSAD" stream blocks)
// handed to the sound engine as the frame walker hands them, with the
// readable size, each followed by mixing passes, under the headless
// DirectSound with the virtual clock (so the output tick never mixes on its
// own). The input is a list of records:
//   byte 0: mixing passes after this chunk (mod 16), byte 1: volume, byte 2: pan,
//   bytes 3-4: flags (little-endian), byte 5: id, bytes 6-7: chunk length L
//   (little-endian), then L bytes of chunk from its tag on.
// Every chunk stays alive until the input is done (whole sounds are played
// in place), then the engine is restarted.
//
// Build and run (clang):
//   cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DMV_BUILD_FUZZ=ON \
//     -DMV_BUILD_SDL=OFF -DMV_BUILD_TESTS=OFF -DMV_BUILD_BENCH=OFF
//   cmake --build build-fuzz --target sound_fuzz make-demo-data -j2
//   fuzz/make_corpus.py build-fuzz corpus
//   build-fuzz/fuzz/sound_fuzz corpus/sound -max_total_time=300 -rss_limit_mb=2048
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
constexpr int kMaxPassesPerInput = 120;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool clock = [] {
    platform::SetClockMode(platform::ClockMode::kVirtual);
    return true;
  }();
  (void)clock;
  if (SoundInit(SoundDriverProc, kEngineSizes.output_rate, kEngineSizes.sound_reserve,
                kEngineSizes.channel_sizes) != 0) return 0;
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
