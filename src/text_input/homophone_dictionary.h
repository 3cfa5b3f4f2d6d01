#pragma once
// The homophone dictionary: a read-only, memory-mapped file that maps a kana
// reading to its written forms, searched in place (layout in
// homophone_format.h). Opened lazily by the first lookup; a file that proves
// malformed is never used again by this object. One object per conversion
// worker; not shared, no locks.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/mapped_file.h"

// Dictionary states.
inline constexpr uint32_t kDictionaryNotTried = 0;
inline constexpr uint32_t kDictionaryOpen = 1;
inline constexpr uint32_t kDictionaryUnopenable = 2;  // missing, a folder, a FIFO, no access, no path
inline constexpr uint32_t kDictionaryInvalid = 3;     // bad size, mapping failed, or a malformed header or entry

// "assets/ime/homophones.bin" beside the executable; empty when the
// executable's path cannot be read.
std::filesystem::path GetHomophoneDictionaryPath();

class HomophoneDictionary {
 public:
  // `path` is what Lookup opens.
  explicit HomophoneDictionary(std::filesystem::path path = GetHomophoneDictionaryPath());
  HomophoneDictionary(const HomophoneDictionary&) = delete;
  HomophoneDictionary& operator=(const HomophoneDictionary&) = delete;
  ~HomophoneDictionary() = default;  // the mapping goes with `file_`

  // Maps and checks the file once; later calls only report whether the state
  // is open. States 2 and 3 are final.
  bool Open(const std::filesystem::path& path);

  // At most `max_count` values of `reading` (1..40 units) in file order.
  // Empty when not found, for a reading out of bounds or not convertible,
  // and whenever the file is missing or malformed; meeting a malformed
  // record or value list turns the state to 3 (nothing partial is returned).
  std::vector<std::u16string> Lookup(const std::u16string& reading, size_t max_count);

  uint32_t state() const { return state_; }

 private:
  std::filesystem::path path_;
  platform::MappedFile file_;
  uint32_t file_size_ = 0;
  uint32_t entry_count_ = 0;
  uint32_t index_offset_ = 0;
  uint32_t text_offset_ = 0;
  uint32_t state_ = kDictionaryNotTried;
};
