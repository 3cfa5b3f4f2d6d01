// Lookup in a generated dictionary of 1,000,000 entries, warm hit and miss,
// and Open; beside tinycdb answering the same pairs from a cdb file.
//   --smoke   10,000 entries, for a quick run that keeps it building
#include <benchmark/benchmark.h>
#include <cdb.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/text.h"
#include "platform/files.h"
#include "text_input/homophone_dictionary.h"
#include "text_input/homophone_format.h"

namespace {

int kEntries = 1'000'000;

// Entry i's reading: its number in base 80 over hiragana, 4 digits.
std::string Reading(int i) {
  std::u16string r;
  for (int d = 0; d < 4; ++d, i /= 80) r.push_back(static_cast<char16_t>(0x3041 + i % 80));
  return WideToUtf8(r);
}

struct Files {
  std::filesystem::path dir, dict, cdb;
  std::vector<std::string> hits, misses;
};

const Files& Generated() {
  static const Files files = [] {
    Files f;
    f.dir = std::filesystem::temp_directory_path() / ("quorix-homophone-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(f.dir);
    f.dict = f.dir / "homophones.bin";
    f.cdb = f.dir / "homophones.cdb";
    std::vector<homophone_format::Entry> entries;
    entries.reserve(kEntries);
    const int fd = ::open(f.cdb.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    cdb_make make;
    cdb_make_start(&make, fd);
    for (int i = 0; i < kEntries; ++i) {
      homophone_format::Entry e{Reading(i), {"語" + std::to_string(i), "言" + std::to_string(i)}};
      std::string joined = e.values[0] + '\0' + e.values[1] + '\0';
      cdb_make_add(&make, e.reading.data(), static_cast<unsigned>(e.reading.size()), joined.data(),
                   static_cast<unsigned>(joined.size()));
      entries.push_back(std::move(e));
    }
    cdb_make_finish(&make);
    ::close(fd);
    if (!platform::ReplaceFileDurably(f.dict, homophone_format::BuildFile(std::move(entries)))) std::abort();
    for (int i = 0; i < 1024; ++i) {
      f.hits.push_back(Reading((i * 7919) % kEntries));
      f.misses.push_back(Reading((i * 7919) % kEntries) + "ん");
    }
    std::atexit([] { std::filesystem::remove_all(Generated().dir); });
    return f;
  }();
  return files;
}

void BM_Lookup(benchmark::State& state, bool hit) {
  const Files& f = Generated();
  HomophoneDictionary dict(f.dict);
  std::vector<std::u16string> keys;
  for (const auto& k : hit ? f.hits : f.misses) keys.push_back(Utf8ToWide(k));
  size_t i = 0;
  for (auto _ : state) {
    auto values = dict.Lookup(keys[i++ & 1023], 126);
    benchmark::DoNotOptimize(values);
  }
  if (dict.state() != kDictionaryOpen) state.SkipWithError("dictionary not open");
}

// The peer: find the key, copy its values out and decode them.
void BM_Cdb(benchmark::State& state, bool hit) {
  const Files& f = Generated();
  const int fd = ::open(f.cdb.c_str(), O_RDONLY);
  cdb db;
  cdb_init(&db, fd);
  size_t i = 0;
  for (auto _ : state) {
    const std::string& key = (hit ? f.hits : f.misses)[i++ & 1023];
    std::vector<std::u16string> values;
    if (cdb_find(&db, key.data(), static_cast<unsigned>(key.size())) > 0) {
      const char* data = static_cast<const char*>(cdb_getdata(&db));
      const unsigned length = cdb_datalen(&db);
      for (unsigned start = 0; start < length;) {
        const std::string one(data + start);
        values.push_back(Utf8ToWideStrict(one));
        start += static_cast<unsigned>(one.size()) + 1;
      }
    }
    benchmark::DoNotOptimize(values);
  }
  cdb_free(&db);
  ::close(fd);
}

void BM_Open(benchmark::State& state) {
  const Files& f = Generated();
  for (auto _ : state) {
    HomophoneDictionary dict(f.dict);
    benchmark::DoNotOptimize(dict.Open(f.dict));
  }
}

BENCHMARK_CAPTURE(BM_Lookup, hit, true);
BENCHMARK_CAPTURE(BM_Cdb, hit, true);
BENCHMARK_CAPTURE(BM_Lookup, miss, false);
BENCHMARK_CAPTURE(BM_Cdb, miss, false);
BENCHMARK(BM_Open);

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    if (std::string(argv[i]) == "--smoke") {
      kEntries = 10'000;
    } else {
      args.push_back(argv[i]);
    }
  }
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
