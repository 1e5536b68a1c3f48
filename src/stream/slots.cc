#include "stream/slots.h"

#include <climits>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/files.h"
#include "base/bytes.h"
#include "base/log.h"
#include "base/mem.h"

namespace {

struct Slot {
  bool used = false;
  platform::File* stream = nullptr;
  uint8_t* table = nullptr;  // the whole checksum file, or null
  int32_t sectors = 0;       // N: checksums in the table
  int32_t position = 0;
  int32_t length = 0;
  std::string name;  // as opened, for the messages
};

Slot g_slots[kFileSlots];
// Guards claiming and releasing slots only: the playback's opening test and
// the reading thread may open files at the same time. An open slot belongs to
// its opener, who serialises its reads.
std::mutex g_slots_mutex;

Slot* Get(int16_t slot) {
  if (slot <= 0 || slot >= kFileSlots) return nullptr;
  Slot* s = &g_slots[slot];
  return s->stream != nullptr ? s : nullptr;
}

// Loads and verifies the checksum table of a data file opened in mode 2.
void LoadChecksumTable(Slot& slot, const char* name) {
  std::string chk = ChecksumFileName(name);
  if (chk.empty()) return;
  const char* chk_name = chk.c_str();
  for (int attempt = 0; attempt < kChecksumLoadAttempts; ++attempt) {
    platform::File* file = platform::OpenFile(chk_name, "rb");
    if (file == nullptr) return;
    platform::SeekFile(file, 0, 2);
    long size = platform::TellFile(file);
    platform::SeekFile(file, 0, 0);
    // Repair: a table was read whole whatever its size (1.5 GB of zeros was
    // taken); one larger than the data file's sectors need is refused.
    int64_t needed = 12 + 4 * ((int64_t(slot.length) + kSectorBytes - 1) / kSectorBytes) + 3;
    if (size > needed) {
      RecordError("Checksum file %s is too large (%ld bytes for %ld sectors); %s read unverified",
                  chk_name, size, long((int64_t(slot.length) + kSectorBytes - 1) / kSectorBytes),
                  name);
      platform::CloseFile(file);
      return;
    }
    uint8_t* table = nullptr;
    if (size < 0 || size > INT32_MAX || MemAlloc(&table, static_cast<size_t>(size)) != 0) {
      platform::CloseFile(file);
      return;
    }
    size_t got = platform::ReadFile(file, table, static_cast<size_t>(size));
    // A file that came short keeps zeros, never stale memory, in its tail.
    if (got < static_cast<size_t>(size)) MemFill(table + got, 0, static_cast<size_t>(size) - got);
    RecordNote("Reading checksum size %ld.\n", size);
    platform::CloseFile(file);

    // Fewer than 12 bytes hold no total: nothing can be verified against it.
    if (size < 12) {
      MemFree(&table);
      return;
    }
    int32_t sectors = static_cast<int32_t>(ChecksumFileSectors(size));
    uint32_t sum = 0, total = 0;
    if (ChecksumTotalMatches(table, sectors, &sum, &total)) {
      RecordNote("+ checksum okay.");
      slot.table = table;
      slot.sectors = sectors;
      return;
    }
    RecordError("CD Checksum failed - CD may be dirty or damaged.\nCode: %s %lX, %lX ", chk_name,
                static_cast<unsigned long>(sum), static_cast<unsigned long>(total));
    MemFree(&table);
  }
}

// The file index of the first whole sector in [buffer, buffer + count), read
// at the slot's position, from `from` on, that does not match its checksum;
// -1 when all match. Sectors past the end of the table are unverified.
int64_t FirstBadSector(const Slot& slot, const uint8_t* buffer, int32_t count, int64_t from = 0) {
  int32_t position = slot.position;
  if (position < 0) return -1;
  int32_t skip = (kSectorBytes - position % kSectorBytes) % kSectorBytes;
  if (count < skip) return -1;
  int32_t sectors = (count - skip) / kSectorBytes;
  int64_t first = (static_cast<int64_t>(position) + kSectorBytes - 1) / kSectorBytes;
  for (int32_t i = 0; i < sectors; ++i) {
    int64_t index = first + i;
    if (index >= slot.sectors) break;
    if (index < from) continue;
    uint32_t expected = StoredSectorChecksum(slot.table, index);
    if (SectorChecksum(buffer + skip + static_cast<size_t>(i) * kSectorBytes) != expected) {
      return index;
    }
  }
  return -1;
}

}  // namespace

uint32_t SectorChecksum(const uint8_t* sector) {
  uint32_t sum = 0;
  for (int i = 0; i < kSectorBytes; i += 4) sum += ReadLE32(sector + i);
  return sum;
}

std::string ChecksumFileName(const std::string& name) {
  size_t component = name.find_last_of("\\/");
  component = component == std::string::npos ? 0 : component + 1;
  size_t cut = name.find('.', component);
  if (cut == std::string::npos) cut = name.size();
  if (cut + 4 + 1 > static_cast<size_t>(kChecksumNameBytes)) return {};
  return name.substr(0, cut) + ".CHK";
}

std::vector<uint8_t> MakeChecksumFile(const uint8_t* data, size_t size) {
  size_t sectors = (size + kSectorBytes - 1) / kSectorBytes;
  std::vector<uint8_t> file(12 + 4 * sectors, 0);
  uint32_t total = 0;
  for (size_t i = 0; i < sectors; ++i) {
    size_t at = i * kSectorBytes;
    uint32_t sum;
    if (size - at >= static_cast<size_t>(kSectorBytes)) {
      sum = SectorChecksum(data + at);
    } else {
      uint8_t last[kSectorBytes] = {};
      MemCopy(last, data + at, size - at);
      sum = SectorChecksum(last);
    }
    WriteLE32(file.data() + 8 + 4 * i, sum);
    total += sum;
  }
  WriteLE32(file.data() + 8 + 4 * sectors, total);
  return file;
}

