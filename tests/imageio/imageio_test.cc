#include "imageio/imageio.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <iterator>

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

TEST(Png8, RoundTripKeepsIndicesPaletteAndHonoursPitch) {
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

  // Colour type 3 with a full 256-entry PLTE: byte 25 of the file is the
  // colour type, the PLTE chunk length is 768.
  std::vector<uint8_t> bytes = ReadAll(path);
  ASSERT_GT(bytes.size(), 45u);
  EXPECT_EQ(bytes[24], 8);  // bit depth
  EXPECT_EQ(bytes[25], 3);  // indexed colour
  EXPECT_EQ(0, std::memcmp(bytes.data() + 33, "\0\0\x03\0PLTE", 8));

  // Same input, same bytes.
  std::string again = TempPath("b.png");
  ASSERT_TRUE(imageio::WritePng8(again, w, h, pitch, pixels.data(), palette));
  EXPECT_EQ(bytes, ReadAll(again));
  std::remove(path.c_str());
  std::remove(again.c_str());
}

TEST(Png8, RefusesBadArgumentsAndBadFiles) {
  uint8_t pixel[4] = {};
  uint8_t palette[768] = {};
  EXPECT_FALSE(imageio::WritePng8(TempPath("z.png"), 0, 1, 1, pixel, palette));
  EXPECT_FALSE(imageio::WritePng8(TempPath("z.png"), 2, 1, 1, pixel, palette));
  EXPECT_FALSE(imageio::WritePng8(TempPath("z.png"), 1, 1, 1, nullptr, palette));
  imageio::IoResult r = imageio::WritePng8("/nonexistent-dir/x.png", 1, 1, 1, pixel, palette);
  EXPECT_FALSE(r);
  EXPECT_NE(r.message.find("/nonexistent-dir/x.png"), std::string::npos);

  imageio::Png8 png;
  EXPECT_FALSE(imageio::ReadPng8("/nonexistent-dir/x.png", &png));
  std::string junk = TempPath("junk.png");
  {
    std::ofstream out(junk, std::ios::binary);
    out << "this is not a png file at all";
  }
  r = imageio::ReadPng8(junk, &png);
  EXPECT_FALSE(r);
  EXPECT_FALSE(r.message.empty());

  // A truncated PNG fails cleanly.
  std::string good = TempPath("good.png");
  ASSERT_TRUE(imageio::WritePng8(good, 1, 1, 1, pixel, palette));
  std::vector<uint8_t> bytes = ReadAll(good);
  {
    std::ofstream out(junk, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), bytes.size() - 20);
  }
  EXPECT_FALSE(imageio::ReadPng8(junk, &png));
  std::remove(junk.c_str());
  std::remove(good.c_str());
}

TEST(Wav8, RoundTripAndLayout) {
  std::vector<uint8_t> samples = {128, 0, 255, 17, 200};  // odd count: padded
  std::string path = TempPath("a.wav");
  ASSERT_TRUE(imageio::WriteWav8(path, samples, 22050));
  std::vector<uint8_t> bytes = ReadAll(path);
  ASSERT_EQ(bytes.size(), 44u + 5 + 1);
  EXPECT_EQ(0, std::memcmp(bytes.data(), "RIFF", 4));
  EXPECT_EQ(bytes[4], 36 + 6);
  EXPECT_EQ(0, std::memcmp(bytes.data() + 8, "WAVEfmt ", 8));
  EXPECT_EQ(bytes[20], 1);  // PCM
  EXPECT_EQ(bytes[22], 1);  // mono
  EXPECT_EQ(bytes[24] | bytes[25] << 8, 22050);
  EXPECT_EQ(bytes[34], 8);
  EXPECT_EQ(bytes[40], 5);  // data size excludes the pad byte

  imageio::Wav8 wav;
  ASSERT_TRUE(imageio::ReadWav8(path, &wav));
  EXPECT_EQ(wav.rate, 22050u);
  EXPECT_EQ(wav.samples, samples);

  ASSERT_TRUE(imageio::WriteWav8(path, nullptr, 0, 11025));
  ASSERT_TRUE(imageio::ReadWav8(path, &wav));
  EXPECT_EQ(wav.rate, 11025u);
  EXPECT_TRUE(wav.samples.empty());
  std::remove(path.c_str());
}

TEST(Wav8, RefusesOtherFormatsAndDamage) {
  std::string path = TempPath("b.wav");
  std::vector<uint8_t> samples(10, 128);
  EXPECT_FALSE(imageio::WriteWav8(path, samples, 0));
  ASSERT_TRUE(imageio::WriteWav8(path, samples, 8000));
  std::vector<uint8_t> bytes = ReadAll(path);
  auto write = [&](std::vector<uint8_t> b) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(b.data()), b.size());
  };
  imageio::Wav8 wav;
  std::vector<uint8_t> stereo = bytes;
  stereo[22] = 2;
  write(stereo);
  EXPECT_FALSE(imageio::ReadWav8(path, &wav));
  std::vector<uint8_t> sixteen = bytes;
  sixteen[34] = 16;
  write(sixteen);
  EXPECT_FALSE(imageio::ReadWav8(path, &wav));
  write({bytes.begin(), bytes.begin() + 30});
  EXPECT_FALSE(imageio::ReadWav8(path, &wav));
  // A data chunk that claims more than the file holds keeps what is there.
  std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + 44 + 4);
  write(cut);
  ASSERT_TRUE(imageio::ReadWav8(path, &wav));
  EXPECT_EQ(wav.samples.size(), 4u);
  EXPECT_FALSE(imageio::ReadWav8("/nonexistent-dir/x.wav", &wav));
  std::remove(path.c_str());
}

}  // namespace
