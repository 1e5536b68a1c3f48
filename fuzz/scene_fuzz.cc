// libFuzzer target: any bytes as a scene file of `santool build`, read and
// checked (ReadScene, then CheckFrames against a picture count taken from
// byte 0). A refused scene must be refused with a SceneError, nothing else.
// Build and run: see san_fuzz.cc; the seeds are corpus/scene.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "santool/scene.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path =
      std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/mv_scene_fuzz_" +
      std::to_string(getpid()) + ".json";
  if (size < 1) return 0;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(data + 1, 1, size - 1, f);
  std::fclose(f);
  try {
    santool::Scene scene = santool::ReadScene(path);
    santool::CheckFrames(scene, data[0]);
  } catch (const santool::SceneError&) {
  }
  std::remove(path.c_str());
  return 0;
}
