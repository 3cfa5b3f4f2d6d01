// Fuzz entry point of the outgoing text check, compared with a reference
// written from its rule: 1..2000 bytes, content beyond blanks, no control byte
// but TAB, LF and CR, no DEL, and strict UTF-8 (shortest forms, no surrogates,
// nothing above U+10FFFF).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "chat/outgoing_check.h"
#include "support/fuzz/fuzz_verdict.h"

namespace {

bool StrictUtf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    const unsigned char b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
      ++i;
      continue;
    }
    const int extra = b >= 0xC0 && b <= 0xDF ? 1 : b >= 0xE0 && b <= 0xEF ? 2 : b >= 0xF0 && b <= 0xF7 ? 3 : 0;
    if (extra == 0 || i + extra >= s.size()) return false;
    uint32_t cp = b & (0x7F >> (extra + 1));
    for (int k = 1; k <= extra; ++k) {
      const unsigned char c = static_cast<unsigned char>(s[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = cp << 6 | (c & 0x3F);
    }
    static const uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[extra] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return false;
    i += extra + 1;
  }
  return true;
}

bool Reference(const std::string& s) {
  if (s.empty() || s.size() > 2000) return false;
  bool content = false;
  for (const unsigned char c : s) {
    if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F) return false;
    if (c != '\t' && c != '\n' && c != '\r' && c != ' ') content = true;
  }
  return content && StrictUtf8(s);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const bool accepted = ValidateOutgoingMessageText(text);
  ReportFuzzVerdict(accepted);
  if (accepted != Reference(text)) {
    std::fprintf(stderr, "outgoing check fuzz: %s where the rule says otherwise\n", accepted ? "accepted" : "refused");
    std::abort();
  }
  return 0;
}
