// Fuzz entry point of the JSON reader. Whatever it accepts must print (through
// the test writer) to a text that reads back to an equal tree, and must copy
// and move without loss.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "core/json.h"
#include "support/fuzz/fuzz_verdict.h"
#include "support/json_canonical.h"

namespace {

[[noreturn]] void Fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "json fuzz: %s: %s\n", what, detail.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  JsonValue value;
  const bool accepted = ParseJson(text, value);
  ReportFuzzVerdict(accepted);
  if (!accepted) return 0;

  const std::string canonical = WriteCanonicalJson(value);
  JsonValue again;
  if (!ParseJson(canonical, again)) Fail("canonical text refused", canonical);
  if (!JsonTreesEqual(value, again)) Fail("canonical text reads back different", canonical);
  if (WriteCanonicalJson(again) != canonical) Fail("canonical text not stable", canonical);

  const JsonValue copy = value;
  JsonValue moved = std::move(again);
  if (!JsonTreesEqual(copy, value) || !JsonTreesEqual(moved, value)) Fail("copy or move differs", canonical);
  return 0;
}
