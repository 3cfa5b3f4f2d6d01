// Fuzz entry point of the JSON reader. Whatever it accepts must print (through
// the test writer) to a text that reads back to an equal tree, and must copy
// and move without loss. Two differential checks ride along: the document's
// UTF-8 check agrees with the decoder of the UTF-16 conversion on every input,
// and a lone number reads bit for bit as strtod reads it in the "C" locale.
#include <locale.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "core/json.h"
#include "core/json_reader.h"
#include "core/text.h"
#include "support/fuzz/fuzz_verdict.h"
#include "support/json_canonical.h"

namespace {

[[noreturn]] void Fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "json fuzz: %s: %s\n", what, detail.c_str());
  std::abort();
}

bool Digit(char c) { return c >= '0' && c <= '9'; }

// The JSON number grammar, whole text, no surrounding space.
bool IsJsonNumber(const std::string& s) {
  size_t i = 0;
  const size_t n = s.size();
  if (i < n && s[i] == '-') ++i;
  if (i >= n || !Digit(s[i])) return false;
  if (s[i++] != '0') {
    while (i < n && Digit(s[i])) ++i;
  }
  if (i < n && s[i] == '.') {
    if (++i >= n || !Digit(s[i])) return false;
    while (i < n && Digit(s[i])) ++i;
  }
  if (i < n && (s[i] == 'e' || s[i] == 'E')) {
    if (++i < n && (s[i] == '+' || s[i] == '-')) ++i;
    if (i >= n || !Digit(s[i])) return false;
    while (i < n && Digit(s[i])) ++i;
  }
  return i == n;
}

void CheckNumberAgainstStrtod(const std::string& text, bool accepted, const JsonValue& value) {
  if (!IsJsonNumber(text) || text.size() > JsonBoundedPolicy::kMaxTextBytes) return;
  static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  char* end = nullptr;
  const double expected = strtod_l(text.c_str(), &end, c_locale);
  if (end != text.c_str() + text.size()) Fail("strtod stopped early", text);
  if (accepted != std::isfinite(expected)) Fail("acceptance differs from strtod", text);
  if (accepted && std::memcmp(&expected, &value.number, sizeof expected) != 0) Fail("number differs from strtod", text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::u16string ignored;
  if (json_detail::IsValidUtf8(text.data(), text.size()) != quorix_text::DecodeUtf8(text.data(), text.size(), &ignored)) {
    Fail("UTF-8 check differs from the decoder", text);
  }
  JsonValue value;
  const bool accepted = ParseJson(text, value);
  ReportFuzzVerdict(accepted);
  CheckNumberAgainstStrtod(text, accepted, value);
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
