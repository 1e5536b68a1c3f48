#include "imageio/imageio.h"

#include "imageio/output.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

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
  OutputFile* output = nullptr;  // write side
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

// Written through the output so that a failure keeps the system's reason.
void PngWrite(png_structp png, png_bytep data, size_t size) {
  auto* job = static_cast<PngJob*>(png_get_io_ptr(png));
  if (!job->output->Write(data, size)) png_error(png, "write failed");
}

void PngFlush(png_structp) {}

bool WriteJob(PngJob* job) {
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
  for (int y = 0; y < job->height; ++y) {
    png_write_row(png, job->indices + static_cast<size_t>(y) * job->pitch);
  }
  png_write_end(png, nullptr);
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
  OutputFile output(path);
  if (!output.ok()) return output.Commit();
  PngJob job;
  job.output = &output;
  job.indices = indices;
  job.palette = palette768;
  job.width = width;
  job.height = height;
  job.pitch = pitch;
  bool written = WriteJob(&job);
  // A failed write's reason is the output's; libpng's own errors are kept.
  if (!written && output.ok()) return Fail(path, job.error[0] ? job.error : "write failed");
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

IoResult WriteWav8(const std::string& path, const uint8_t* samples, size_t count, uint32_t rate) {
  if (samples == nullptr && count != 0) return Fail(path, "no samples");
  if (rate == 0) return Fail(path, "sample rate 0");
  if (count > 0xFFFFFFFFu - 64) return Fail(path, "too many samples for a WAV file");
  uint8_t header[44];
  std::memcpy(header, "RIFF", 4);
  uint32_t pad = count & 1;  // chunks are word-aligned
  WriteLE32(header + 4, static_cast<uint32_t>(36 + count + pad));
  std::memcpy(header + 8, "WAVEfmt ", 8);
  WriteLE32(header + 16, 16);
  WriteLE16(header + 20, 1);  // PCM
  WriteLE16(header + 22, 1);  // mono
  WriteLE32(header + 24, rate);
  WriteLE32(header + 28, rate);  // bytes per second
  WriteLE16(header + 32, 1);     // block align
  WriteLE16(header + 34, 8);     // bits per sample
  std::memcpy(header + 36, "data", 4);
  WriteLE32(header + 40, static_cast<uint32_t>(count));
  OutputFile output(path);
  const uint8_t zero = 0;
  if (output.Write(header, sizeof header) && output.Write(samples, count)) output.Write(&zero, pad);
  return output.Commit();
}

IoResult ReadWav8(const std::string& path, Wav8* out) {
  if (out == nullptr) return Fail(path, "no result record");
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return Fail(path, std::string("cannot open: ") + std::strerror(errno));
  std::vector<uint8_t> data;
  uint8_t buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) data.insert(data.end(), buffer, buffer + n);
  bool read_error = std::ferror(f) != 0;
  std::fclose(f);
  if (read_error) return Fail(path, "read failed");
  if (data.size() < 12 || std::memcmp(data.data(), "RIFF", 4) != 0 ||
      std::memcmp(data.data() + 8, "WAVE", 4) != 0) {
    return Fail(path, "not a RIFF WAVE file");
  }
  bool have_format = false;
  uint32_t rate = 0;
  size_t pos = 12;
  while (pos + 8 <= data.size()) {
    const uint8_t* chunk = data.data() + pos;
    uint32_t size = ReadLE32(chunk + 4);
    size_t body = pos + 8;
    size_t available = data.size() - body;
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      if (size < 16 || available < 16) return Fail(path, "short format chunk");
      const uint8_t* fmt = data.data() + body;
      if (ReadLE16(fmt) != 1) return Fail(path, "not PCM");
      if (ReadLE16(fmt + 2) != 1) return Fail(path, "not mono");
      if (ReadLE16(fmt + 14) != 8) return Fail(path, "not 8 bits per sample");
      rate = ReadLE32(fmt + 4);
      if (rate == 0) return Fail(path, "sample rate 0");
      have_format = true;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      if (!have_format) return Fail(path, "sound data before the format");
      size_t take = size < available ? size : available;  // a cut file keeps what it has
      out->rate = rate;
      out->samples.assign(data.begin() + body, data.begin() + body + take);
      return {};
    }
    if (size > available) break;
    pos = body + size + (size & 1);
  }
  return Fail(path, "no sound data");
}

}  // namespace imageio
