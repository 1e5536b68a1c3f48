// File slots with per-sector checksum verification. The stream engine opens
// its data files here; a data file may have a companion ".CHK" file beside it
// (its name up to the first dot, then ".CHK") holding one 32-bit sum per
// 2048-byte sector, and every whole sector a checked read brings in is
// compared with it, retrying damaged reads many times before giving up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr int kFileSlots = 50;  // slot 0 is never handed out
constexpr int32_t kSectorBytes = 2048;
// The checksum file's name is built in a buffer of this many characters
// (terminating zero included).
constexpr int kChecksumNameBytes = 64;
// Loading a checksum table whose total does not match is tried this often. A
// table larger than the data file's sectors need is refused (read unverified).
constexpr int kChecksumLoadAttempts = 51;
// A block whose sectors keep failing is read kReadsPerSeries times per
// series, over kReadSeries series (306 reads), before the read gives up.
constexpr int kReadsPerSeries = 51;
constexpr int kReadSeries = 6;

// Modes: 0 "r", 1 "w", 2 "rb" (loads the checksum table), 3 "wb", 4 "rb+".
// Returns the slot number, or 0 when no slot is free or the file cannot be
// opened.
//
// The checksum name must fit its 64-character buffer, so the part of the
// name before the dot may hold at most 59 characters. A longer name is never
// cut into another file's name: the data file then opens without a table
// (read unverified), as if it had no checksum file. Only the dot of the last
// path component counts, so a dot in a folder name never picks a wrong file.
int16_t FileOpen(const char* name, int mode);
// Closes the stream and frees the slot and its table; slot 0 does nothing.
void FileClose(int16_t slot);
// Reads count bytes at the slot's position. Returns the bytes read. Sectors
// that never verified within the retries are recorded in the error log (file,
// sector, offset) and handed on as read.
int32_t FileReadChecked(int16_t slot, void* buffer, int32_t count);
// origin 0 start, 1 current, any other value end. Returns the new position
// (stored as the slot's position), or -1 for a slot that is not open.
int32_t FileSeek(int16_t slot, int32_t offset, int origin);
// The stream's current offset, or -1 for a slot that is not open.
int32_t FileTell(int16_t slot);
// The length taken when the file was opened, or -1 for a slot that is not open.
int32_t FileLength(int16_t slot);
// Sectors described by the slot's checksum table, or -1 when the file is read
// unverified (no table, or no such slot).
int32_t FileChecksumSectors(int16_t slot);

// The checksum of one 2048-byte sector: the wrap-around sum of its 512
// little-endian 32-bit words. Also what a ".CHK" file's writer stores.
uint32_t SectorChecksum(const uint8_t* sector);

// The checksum file's name for a data file's name: cut at the first dot of
// its last component, then ".CHK". Empty when it does not fit the
// kChecksumNameBytes buffer (such a file is read unverified).
std::string ChecksumFileName(const std::string& name);

// A checksum file, little-endian 32-bit words: 8 bytes the reader skips
// (written as zeros), the checksum of sector i at 8 + 4 i, then the total of
// all of them. A last sector shorter than 2048 bytes is summed as if padded
// with zeros; reads never verify it, as they verify whole sectors only.
std::vector<uint8_t> MakeChecksumFile(const uint8_t* data, size_t size);
// Sectors that a checksum file of `size` bytes describes ((size - 12) / 4),
// or -1 when it is too short to hold a total.
int64_t ChecksumFileSectors(int64_t size);
// The checksum stored for sector `index` of a loaded checksum file.
uint32_t StoredSectorChecksum(const uint8_t* table, int64_t index);
// Adds up the file's `sectors` checksums into *sum and reads its total into
// *total; true when they match.
bool ChecksumTotalMatches(const uint8_t* table, int64_t sectors, uint32_t* sum, uint32_t* total);
