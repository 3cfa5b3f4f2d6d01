#pragma once
// The homophone dictionary file ("homophones.bin"), shared by the reader and
// the generator tool. All integers are unsigned 32-bit little-endian.
//
//   header (32 bytes): magic "QRXOMO1\0", version 1, entry count
//     (1..1,000,000), index offset (32), text offset (count * 20 + 32),
//     file size (the actual size), reserved 0
//   index: one 20-byte record per entry, sorted by unsigned key bytes (a key
//     that is a prefix of a longer one first): key offset, key length
//     (1..160 bytes), values offset, values length (bytes), value count (1..126)
//   text area: keys (UTF-8, no terminator) and value lists (value-count
//     strings of 1..4000 UTF-8 bytes, each followed by one NUL, each decoding
//     to 1..1000 UTF-16 units), all inside the file
//
// The checks below are pure functions over the file's bytes; every offset +
// length is summed in 64 bits, so a length near 4 GiB cannot wrap past a check.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace homophone_format {

inline constexpr char kMagic[8] = {'Q', 'R', 'X', 'O', 'M', 'O', '1', '\0'};
inline constexpr uint32_t kVersion = 1;
inline constexpr uint32_t kHeaderSize = 32;
inline constexpr uint32_t kRecordSize = 20;
inline constexpr uint32_t kMaxEntries = 1'000'000;
// The file must hold at least its header; 64 MiB bounds what is mapped.
inline constexpr uint64_t kMinFileSize = 32;
inline constexpr uint64_t kMaxFileSize = 64ull * 1024 * 1024;
// A reading of at most 40 UTF-16 units is at most 160 UTF-8 bytes.
inline constexpr size_t kMaxReadingUnits = 40;
inline constexpr uint32_t kMaxKeyBytes = 160;
// The conversion list holds at most 126 candidates, so no entry offers more.
inline constexpr uint32_t kMaxValues = 126;
inline constexpr size_t kMaxValueBytes = 4000;
inline constexpr size_t kMaxValueUnits = 1000;

struct Header {
  uint32_t entry_count = 0;
  uint32_t index_offset = 0;
  uint32_t text_offset = 0;
  uint32_t file_size = 0;
};

struct Record {
  uint32_t key_offset = 0;
  uint32_t key_length = 0;
  uint32_t values_offset = 0;
  uint32_t values_length = 0;
  uint32_t value_count = 0;
};

// Checks the header against the whole file (size 32..64 MiB included).
bool ReadHeader(std::span<const uint8_t> file, Header* out);

// Reads record `index` (below the header's count) and checks it against the
// index rules; false on any violation.
bool ReadRecord(std::span<const uint8_t> file, const Header& header, uint32_t index, Record* out);

// The record's key bytes (the record must have passed ReadRecord).
std::string_view KeyOf(std::span<const uint8_t> file, const Record& record);

// Decodes at most `max_count` values of a checked record into `out`
// (replaced). False on any malformed value, with `out` emptied.
bool ReadValues(std::span<const uint8_t> file, const Record& record, size_t max_count,
                std::vector<std::u16string>* out);

// One entry of the generator's input.
struct Entry {
  std::string reading;              // UTF-8
  std::vector<std::string> values;  // UTF-8, in offer order
};

// Checks a reading (1..40 units of hiragana U+3041..U+3096 and ー, at most
// 160 bytes) and a value (1..4000 bytes of valid UTF-8 without NUL, 1..1000
// units). Empty on success, else what is wrong.
std::string CheckReading(const std::string& reading);
std::string CheckValue(const std::string& value);

// The file for `entries` (sorted here by unsigned key bytes). The caller has
// checked every entry and that readings are unique; at most kMaxEntries.
std::string BuildFile(std::vector<Entry> entries);

}  // namespace homophone_format
