// santool export in this process with each of its allocations refused in
// turn: a failed export says so and leaves nothing alive, and the next one
// writes every frame.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "authoring/codecs.h"
#include "authoring/nut.h"
#include "authoring/san_writer.h"
#include "authoring/trs.h"
#include "base/log.h"
#include "platform/testing.h"
#include "santool/santool.h"

namespace {

namespace fs = std::filesystem;

TEST(ExportRefusals, EachRefusedAllocationFailsTheExportCleanlyAndTheNextOneWritesAll) {
  char pattern[] = "/tmp/mv-export-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  authoring::SanWriter writer(authoring::SanHeader{});
  std::vector<uint8_t> pixels(320 * 200);
  for (int i = 0; i < 3; ++i) {
    std::fill(pixels.begin(), pixels.end(), static_cast<uint8_t>(40 + i));
    authoring::Frame frame;
    frame.Fobj(authoring::EncodeRunLength(1, 0, 0, 320, 200, pixels.data(), 320));
    writer.AddFrame(frame);
  }
  ASSERT_TRUE(writer.WriteFile(dir + "/a.san"));
  authoring::WriteTrsFile(dir + "/S.TRS", authoring::BuildTrsBody({{1, "A"}}), false);
  std::vector<std::optional<authoring::GlyphBitmap>> glyphs(66);
  glyphs[65] = authoring::GlyphFromRows({"#.#", ".#.", "#.#"});
  authoring::WriteNutFont(dir + "/F.NUT", glyphs);

  ExportOptions options;
  options.file = dir + "/a.san";
  options.frames = dir + "/frames";
  options.audio = dir + "/a.wav";
  options.strings = dir + "/S.TRS";
  options.fonts = {dir + "/F.NUT"};
  auto frames_written = [&] {
    size_t n = 0;
    for (const auto& e : fs::directory_iterator(options.frames)) n += e.is_regular_file();
    return n;
  };

  platform::FailAllocationAt(0);
  ASSERT_EQ(RunExport(options), 0);
  const long total = platform::AllocationsCounted();
  platform::StopAllocationFaults();
  ASSERT_GT(total, 20);
  ASSERT_EQ(frames_written(), 3u);

  std::map<std::string, std::vector<long>> logs;
  for (long n = 1; n <= total; ++n) {
    SCOPED_TRACE("allocation " + std::to_string(n) + " of " + std::to_string(total));
    platform::FailAllocationAt(n);
    testing::internal::CaptureStderr();
    const int code = RunExport(options);
    const std::string err = testing::internal::GetCapturedStderr();
    platform::StopAllocationFaults();
    std::string log;
    for (const std::string& e : ErrorLogEntries()) log += (log.empty() ? "" : " | ") + e;
    logs[log].push_back(n);
    // Whatever is recorded fails the export, and a failed export says why;
    // a silent fallback still writes every frame.
    if (!log.empty()) {
      EXPECT_EQ(code, 1);
    }
    if (code != 0) {
      EXPECT_EQ(err.find("santool: \n"), std::string::npos) << err;
    } else {
      EXPECT_EQ(frames_written(), 3u);
    }
    EXPECT_EQ(platform::memory::LiveDirectDrawObjects(), 0);
    EXPECT_EQ(platform::memory::LiveSoundBuffers(), 0);

    ASSERT_EQ(RunExport(options), 0);
    EXPECT_EQ(frames_written(), 3u);
  }
  std::string seen;
  for (const auto& [log, at] : logs) seen += log + " at " + std::to_string(at.size()) + "\n";
  for (const char* message : {"Stream engine init error",
                              "Cannot allocate overlay buffer of 300000 bytes | Frame engine init error",
                              "Cannot allocate delta-tile buffers!", "Sound error"})
    EXPECT_TRUE(logs.count(message)) << message << "\n" << seen;
  fs::remove_all(dir);
}

}  // namespace