int64_t ChecksumFileSectors(int64_t size) { return size < 12 ? -1 : (size - 12) / 4; }

uint32_t StoredSectorChecksum(const uint8_t* table, int64_t index) {
  return ReadLE32(table + 8 + 4 * static_cast<size_t>(index));
}

bool ChecksumTotalMatches(const uint8_t* table, int64_t sectors, uint32_t* sum, uint32_t* total) {
  uint32_t s = 0;
  for (int64_t i = 0; i < sectors; ++i) s += StoredSectorChecksum(table, i);
  *sum = s;
  *total = StoredSectorChecksum(table, sectors);
  return s == *total;
}

int16_t FileOpen(const char* name, int mode) {
  if (name == nullptr) return 0;
  int16_t index = 0;
  {
    std::lock_guard<std::mutex> lock(g_slots_mutex);
    for (int16_t i = 1; i < kFileSlots; ++i) {
      if (!g_slots[i].used) {
        g_slots[i].used = true;
        index = i;
        break;
      }
    }
  }
  if (index == 0) return 0;

  Slot& slot = g_slots[index];
  platform::File* stream = platform::OpenFile(name, OpenModeString(mode));
  long length = -1;
  if (stream != nullptr) {
    platform::SeekFile(stream, 0, 2);
    length = platform::TellFile(stream);
    platform::SeekFile(stream, 0, 0);
  }
  // Offsets are 32-bit throughout; a longer file cannot be addressed.
  if (stream == nullptr || length < 0 || length > INT32_MAX) {
    platform::CloseFile(stream);
    std::lock_guard<std::mutex> lock(g_slots_mutex);
    slot.used = false;
    return 0;
  }
  slot.stream = stream;
  slot.table = nullptr;
  slot.sectors = 0;
  slot.position = 0;
  slot.length = static_cast<int32_t>(length);
  slot.name = name;
  if (mode == 2) LoadChecksumTable(slot, name);
  return index;
}

void FileClose(int16_t index) {
  Slot* slot = Get(index);
  if (slot == nullptr) return;
  platform::CloseFile(slot->stream);
  MemFree(&slot->table);
  std::lock_guard<std::mutex> lock(g_slots_mutex);
  *slot = Slot{};
}

int32_t FileReadChecked(int16_t index, void* buffer, int32_t count) {
  Slot* slot = Get(index);
  if (slot == nullptr || buffer == nullptr || count <= 0) return 0;
  uint8_t* bytes = static_cast<uint8_t*>(buffer);
  int failures = 0;
  int series = 0;
  for (;;) {
    int32_t got = static_cast<int32_t>(platform::ReadFile(slot->stream, bytes, count));
    if (slot->table == nullptr) {
      slot->position += got;
      return got;
    }
    // Only bytes that arrived are checked: a short read leaves the rest of the
    // buffer as it was, and the caller reads the block again anyway.
    int32_t checked = got;
    int32_t left = slot->length - slot->position;
    if (checked > left) checked = left < 0 ? 0 : left;
    int64_t bad = FirstBadSector(*slot, bytes, checked);
    if (bad < 0) {
      slot->position += got;
      return got;
    }
    RecordNote("CD Checksum error--CD may be dirty or damaged");
    if (++failures % kReadsPerSeries == 0) {
      if (series >= kReadSeries - 1) {
        // Repair: giving up returned 0 and the stream read the same block
        // again for ever; the sectors that never matched are recorded and
        // the data goes on as read (the decoders take damaged bytes).
        for (; bad >= 0; bad = FirstBadSector(*slot, bytes, checked, bad + 1)) {
          RecordError("Checksum of sector %lld of %s (offset %lld) never matched; read as it is",
                      static_cast<long long>(bad), slot->name.c_str(),
                      static_cast<long long>(bad * kSectorBytes));
        }
        platform::ClearFileError(slot->stream);
        slot->position += got;
        return got;
      }
      // Move the drive's head away and back before the next series.
      platform::ClearFileError(slot->stream);
      platform::SeekFile(slot->stream, 0, 0);
      platform::ReadFile(slot->stream, bytes, count);
      ++series;
    }
    platform::ClearFileError(slot->stream);
    platform::SeekFile(slot->stream, slot->position, 0);
  }
}

int32_t FileSeek(int16_t index, int32_t offset, int origin) {
  Slot* slot = Get(index);
  if (slot == nullptr) return -1;
  platform::SeekFile(slot->stream, offset, origin);
  long position = platform::TellFile(slot->stream);
  slot->position = (position < 0 || position > INT32_MAX) ? -1 : static_cast<int32_t>(position);
  return slot->position;
}

int32_t FileTell(int16_t index) {
  Slot* slot = Get(index);
  if (slot == nullptr) return -1;
  long position = platform::TellFile(slot->stream);
  return (position < 0 || position > INT32_MAX) ? -1 : static_cast<int32_t>(position);
}

int32_t FileLength(int16_t index) {
  Slot* slot = Get(index);
  return slot == nullptr ? -1 : slot->length;
}

int32_t FileChecksumSectors(int16_t index) {
  Slot* slot = Get(index);
  return (slot == nullptr || slot->table == nullptr) ? -1 : slot->sectors;
}
