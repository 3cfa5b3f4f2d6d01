// Fuzz entry point of the homophone dictionary: the input is a dictionary
// file. Its bytes go through the layout checks directly (an exact-size copy,
// so a read one past the end is caught) and once through a memfd path for
// Open; then Lookup of fixed readings and of the keys of its own index. While
// the dictionary stays open, every value is 1..1000 units of well-formed
// UTF-16. Accepted = opened.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/text.h"
#include "support/fuzz/fuzz_verdict.h"
#include "text_input/homophone_dictionary.h"
#include "text_input/homophone_format.h"

namespace hf = homophone_format;

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "homophone fuzz: %s\n", what);
  std::abort();
}

void CheckValues(const std::vector<std::u16string>& values, size_t max_count) {
  if (values.size() > max_count) Fail("more values than asked for");
  for (const std::u16string& v : values) {
    if (v.empty() || v.size() > hf::kMaxValueUnits || !IsWellFormedText(v)) Fail("malformed value");
  }
}

// The keys of the first records, as readings.
std::vector<std::u16string> IndexKeys(std::span<const uint8_t> file) {
  std::vector<std::u16string> keys;
  hf::Header header;
  if (!hf::ReadHeader(file, &header)) return keys;
  for (uint32_t i = 0; i < header.entry_count && i < 64; ++i) {
    hf::Record record;
    if (!hf::ReadRecord(file, header, i, &record)) continue;
    std::vector<std::u16string> values;
    if (hf::ReadValues(file, record, hf::kMaxValues, &values)) CheckValues(values, hf::kMaxValues);
    keys.push_back(Utf8ToWideStrict(std::string(hf::KeyOf(file, record))));
  }
  return keys;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::unique_ptr<uint8_t[]> copy(new uint8_t[size == 0 ? 1 : size]);
  std::copy(data, data + size, copy.get());
  const std::vector<std::u16string> keys = IndexKeys({copy.get(), size});

  const int fd = ::memfd_create("homophones", MFD_CLOEXEC);
  if (fd < 0) Fail("memfd_create");
  if (size > 0 && ::write(fd, data, size) != static_cast<ssize_t>(size)) Fail("write");
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  {
    HomophoneDictionary dict(path);
    const bool opened = dict.Open(path);
    ReportFuzzVerdict(opened);
    std::vector<std::u16string> readings = {u"こうえん", u"はし", u"あ", std::u16string(40, u'ん')};
    readings.insert(readings.end(), keys.begin(), keys.end());
    for (const std::u16string& reading : readings) {
      const std::vector<std::u16string> values = dict.Lookup(reading, 16);
      if (dict.state() == kDictionaryOpen) CheckValues(values, 16);
      if (dict.state() != kDictionaryOpen && !values.empty()) Fail("values from a closed dictionary");
    }
  }
  ::close(fd);
  return 0;
}
