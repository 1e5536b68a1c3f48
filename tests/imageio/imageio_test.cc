#include "imageio/imageio.h"
#include "imageio/output.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <algorithm>

namespace {

std::string TempPath(const std::string& name) {
  return (std::filesystem::temp_directory_path() /
          ("mv_imageio_" + std::to_string(::getpid()) + "_" + name))
      .string();
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::string& path, const std::vector<uint8_t>& b) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

TEST(Png8, RoundTripKeepsIndicesPaletteAndPitchAndRefusesBadInput) {
  const int w = 7, h = 5, pitch = 11;
  std::vector<uint8_t> pixels(pitch * h, 0xEE);  // pitch padding must not leak
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) pixels[y * pitch + x] = static_cast<uint8_t>(y * 40 + x * 3 + 1);
  pixels[0] = 0;
  pixels[(h - 1) * pitch + w - 1] = 255;
  uint8_t palette[768];
  for (int i = 0; i < 768; ++i) palette[i] = static_cast<uint8_t>(i * 7 + 3);
  std::string path = TempPath("a.png");
  ASSERT_TRUE(imageio::WritePng8(path, w, h, pitch, pixels.data(), palette)) << path;

  imageio::Png8 png;
  imageio::IoResult r = imageio::ReadPng8(path, &png);
  ASSERT_TRUE(r) << r.message;
  EXPECT_EQ(png.width, w);
  EXPECT_EQ(png.height, h);
  EXPECT_EQ(png.palette_entries, 256);
  EXPECT_EQ(0, std::memcmp(png.palette.data(), palette, 768));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) ASSERT_EQ(png.indices[y * w + x], pixels[y * pitch + x]);

  // The reader takes only indexed colour and counted the PLTE entries above;
  // it also takes depths below 8.
  std::vector<uint8_t> bytes = ReadAll(path);
  ASSERT_GT(bytes.size(), 45u);
  EXPECT_EQ(bytes[24], 8);  // bit depth

  // Same input, same bytes.
  ASSERT_TRUE(imageio::WritePng8(path, w, h, pitch, pixels.data(), palette));
  EXPECT_EQ(bytes, ReadAll(path));

  // A screen of long runs, repeated rows and noise comes back as it went in.
  std::vector<uint8_t> screen(320 * 200);
  uint32_t seed = 1;
  for (size_t i = 0; i < screen.size(); ++i) {
    seed = seed * 1103515245 + 12345;
    size_t y = i / 320;
    screen[i] = y < 60 ? uint8_t(y / 7) : y < 130 ? uint8_t(i % 320 / 5) : uint8_t(seed >> 24);
  }
  ASSERT_TRUE(imageio::WritePng8(path, 320, 200, 320, screen.data(), palette));
  ASSERT_TRUE(imageio::ReadPng8(path, &png));
  EXPECT_EQ(png.indices, screen);
  std::remove(path.c_str());

  const uint8_t* pixel = pixels.data();
  EXPECT_FALSE(imageio::WritePng8(TempPath("z.png"), 0, 1, 1, pixel, palette));
  EXPECT_FALSE(imageio::WritePng8(TempPath("z.png"), 2, 1, 1, pixel, palette));
  EXPECT_FALSE(imageio::WritePng8(TempPath("z.png"), 1, 1, 1, nullptr, palette));
  r = imageio::WritePng8("/nonexistent-dir/x.png", 1, 1, 1, pixel, palette);
  EXPECT_FALSE(r);
  EXPECT_NE(r.message.find("/nonexistent-dir/x.png"), std::string::npos);

  EXPECT_FALSE(imageio::ReadPng8("/nonexistent-dir/x.png", &png));
  std::string junk = TempPath("junk.png");
  WriteAll(junk, std::vector<uint8_t>(40, 'x'));
  r = imageio::ReadPng8(junk, &png);
  EXPECT_FALSE(r);
  EXPECT_FALSE(r.message.empty());
  // A truncated PNG fails cleanly.
  WriteAll(junk, {bytes.begin(), bytes.end() - 20});
  EXPECT_FALSE(imageio::ReadPng8(junk, &png));
  std::remove(junk.c_str());
}

