#include "chat/outgoing_check.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

TEST(OutgoingCheck, EdgeCases) {
  struct Case {
    const char* name;
    std::string text;
    bool ok;
  } cases[] = {
      {"empty", "", false},
      {"2001 bytes", std::string(2001, 'a'), false},
      {"2000 bytes", std::string(2000, 'a'), true},
      {"blanks only", " \t\r\n  ", false},
      {"blanks and a letter", " \t\r\nx ", true},
      {"escapes needed", "a\"b\\c\nd\re\tf/", true},
      {"NUL", std::string("a\0b", 3), false},
      {"0x01", "a\x01", false},
      {"ESC", "a\x1b", false},
      {"DEL", "a\x7f", false},
      {"vertical tab", "a\x0b", false},
      {"form feed", "a\x0c", false},
      {"vertical tab alone", "\x0b", false},
      {"Japanese", "こんにちは、元気？", true},
      {"lone E3", "a\xe3", false},
      {"overlong NUL", "a\xc0\x80", false},
      {"surrogate", "a\xed\xa0\x80", false},
      {"above U+10FFFF", "a\xf4\x90\x80\x80", false},
      {"U+10FFFF", "a\xf4\x8f\xbf\xbf", true},
      {"four-byte emoji", "\xf0\x9f\x98\x80", true},
      {"lone continuation", "a\x80", false},
      {"2000 bytes of kana", [] {
         std::string s;
         while (s.size() + 3 <= 2000) s += "あ";
         return s + "ab";
       }(), true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.ok, ValidateOutgoingMessageText(c.text)) << c.name;
  }
}

// Strict UTF-8 as the reader must apply it.
bool StrictUtf8(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
      ++i;
      continue;
    }
    int extra;
    uint32_t cp;
    if (b >= 0xC0 && b <= 0xDF) {
      extra = 1;
      cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      extra = 2;
      cp = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF7) {
      extra = 3;
      cp = b & 0x07;
    } else {
      return false;
    }
    if (i + extra >= s.size()) return false;
    for (int k = 1; k <= extra; ++k) {
      unsigned char c = static_cast<unsigned char>(s[i + k]);
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
  for (unsigned char c : s) {
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return false;  // includes 0x0B, 0x0C
    if (c == 0x7F) return false;
    if (c != '\t' && c != '\n' && c != '\r' && c != ' ') content = true;
  }
  return content && StrictUtf8(s);
}

TEST(OutgoingCheck, AgreesWithReferenceOnRandomBytes) {
  std::mt19937 rng(20261206);
  const unsigned char kInteresting[] = {0x00, 0x01, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x1F, 0x20, 0x22,
                                        0x5C, 0x7F, 0x80, 0xBF, 0xC0, 0xC1, 0xC2, 0xDF, 0xE0, 0xED, 0xEF, 0xF0,
                                        0xF4, 0xF5, 0xF7, 0xF8, 0xFF, 0x9F, 0xA0, 0x8F, 0x90, 'a'};
  const std::string kSeeds[] = {"\xed\x9f\xbf", "\xed\xa0\x80", "\xf4\x8f\xbf\xbf", "\xf4\x90\x80\x80",
                                "\xe3\x81\x82", "\xf0\x90\x80\x80", "\xe0\xa0\x80", "\xc2\x80"};
  int accepted = 0;
  for (int n = 0; n < 100000; ++n) {
    std::string s;
    int len = static_cast<int>(rng() % 9);
    for (int k = 0; k < len; ++k) {
      unsigned r = rng() % 10;
      if (r < 5) {
        s.push_back(static_cast<char>(kInteresting[rng() % sizeof(kInteresting)]));
      } else if (r < 8) {
        const std::string& seed = kSeeds[rng() % 8];
        s += seed.substr(0, 1 + rng() % seed.size());  // whole or truncated
      } else {
        s.push_back(static_cast<char>(rng() % 256));
      }
    }
    bool want = Reference(s);
    accepted += want;
    ASSERT_EQ(want, ValidateOutgoingMessageText(s)) << ::testing::PrintToString(s);
  }
  EXPECT_GT(accepted, 1000);  // the generator must reach both outcomes
}

}  // namespace
