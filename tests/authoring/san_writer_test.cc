#include "authoring/san_writer.h"

#include <gtest/gtest.h>

#include <string>

#include "authoring/audio.h"
#include "base/bytes.h"

namespace authoring {
namespace {

std::string TagAt(const Bytes& b, size_t at) { return std::string(b.begin() + at, b.begin() + at + 4); }

// The sub-chunks of one frame, found the way the player walks a frame: skip a
// 0 at an odd file offset, stop when 4 bytes or fewer remain.
struct Found {
  std::string tag;
  size_t header;  // file offset of the sub-chunk header
  uint32_t size;
};
std::vector<Found> WalkFrame(const Bytes& file, size_t payload, uint32_t size) {
  std::vector<Found> out;
  size_t p = payload;
  int64_t remaining = size;
  while (remaining > 4) {
    if ((p & 1) && file[p] == 0) {
      ++p;
      --remaining;
      if (remaining <= 4) break;
    }
    uint32_t s = ReadBE32(file.data() + p + 4);
    out.push_back({TagAt(file, p), p, s});
    p += 8 + s;
    remaining -= s + 8;
  }
  return out;
}

// Offsets of the top-level chunks after the "ANIM" header.
std::vector<size_t> TopChunks(const Bytes& file) {
  std::vector<size_t> out;
  for (size_t p = 8; p + 8 <= file.size(); p += 8 + ReadBE32(file.data() + p + 4)) out.push_back(p);
  return out;
}

TEST(SanWriter, HeaderChunkVersions) {
  SanHeader h;
  for (int i = 0; i < 768; ++i) h.palette[i] = static_cast<uint8_t>(i);
  h.fps = 12;
  SanWriter w(h);
  w.AddFrame(Frame().Skip(1, 2));
  w.AddFrame(Frame().Skip(3, 4));
  Bytes f = w.Finish();
  EXPECT_EQ(TagAt(f, 0), "ANIM");
  EXPECT_EQ(ReadBE32(f.data() + 4), f.size() - 8);
  EXPECT_EQ(TagAt(f, 8), "AHDR");
  ASSERT_EQ(ReadBE32(f.data() + 12), 794u);
  EXPECT_EQ(ReadLE16(f.data() + 16), 2);  // version
  EXPECT_EQ(ReadLE16(f.data() + 18), 2);  // frame count
  EXPECT_EQ(f[16 + 6 + 100], 100);       // palette
  EXPECT_EQ(ReadLE16(f.data() + 16 + 774), 12);
  EXPECT_EQ(TagAt(f, 16 + 794), "FRME");

  SanHeader old;
  old.version = 1;
  old.frame_count = 7;  // claims more than it holds
  SanWriter w1(old);
  w1.AddFrame(Frame().Skip(0, 0));
  Bytes g = w1.Finish();
  EXPECT_EQ(ReadBE32(g.data() + 12), 774u);
  EXPECT_EQ(ReadLE16(g.data() + 18), 7);
  EXPECT_EQ(TagAt(g, 16 + 774), "FRME");
}

TEST(SanWriter, SubChunksStandAtEvenFileOffsetsWithZeroPads) {
  SanWriter w(SanHeader{});
  Frame odd;
  odd.Chunk("ODD1", {1, 2, 3}).Text(1, 2, 0, nullptr, "ab").Chunk("ODD2", {9});
  w.AddFrame(odd);
  w.AddFrame(Frame().Npal(Palette{}));
  Bytes f = w.Finish();
  std::vector<size_t> top = TopChunks(f);
  ASSERT_EQ(top.size(), 3u);
  for (size_t t = 1; t < top.size(); ++t) {
    EXPECT_EQ(TagAt(f, top[t]), "FRME");
    EXPECT_EQ(top[t] % 2, 0u);
  }
  std::vector<Found> subs = WalkFrame(f, top[1] + 8, ReadBE32(f.data() + top[1] + 4));
  ASSERT_EQ(subs.size(), 3u);
  EXPECT_EQ(subs[0].tag, "ODD1");
  EXPECT_EQ(subs[1].tag, "TEXT");
  EXPECT_EQ(subs[2].tag, "ODD2");
  for (const Found& s : subs) EXPECT_EQ(s.header % 2, 0u) << s.tag;
  // The pad after the 3-byte payload is a single 0.
  EXPECT_EQ(subs[1].header, subs[0].header + 8 + 3 + 1);
  EXPECT_EQ(f[subs[0].header + 11], 0);
  EXPECT_EQ(subs[1].size, 16u + 3u);  // text head, "ab", terminating zero

  // Without padding the bytes follow each other directly.
  SanWriter bare(SanHeader{});
  Frame nopad;
  nopad.SetPadding(false).Chunk("ODD1", {1, 2, 3}).Chunk("NEXT", {});
  bare.AddFrame(nopad);
  Bytes g = bare.Finish();
  size_t frame = TopChunks(g)[1];
  EXPECT_EQ(ReadBE32(g.data() + frame + 4), 8u + 3 + 8);
  EXPECT_EQ(TagAt(g, frame + 8 + 11), "NEXT");
}

TEST(SanWriter, FramesAfterAnOddTopChunkStillPadByFileOffset) {
  SanWriter w(SanHeader{});
  w.AddTopChunk("FRME", {0, 0, 0});  // a frame of 3 bytes leaves the offset odd
  w.AddFrame(Frame().Skip(5, 6));
  Bytes f = w.Finish();
  std::vector<size_t> top = TopChunks(f);
  ASSERT_EQ(top.size(), 3u);
  EXPECT_EQ(top[2] % 2, 1u);
  std::vector<Found> subs = WalkFrame(f, top[2] + 8, ReadBE32(f.data() + top[2] + 4));
  ASSERT_EQ(subs.size(), 1u);
  EXPECT_EQ(subs[0].tag, "SKIP");
  EXPECT_EQ(subs[0].header % 2, 0u);
  EXPECT_EQ(ReadLE16(f.data() + subs[0].header + 8), 5);
}

TEST(SoundChunks, ImageScriptAndStreamBlocks) {
  TrackScript script;
  script.DataAt(0, 5, 11025).Set(kTargetVolume, 90).End();
  EXPECT_EQ(script.size(), 14u + 4 + 2);
  std::vector<uint8_t> samples = {128, 129, 130, 131, 132};
  Bytes image = SoundImage(script.bytes(), samples);
  const uint32_t S = static_cast<uint32_t>(script.size());
  EXPECT_EQ(TagAt(image, 0), "SAUD");
  EXPECT_EQ(ReadBE32(image.data() + 4), 8 + S + 8 + 5);
  EXPECT_EQ(ReadBE32(image.data() + 12), S);
  EXPECT_EQ(ReadBE32(image.data() + 16 + 10), 11025u);
  EXPECT_EQ(ReadBE32(image.data() + 20 + S), 5u);
  EXPECT_EQ(image.size(), 24 + S + 5);

  // The "SAUD" chunk is the image itself; stream blocks carry the whole
  // sound's length in the first. (The "PSAD" layouts are the sound tests'
  // chunks, read back by the mixer.)
  SanWriter w(SanHeader{});
  StreamBlocks blocks = SplitStream(script.bytes(), samples, 2, 2);
  ASSERT_EQ(blocks.blocks.size(), 3u);
  EXPECT_EQ(ReadBE32(blocks.blocks[0].data() + 20 + S), 5u);
  EXPECT_EQ(blocks.blocks[0].size(), 24 + S + 2);
  EXPECT_EQ(blocks.blocks[2], (Bytes{132}));
  w.AddFrame(Frame().Saud(image));
  Bytes f = w.Finish();
  size_t frame = TopChunks(f)[1];
  std::vector<Found> s = WalkFrame(f, frame + 8, ReadBE32(f.data() + frame + 4));
  ASSERT_EQ(s.size(), 1u);
  EXPECT_TRUE(std::equal(image.begin(), image.end(), f.begin() + s[0].header));
}

}  // namespace
}  // namespace authoring
