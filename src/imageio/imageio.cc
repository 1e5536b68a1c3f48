#include "imageio/imageio.h"

#include "imageio/output.h"

#include <libdeflate.h>
#include <png.h>
#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>

#include "base/bytes.h"

namespace imageio {
namespace {

IoResult Fail(const std::string& path, const std::string& what) {
  return IoResult{false, path + ": " + what};
}

// libpng reports errors by longjmp; everything that must survive the jump
// lives in these records, outside the function that calls setjmp.
struct PngJob {
  FILE* file = nullptr;       // read side
  std::vector<uint8_t>* file_bytes = nullptr;  // write side: the PNG being made
  char error[200] = "";
  // write side
  const uint8_t* indices = nullptr;
  const uint8_t* palette = nullptr;
  int width = 0, height = 0, pitch = 0;
  // read side
  Png8* out = nullptr;
  PngPicture* any = nullptr;  // set: other kinds are read as RGBA
  png_uint_32 max_width = 16384, max_height = 16384;
  std::vector<png_bytep> rows;
};

void PngError(png_structp png, png_const_charp message) {
  auto* job = static_cast<PngJob*>(png_get_error_ptr(png));
  std::snprintf(job->error, sizeof job->error, "%s", message);
  png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

// The picture is put together in memory and handed to the output in one
// piece. A failed allocation is libpng's error, not an exception through it.
void PngWrite(png_structp png, png_bytep data, size_t size) {
  auto* job = static_cast<PngJob*>(png_get_io_ptr(png));
  try {
    job->file_bytes->insert(job->file_bytes->end(), data, data + size);
  } catch (...) {
    png_error(png, "out of memory");
  }
}

void PngFlush(png_structp) {}

// One compressor and its buffers per thread, kept from picture to picture:
// the export writes hundreds of them, and setting the compressor up again
// each time cost about as much as compressing a screen.
struct PngScratch {
  libdeflate_compressor* compressor = nullptr;
  std::vector<uint8_t> rows;      // each row after its filter byte (0: none)
  std::vector<uint8_t> deflated;  // the image data as one zlib stream
  std::vector<uint8_t> file;      // the whole PNG
  ~PngScratch() {
    if (compressor != nullptr) libdeflate_free_compressor(compressor);
  }
};
thread_local PngScratch t_scratch;

// The rows, unfiltered, as one zlib stream at the fastest level: palette
// indices gain little from filters or harder searching, and this
// compressor's fastest level both packs them tighter and runs several times
// faster than zlib's. libpng writes the signature and the chunks around it.
bool WriteJob(PngJob* job) {
  PngScratch& s = t_scratch;
  try {
    if (s.compressor == nullptr) s.compressor = libdeflate_alloc_compressor(1);
    if (s.compressor == nullptr) throw std::bad_alloc();
    const size_t row = size_t(job->width) + 1;
    s.rows.resize(row * size_t(job->height));
    for (int y = 0; y < job->height; ++y) {
      s.rows[row * y] = 0;
      std::memcpy(&s.rows[row * y + 1], job->indices + size_t(y) * job->pitch, size_t(job->width));
    }
    s.deflated.resize(libdeflate_zlib_compress_bound(s.compressor, s.rows.size()));
    s.file.clear();
    s.file.reserve(s.deflated.size() + 1024);
  } catch (...) {
    std::snprintf(job->error, sizeof job->error, "out of memory");
    return false;
  }
  size_t deflated = libdeflate_zlib_compress(s.compressor, s.rows.data(), s.rows.size(),
                                             s.deflated.data(), s.deflated.size());
  if (deflated == 0) {
    std::snprintf(job->error, sizeof job->error, "compression failed");
    return false;
  }
  job->file_bytes = &s.file;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, job, PngError, PngWarning);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, job, PngWrite, PngFlush);
  png_set_IHDR(png, info, job->width, job->height, 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_color plte[256];
  for (int i = 0; i < 256; ++i) {
    plte[i].red = job->palette[3 * i];
    plte[i].green = job->palette[3 * i + 1];
    plte[i].blue = job->palette[3 * i + 2];
  }
  png_set_PLTE(png, info, plte, 256);
  png_write_info(png, info);
  png_write_chunk(png, reinterpret_cast<png_const_bytep>("IDAT"), s.deflated.data(), deflated);
  png_write_chunk(png, reinterpret_cast<png_const_bytep>("IEND"), nullptr, 0);
  png_destroy_write_struct(&png, &info);
  return true;
}

// The rest of a true-colour or grey picture, as 8-bit RGBA.
bool ReadRgba(png_structp png, png_infop info, PngJob* job, png_uint_32 width, png_uint_32 height,
              int interlace) {
  png_set_expand(png);  // low grey depths, and transparency to alpha
  png_set_strip_16(png);
  png_set_gray_to_rgb(png);
  png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  if (interlace != PNG_INTERLACE_NONE) png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_channels(png, info) != 4) png_error(png, "unsupported colour layout");
  PngPicture* out = job->any;
  out->width = static_cast<int>(width);
  out->height = static_cast<int>(height);
  out->indices.clear();
  out->palette_entries = 0;
  out->rgba.assign(size_t{4} * width * height, 0);
  job->rows.resize(height);
  for (png_uint_32 y = 0; y < height; ++y) job->rows[y] = out->rgba.data() + size_t{4} * y * width;
  png_read_image(png, job->rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

bool ReadJob(PngJob* job) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, job, PngError, PngWarning);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_set_user_limits(png, 16384, 16384);
  png_init_io(png, job->file);
  png_read_info(png, info);
  png_uint_32 width = 0, height = 0;
  int depth = 0, colour = 0, interlace = 0;
  png_get_IHDR(png, info, &width, &height, &depth, &colour, &interlace, nullptr, nullptr);
  if (width > job->max_width || height > job->max_height) {
    std::snprintf(job->error, sizeof job->error, "%u x %u is larger than %u x %u", unsigned(width),
                  unsigned(height), unsigned(job->max_width), unsigned(job->max_height));
    png_longjmp(png, 1);
  }
  if (colour != PNG_COLOR_TYPE_PALETTE) {
    if (job->any == nullptr) png_error(png, "not an indexed-colour PNG");
    return ReadRgba(png, info, job, width, height, interlace);
  }
  if (depth < 8) png_set_packing(png);
  if (interlace != PNG_INTERLACE_NONE) png_set_interlace_handling(png);
  png_read_update_info(png, info);
  png_colorp plte = nullptr;
  int entries = 0;
  if (png_get_PLTE(png, info, &plte, &entries) != PNG_INFO_PLTE) png_error(png, "no palette");
  Png8* out = job->out;
  out->width = static_cast<int>(width);
  out->height = static_cast<int>(height);
  out->palette.fill(0);
  out->palette_entries = entries;
  for (int i = 0; i < entries && i < 256; ++i) {
    out->palette[3 * i] = plte[i].red;
    out->palette[3 * i + 1] = plte[i].green;
    out->palette[3 * i + 2] = plte[i].blue;
  }
  out->indices.assign(static_cast<size_t>(width) * height, 0);
  job->rows.resize(height);
  for (png_uint_32 y = 0; y < height; ++y) job->rows[y] = out->indices.data() + size_t{y} * width;
  png_read_image(png, job->rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

}  // namespace

IoResult WritePng8(const std::string& path, int width, int height, int pitch,
                   const uint8_t* indices, const uint8_t* palette768) {
  if (width < 1 || height < 1 || width > 16384 || height > 16384) {
    return Fail(path, "picture size out of range");
  }
  if (pitch < width) return Fail(path, "row pitch smaller than the width");
  if (indices == nullptr || palette768 == nullptr) return Fail(path, "no pixels or no palette");
  PngJob job;
  job.indices = indices;
  job.palette = palette768;
  job.width = width;
  job.height = height;
  job.pitch = pitch;
  if (!WriteJob(&job)) return Fail(path, job.error[0] ? job.error : "write failed");
  OutputFile output(path);
  output.Write(job.file_bytes->data(), job.file_bytes->size());
  return output.Commit();
}

IoResult ReadPng8(const std::string& path, Png8* out) {
  if (out == nullptr) return Fail(path, "no result record");
  PngJob job;
  job.file = std::fopen(path.c_str(), "rb");
  if (job.file == nullptr) return Fail(path, std::string("cannot open: ") + std::strerror(errno));
  job.out = out;
  bool read = ReadJob(&job);
  std::fclose(job.file);
  if (!read) return Fail(path, job.error[0] ? job.error : "read failed");
  return {};
}

IoResult ReadPng(const std::string& path, PngPicture* out, int max_width, int max_height) {
  if (out == nullptr) return Fail(path, "no result record");
  if (max_width < 1 || max_height < 1 || max_width > 16384 || max_height > 16384)
    return Fail(path, "picture size limit out of range");
  PngJob job;
  job.file = std::fopen(path.c_str(), "rb");
  if (job.file == nullptr) return Fail(path, std::string("cannot open: ") + std::strerror(errno));
  job.out = out;
  job.any = out;
  job.max_width = png_uint_32(max_width);
  job.max_height = png_uint_32(max_height);
  out->rgba.clear();
  bool read = ReadJob(&job);
  std::fclose(job.file);
  if (!read) return Fail(path, job.error[0] ? job.error : "read failed");
  return {};
}
namespace {

// The sound file library works on a file in memory through these calls: the
// finished bytes then go through OutputFile like every other output.
struct MemoryFile {
  std::vector<uint8_t> bytes;
  sf_count_t position = 0;
};
sf_count_t MemoryLength(void* user) { return sf_count_t(static_cast<MemoryFile*>(user)->bytes.size()); }
sf_count_t MemorySeek(sf_count_t offset, int whence, void* user) {
  auto* m = static_cast<MemoryFile*>(user);
  sf_count_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? m->position : sf_count_t(m->bytes.size());
  if (base + offset < 0) return -1;
  m->position = base + offset;
  return m->position;
}
sf_count_t MemoryRead(void* to, sf_count_t count, void* user) {
  auto* m = static_cast<MemoryFile*>(user);
  sf_count_t size = sf_count_t(m->bytes.size());
  sf_count_t n = m->position >= size ? 0 : std::min(count, size - m->position);
  if (n > 0) std::memcpy(to, m->bytes.data() + m->position, size_t(n));
  m->position += n;
  return n;
}
sf_count_t MemoryWrite(const void* from, sf_count_t count, void* user) {
  auto* m = static_cast<MemoryFile*>(user);
  size_t end = size_t(m->position + count);
  if (end > m->bytes.size()) m->bytes.resize(end);
  std::memcpy(m->bytes.data() + m->position, from, size_t(count));
  m->position += count;
  return count;
}
sf_count_t MemoryTell(void* user) { return static_cast<MemoryFile*>(user)->position; }
SF_VIRTUAL_IO g_memory_io = {MemoryLength, MemorySeek, MemoryRead, MemoryWrite, MemoryTell};

constexpr int kWav8 = SF_FORMAT_WAV | SF_FORMAT_PCM_U8;

}  // namespace

IoResult WriteWav8(const std::string& path, const uint8_t* samples, size_t count, uint32_t rate) {
  if (samples == nullptr && count != 0) return Fail(path, "no samples");
  if (rate == 0 || rate > INT32_MAX) return Fail(path, "sample rate out of range");
  if (count > 0xFFFFFFFFu - 64) return Fail(path, "too many samples for a WAV file");
  MemoryFile memory;
  SF_INFO info{};
  info.samplerate = int(rate);
  info.channels = 1;
  info.format = kWav8;
  SNDFILE* sound = sf_open_virtual(&g_memory_io, SFM_WRITE, &info, &memory);
  if (sound == nullptr) return Fail(path, sf_strerror(nullptr));
  bool written = count == 0 || sf_write_raw(sound, samples, sf_count_t(count)) == sf_count_t(count);
  std::string error = written ? "" : sf_strerror(sound);
  sf_close(sound);  // completes the header
  if (!written) return Fail(path, error);
  OutputFile output(path);
  output.Write(memory.bytes.data(), memory.bytes.size());
  return output.Commit();
}

IoResult ReadWav8(const std::string& path, Wav8* out) {
  if (out == nullptr) return Fail(path, "no result record");
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return Fail(path, std::string("cannot open: ") + std::strerror(errno));
  MemoryFile memory;
  uint8_t buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
    memory.bytes.insert(memory.bytes.end(), buffer, buffer + n);
  bool read_error = std::ferror(f) != 0;
  std::fclose(f);
  if (read_error) return Fail(path, "read failed");
  SF_INFO info{};
  SNDFILE* sound = sf_open_virtual(&g_memory_io, SFM_READ, &info, &memory);
  if (sound == nullptr) return Fail(path, sf_strerror(nullptr));
  IoResult result;
  if ((info.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_WAV) {
    result = Fail(path, "not a WAV file");
  } else if ((info.format & SF_FORMAT_SUBMASK) != SF_FORMAT_PCM_U8) {
    result = Fail(path, "not 8-bit PCM");
  } else if (info.channels != 1) {
    result = Fail(path, "not mono");
  } else {
    // A cut file keeps the samples it has.
    std::vector<uint8_t> samples(size_t(std::max<sf_count_t>(info.frames, 0)));
    sf_count_t got = samples.empty() ? 0 : sf_read_raw(sound, samples.data(), sf_count_t(samples.size()));
    samples.resize(size_t(std::max<sf_count_t>(got, 0)));
    out->rate = uint32_t(info.samplerate);
    out->samples = std::move(samples);
  }
  sf_close(sound);
  return result;
}

}  // namespace imageio