TEST(Wav8, RoundTripLayoutAndRefusals) {
  std::vector<uint8_t> samples = {128, 0, 255, 17, 200};  // odd count: padded
  std::string path = TempPath("a.wav");
  EXPECT_FALSE(imageio::WriteWav8(path, samples, 0));
  ASSERT_TRUE(imageio::WriteWav8(path, samples, 22050));
  std::vector<uint8_t> bytes = ReadAll(path);
  ASSERT_EQ(bytes.size(), 44u + 5 + 1);
  // The reader checks the tags, PCM, mono and 8 bits (see the refusals below).
  EXPECT_EQ(bytes[4], 36 + 6);
  EXPECT_EQ(bytes[40], 5);  // data size excludes the pad byte
  imageio::Wav8 wav;
  ASSERT_TRUE(imageio::ReadWav8(path, &wav));
  EXPECT_EQ(wav.rate, 22050u);
  EXPECT_EQ(wav.samples, samples);

  // Not RIFF, not WAVE, not PCM, stereo, 16 bits.
  const std::pair<int, int> kDamage[] = {{0, 'X'}, {8, 'X'}, {20, 2}, {22, 2}, {34, 16}};
  for (auto [at, value] : kDamage) {
    std::vector<uint8_t> damaged = bytes;
    damaged[at] = static_cast<uint8_t>(value);
    WriteAll(path, damaged);
    EXPECT_FALSE(imageio::ReadWav8(path, &wav)) << at;
  }
  WriteAll(path, {bytes.begin(), bytes.begin() + 30});
  EXPECT_FALSE(imageio::ReadWav8(path, &wav));
  // A data chunk that claims more than the file holds keeps what is there.
  WriteAll(path, {bytes.begin(), bytes.begin() + 44 + 4});
  ASSERT_TRUE(imageio::ReadWav8(path, &wav));
  EXPECT_EQ(wav.samples, (std::vector<uint8_t>{128, 0, 255, 17}));
  EXPECT_FALSE(imageio::ReadWav8("/nonexistent-dir/x.wav", &wav));

  ASSERT_TRUE(imageio::WriteWav8(path, nullptr, 0, 11025));
  ASSERT_TRUE(imageio::ReadWav8(path, &wav));
  EXPECT_EQ(wav.rate, 11025u);
  EXPECT_TRUE(wav.samples.empty());
  std::remove(path.c_str());
}

// What was at an output path before is never lost: a file is replaced
// whole, a link is replaced and its target left alone, a device keeps its
// node and the reason of a failed write is named, a folder is refused.
TEST(Outputs, NeverLoseWhatWasThere) {
  namespace fs = std::filesystem;
  const fs::path dir = TempPath("outputs");
  fs::remove_all(dir);
  const std::string picture = (dir / "frames" / "frame_00000.png").string();
  const std::string sound = (dir / "a.wav").string();
  const std::vector<uint8_t> samples(4000, 128);
  const uint8_t palette[768] = {};
  const uint8_t pixel = 1;

  // A folder that is a file, then the folder: earlier numbered pictures go,
  // other files (and pictures of another pattern) stay.
  fs::create_directories(dir);
  WriteAll((dir / "frames").string(), {1});
  EXPECT_FALSE(imageio::PrepareFrameFolder((dir / "frames").string(), "frame"));
  fs::remove(dir / "frames");
  fs::create_directories(dir / "frames");
  for (const char* name : {"frame_00007.png", "frame_123456.png", "screen_00001.png", "frame_1.png",
                           "notes.txt"})
    WriteAll((dir / "frames" / name).string(), {1});
  ASSERT_TRUE(imageio::PrepareFrameFolder((dir / "frames").string(), "frame"));
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(dir / "frames")) left.push_back(e.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"frame_1.png", "notes.txt", "screen_00001.png"}));

  // A link named like the output is replaced; its target keeps its bytes.
  const std::string target = (dir / "target").string();
  WriteAll(target, {9, 9, 9});
  fs::create_symlink(target, picture);
  ASSERT_TRUE(imageio::WritePng8(picture, 1, 1, 1, &pixel, palette));
  EXPECT_FALSE(fs::is_symlink(picture));
  EXPECT_EQ(ReadAll(target), (std::vector<uint8_t>{9, 9, 9}));
  fs::create_symlink(target, sound);
  ASSERT_TRUE(imageio::WriteWav8(sound, samples, 22050));
  EXPECT_FALSE(fs::is_symlink(sound));
  EXPECT_EQ(ReadAll(target), (std::vector<uint8_t>{9, 9, 9}));

  // An output that is an input, or a folder, is refused before anything is
  // written; one in a missing folder names the reason.
  EXPECT_FALSE(imageio::CheckOutput(target, {sound, target}));
  EXPECT_TRUE(imageio::CheckOutput((dir / "new.wav").string(), {target}));
  imageio::IoResult r = imageio::WriteWav8(dir.string(), samples, 22050);
  EXPECT_FALSE(r);
  EXPECT_TRUE(fs::is_directory(dir));
  r = imageio::WriteWav8((dir / "missing" / "a.wav").string(), samples, 22050);
  EXPECT_NE(r.message.find("No such file or directory"), std::string::npos) << r.message;

  // A full device keeps its node, and the message says why the write failed.
  const std::string full = (dir / "full").string();
  if (mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)) == 0) {
    r = imageio::WriteWav8(full, samples, 22050);
    EXPECT_NE(r.message.find("No space left on device"), std::string::npos) << r.message;
    r = imageio::WritePng8(full, 1, 1, 1, &pixel, palette);
    EXPECT_NE(r.message.find("No space left on device"), std::string::npos) << r.message;
    struct stat st;
    ASSERT_EQ(lstat(full.c_str(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
  }
  // No temporary file is left behind by any of it.
  for (const auto& e : fs::directory_iterator(dir))
    EXPECT_EQ(e.path().filename().string().find(".mv-output"), std::string::npos) << e.path();
  fs::remove_all(dir);
}

}  // namespace
