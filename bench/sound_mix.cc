// One mixing pass of seven busy channels into a 1024-sample block, and its
// conversion through the clip table, against a plain copy of the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "engines/engines.h"
#include "sound/sound.h"

namespace {

using Bytes = std::vector<uint8_t>;

void PutBe32(Bytes& b, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) b.push_back(static_cast<uint8_t>(v >> s));
}

// A sound that loops over 60000 samples at `rate` for ever.
Bytes LoopingImage(int32_t rate, int64_t body) {
  Bytes script{6, 12};
  PutBe32(script, 0);
  PutBe32(script, 60000);
  PutBe32(script, static_cast<uint32_t>(rate));
  Bytes jump{2, 3, 0xFF, static_cast<uint8_t>(-14), 0};
  script.insert(script.end(), jump.begin(), jump.end());
  Bytes b{'S', 'A', 'U', 'D'};
  PutBe32(b, static_cast<uint32_t>(body));
  b.insert(b.end(), {'S', 'T', 'R', 'K'});
  PutBe32(b, static_cast<uint32_t>(script.size()));
  b.insert(b.end(), script.begin(), script.end());
  b.insert(b.end(), {'S', 'D', 'A', 'T'});
  PutBe32(b, 60000);
  for (int i = 0; i < 60000; ++i) b.push_back(static_cast<uint8_t>(128 + (i * 37 % 200) - 100));
  return b;
}

Bytes Psad(const Bytes& image, int32_t track) {
  Bytes b{'P', 'S', 'A', 'D'};
  PutBe32(b, static_cast<uint32_t>(12 + image.size()));
  PutBe32(b, static_cast<uint32_t>(track));
  PutBe32(b, 0);
  PutBe32(b, 1);
  b.insert(b.end(), image.begin(), image.end());
  return b;
}

int32_t Driver(int32_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t) { return 0; }

void StartSevenChannels() {
  const EngineSizes& s = kEngineSizes;
  SoundInit(Driver, s.output_rate, s.sound_reserve, s.channel_sizes);
  BuildMixTables(7, 1024);
  auto play = [](const Bytes& chunk, int16_t flags) {
    PlayAudioChunk(chunk.data(), 0, 100, 0, flags, static_cast<int64_t>(chunk.size()));
  };
  // Effects at an odd rate in place, voices at half the output rate,
  // effects streamed at an odd rate, music at the output rate.
  play(LoopingImage(16000, 60000), 0);
  play(LoopingImage(16000, 60000), 0);
  play(Psad(LoopingImage(11025, 95000), 1), 0x80);
  play(Psad(LoopingImage(11025, 95000), 2), 0x80);
  play(Psad(LoopingImage(17137, 75000), 3), 0);
  play(Psad(LoopingImage(17137, 75000), 4), 0);
  play(Psad(LoopingImage(22050, 300000), 5), 0x40);
}

void BM_MixingPass(benchmark::State& state) {
  StartSevenChannels();
  for (auto _ : state) {
    std::memset(MixAccumulator(), 0, 1024 * sizeof(int32_t));
    MixChannels(1024, MixIn);
    benchmark::DoNotOptimize(MixAccumulator()[511]);
  }
  int playing = 0;
  for (int c = 0; c < SoundChannelCount(); ++c) playing += SoundStatus(static_cast<int16_t>(-1 - c)) != 0;
  state.counters["channels"] = playing;
  // A pass may take 1/2000 of the time its block plays.
  state.counters["budget_ns"] = 1024.0 / kEngineSizes.output_rate * 1e9 / 2000;
  SoundShutdown();
  FreeMixTables();
}
BENCHMARK(BM_MixingPass);

void BM_ClipConversion(benchmark::State& state) {
  StartSevenChannels();
  MixChannels(1024, MixIn);
  for (auto _ : state) benchmark::DoNotOptimize(ConvertMixBlock()[511]);
  state.SetLabel("vs BM_CopyOfTheSameBytes limit 0");
  SoundShutdown();
  FreeMixTables();
}
BENCHMARK(BM_ClipConversion);

void BM_CopyOfTheSameBytes(benchmark::State& state) {
  std::vector<uint8_t> from(1024, 1), to(1024);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), from.size());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_CopyOfTheSameBytes);

}  // namespace
