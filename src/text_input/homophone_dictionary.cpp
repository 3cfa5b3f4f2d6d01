#include "text_input/homophone_dictionary.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "core/environment.h"
#include "core/text.h"
#include "text_input/homophone_format.h"

namespace hf = homophone_format;

std::filesystem::path GetHomophoneDictionaryPath() {
  const std::filesystem::path dir = GetExecutableDirectory();
  if (dir.empty()) return {};
  return dir / "assets" / "ime" / "homophones.bin";
}

HomophoneDictionary::HomophoneDictionary(std::filesystem::path path) : path_(std::move(path)) {}

bool HomophoneDictionary::Open(const std::filesystem::path& path) {
  if (state_ != kDictionaryNotTried) return state_ == kDictionaryOpen;
  state_ = kDictionaryUnopenable;
  if (path.empty()) return false;
  const platform::MapFileResult mapped = file_.Open(path, hf::kMinFileSize, hf::kMaxFileSize);
  if (mapped == platform::MapFileResult::kNotOpened) return false;
  state_ = kDictionaryInvalid;
  hf::Header header;
  if (mapped != platform::MapFileResult::kOk || !hf::ReadHeader(file_.bytes(), &header)) return false;
  file_size_ = header.file_size;
  entry_count_ = header.entry_count;
  index_offset_ = header.index_offset;
  text_offset_ = header.text_offset;
  state_ = kDictionaryOpen;
  return true;
}

std::vector<std::u16string> HomophoneDictionary::Lookup(const std::u16string& reading, size_t max_count) {
  if (reading.empty() || reading.size() > hf::kMaxReadingUnits || max_count == 0) return {};
  if (!Open(path_)) return {};
  const std::string key = WideToUtf8(reading);
  if (key.empty()) return {};  // an unpaired surrogate

  const hf::Header header{entry_count_, index_offset_, text_offset_, file_size_};
  const auto file = file_.bytes();
  uint32_t lo = 0;
  uint32_t hi = entry_count_;
  while (lo < hi) {
    const uint32_t mid = lo + (hi - lo) / 2;
    hf::Record record;
    if (!hf::ReadRecord(file, header, mid, &record)) {
      state_ = kDictionaryInvalid;
      return {};
    }
    const std::string_view stored = hf::KeyOf(file, record);
    const int order = std::string_view(key).compare(stored);  // unsigned bytes, then length
    if (order < 0) {
      hi = mid;
    } else if (order > 0) {
      lo = mid + 1;
    } else {
      std::vector<std::u16string> values;
      if (!hf::ReadValues(file, record, max_count, &values)) {
        state_ = kDictionaryInvalid;
        return {};
      }
      return values;
    }
  }
  return {};
}
