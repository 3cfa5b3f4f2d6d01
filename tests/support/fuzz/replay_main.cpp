// Replays corpus files through a libFuzzer entry point without libFuzzer, so
// the normal (sanitizer) build runs every conformance case. Each argument is a
// file or a folder of files. A file whose name starts with "y_" must be
// accepted, "n_" refused; any other name only must not crash.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_verdict.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool ReadWholeFile(const std::filesystem::path& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::filesystem::path> files;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path arg(argv[i]);
    std::error_code error;
    if (std::filesystem::is_directory(arg, error)) {
      for (const auto& entry : std::filesystem::directory_iterator(arg, error)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
    } else {
      files.push_back(arg);
    }
    if (error) {
      std::fprintf(stderr, "cannot list %s\n", argv[i]);
      return 1;
    }
  }
  std::sort(files.begin(), files.end());
  if (files.empty()) {
    std::fprintf(stderr, "no corpus files\n");
    return 1;
  }

  int wrong = 0;
  for (const auto& path : files) {
    std::string bytes;
    if (!ReadWholeFile(path, bytes)) {
      std::fprintf(stderr, "cannot read %s\n", path.c_str());
      ++wrong;
      continue;
    }
    const std::string name = path.filename().string();
    std::fprintf(stderr, "%s ... ", name.c_str());
    std::fflush(stderr);
    TakeFuzzVerdict();
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    const int verdict = TakeFuzzVerdict();
    int expected = -1;
    if (name.rfind("y_", 0) == 0) expected = 1;
    if (name.rfind("n_", 0) == 0) expected = 0;
    if (expected >= 0 && verdict != expected) {
      std::fprintf(stderr, "WRONG: %s, expected %s\n", verdict == 1 ? "accepted" : verdict == 0 ? "refused" : "no verdict",
                   expected == 1 ? "accepted" : "refused");
      ++wrong;
    } else {
      std::fprintf(stderr, "%s\n", verdict == 1 ? "accepted" : verdict == 0 ? "refused" : "ok");
    }
  }
  std::fprintf(stderr, "%zu files, %d wrong\n", files.size(), wrong);
  return wrong == 0 ? 0 : 1;
}
