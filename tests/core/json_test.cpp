#include "core/json.h"

#include <gtest/gtest.h>
#include <locale.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <locale>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>

#include "core/json_reader.h"
#include "core/text.h"
#include "support/json_canonical.h"

namespace {

bool Accepts(const std::string& text) {
  JsonValue value;
  return ParseJson(text, value);
}

JsonValue MustParse(const std::string& text) {
  JsonValue value;
  EXPECT_TRUE(ParseJson(text, value)) << text;
  return value;
}

std::string Repeat(const std::string& piece, size_t count) {
  std::string out;
  out.reserve(piece.size() * count);
  for (size_t i = 0; i < count; ++i) out += piece;
  return out;
}

// An array of `count` values in total (the array itself included).
std::string ArrayOfValues(size_t count) {
  std::string out = "[";
  for (size_t i = 1; i < count; ++i) out += i == 1 ? "0" : ",0";
  return out + "]";
}

uint64_t Bits(double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  return bits;
}

TEST(JsonFindTest, FindsMembersOfObjectsOnly) {
  const JsonValue object = MustParse(R"({"a":1,"ab":2,"":3,"b\u0000c":4,"m":{"x":"deep"}})");
  ASSERT_NE(object.Find("a"), nullptr);
  EXPECT_EQ(object.Find("a")->number, 1.0);
  EXPECT_EQ(object.Find("ab")->number, 2.0);
  EXPECT_EQ(object.Find("")->number, 3.0);
  EXPECT_EQ(object.Find("m")->Find("x")->text, "deep");
  EXPECT_EQ(object.Find("abc"), nullptr);
  EXPECT_EQ(object.Find("A"), nullptr);
  // The key ends at its zero byte, so a member with one cannot be found.
  EXPECT_EQ(object.Find("b"), nullptr);
  EXPECT_EQ(object.members.count(std::string("b\0c", 3)), 1u);
  // Other kinds, an array holding an object with the key among them.
  for (const char* text : {R"(["a"])", R"("a")", "null", "1", "true", "{}", R"([{"a":1}])"}) {
    EXPECT_EQ(MustParse(text).Find("a"), nullptr) << text;
  }
}

TEST(JsonParseTest, EachKindAtTopLevelAmidWhitespace) {
  const std::string ws = " \t\r\n";
  const std::pair<const char*, const char*> cases[] = {
      {"null", "null"},
      {"true", "true"},
      {"false", "false"},
      {"-12.5e1", "-125"},
      {"\"x y\"", "\"x y\""},
      {"[ 1 ,\t\"a\" ,\r\nnull ]", "[1,\"a\",null]"},
      {"{ \"k\" : [ ] , \"o\" : { } }", "{\"k\":[],\"o\":{}}"},
  };
  for (const auto& [text, canonical] : cases) {
    EXPECT_EQ(WriteCanonicalJson(MustParse(ws + text + ws)), canonical) << text;
  }
}

TEST(JsonParseTest, MembersComeOutInByteOrderOfKeys) {
  const JsonValue v = MustParse(R"({"zeta":1,"é":2,"Alpha":3,"alpha":4,"a":5,"":6})");
  std::string order;
  for (const auto& [key, member] : v.members) order += "[" + key + "]";
  EXPECT_EQ(order, "[][Alpha][a][alpha][zeta][é]");
}

TEST(JsonParseTest, RefusesMalformedDocuments) {
  const char* const kRefused[] = {
      "", " \t\r\n", "\f1", "\xC2\xA0" "1", "\xEF\xBB\xBF" "1", "+1", "01", "-01", ".5", "1.", "2.e3", "1e+", "1e",
      "-", "-a", "0x10", "NaN", "-Infinity", "[1,]", R"({"a":1,})", R"({"a" 1})", "{1:1}", "{a:1}", "[]]", "truex",
      "tru", "nul", "fals", "[true1]", "[1 2]", "{}x", "1 2", "[1] // c", "/* c */ 1", "[,1]", "[1,,2]", "[1:2]",
      R"({"a":})", R"({"a"})", R"({"a":1 "b":2})", "[", "{", R"({"a":1)", "'a'", "True", "]",
  };
  for (const char* text : kRefused) EXPECT_FALSE(Accepts(text)) << text;
  EXPECT_FALSE(Accepts(std::string("1\0", 2)));
  EXPECT_FALSE(Accepts(std::string("\0", 1)));
}

TEST(JsonParseTest, RefusesDuplicateKeysAnywhere) {
  EXPECT_FALSE(Accepts(R"({"a":1,"a":1})"));
  EXPECT_FALSE(Accepts(R"({"a":1,"\u0061":2})"));
  EXPECT_FALSE(Accepts(R"([0,{"x":{"y":[{"k":1,"j":2,"k":3}]}}])"));
  EXPECT_TRUE(Accepts(R"({"a":{"a":{"a":1}},"b":{"a":2}})"));
}

TEST(JsonStringTest, ResolvesEveryEscape) {
  EXPECT_EQ(MustParse(R"("\"\\\/\b\f\n\r\t")").text, "\"\\/\b\f\n\r\t");
  EXPECT_EQ(MustParse(R"("\u0041\u00e9\u00E9\u20AC\u20ac")").text, "A\xC3\xA9\xC3\xA9\xE2\x82\xAC\xE2\x82\xAC");
  EXPECT_EQ(MustParse(R"("\uD834\uDD1E")").text, "\xF0\x9D\x84\x9E");
  EXPECT_EQ(MustParse(R"("\udbff\udfff")").text, "\xF4\x8F\xBF\xBF");
  EXPECT_EQ(MustParse(R"("\uFFFF")").text, "\xEF\xBF\xBF");
  EXPECT_EQ(MustParse(R"("a\u0000b")").text, std::string("a\0b", 3));
  EXPECT_EQ(MustParse("\"\xF4\x8F\xBF\xBF \xF0\x9F\x98\x80 \x7F\"").text, "\xF4\x8F\xBF\xBF \xF0\x9F\x98\x80 \x7F");
  EXPECT_EQ(MustParse(R"({"":"\t"})").Find("")->text, "\t");
  // Long runs (scanned several bytes at a time) with escapes at every offset.
  for (size_t at = 0; at < 20; ++at) {
    std::string raw(40, 'x');
    std::string json = "\"" + raw.substr(0, at) + "\\n" + raw.substr(at) + "\"";
    EXPECT_EQ(MustParse(json).text, raw.substr(0, at) + "\n" + raw.substr(at)) << at;
  }
}

TEST(JsonStringTest, RefusesBadEscapesAndRawControlBytes) {
  const char* const kRefused[] = {
      R"("\x41")",  R"("\u00G1")",       R"("\u00a")",  R"("\u00a)",         R"("\uD800\u0041")", R"("\uD800\uD800")",
      R"("\uD800")", R"("\uD800abcdef")", R"("\uDC00")", R"("\uDFFF\uD800")", R"("\uD800\n")",    R"("\uD800\")",
      R"("\U0041")", R"("\a")",          R"("\0")",     R"("\)",             R"("abc)",           R"(")",
      R"("\uD800\u)", R"("\uD800\uDC0")",
  };
  for (const char* text : kRefused) EXPECT_FALSE(Accepts(text)) << text;
  for (int byte = 0; byte < 0x20; ++byte) {
    EXPECT_FALSE(Accepts(std::string("\"a") + static_cast<char>(byte) + "b\"")) << byte;
    // Also past the first eight bytes of a run.
    EXPECT_FALSE(Accepts(std::string("\"abcdefghijk") + static_cast<char>(byte) + "lmnopqrstuv\"")) << byte;
  }
}

TEST(JsonUtf8Test, RefusesMalformedUtf8InAndOutOfStrings) {
  const std::string kBad[] = {
      "\xC0\xAF", "\xC1\xBF", "\xE0\x80\xAF", "\xF0\x80\x80\xAF", "\xED\xA0\x80", "\xED\xBF\xBF", "\xF4\x90\x80\x80",
      "\xF8",     "\xFF",     "\x80",         "\xBF",             "\xE3\x81",     "\xE9",         "\xC3\x28",
      "\xE0\x9F\xBF", "\xF0\x8F\xBF\xBF", "\xF5\x80\x80\x80", "\xC2", "\xE1\x80\x41", "\xF1\x80\x80\x7F",
  };
  for (const std::string& bad : kBad) {
    EXPECT_FALSE(Accepts("\"" + bad + "\"")) << "in string";
    EXPECT_FALSE(Accepts("\"" + std::string(16, 'a') + bad + "\"")) << "in string after ASCII run";
    EXPECT_FALSE(Accepts("[" + bad + "]")) << "outside";
    EXPECT_FALSE(Accepts("\"a\"" + bad)) << "at the end";
  }
  EXPECT_FALSE(Accepts("\"\xE3\x81\x82\"\xE3\x81"));
  EXPECT_FALSE(Accepts(std::string("\xFF\xFE\"\0a\0\"\0", 8)));  // UTF-16 with its mark
  EXPECT_TRUE(Accepts("\"\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xF0\x90\x80\x80\xF4\x8F\xBF\xBF\""));
}

// The document check against the decoder of the UTF-16 conversion, on short
// random byte strings rich in lead and continuation bytes.
TEST(JsonUtf8Test, AgreesWithTheUtf16Decoder) {
  std::mt19937 random(11);
  const unsigned char kBytes[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC1, 0xC2, 0xDF,
                                  0xE0, 0xE1, 0xEC, 0xED, 0xEE, 0xEF, 0xF0, 0xF1, 0xF3, 0xF4, 0xF5, 0xF8, 0xFF};
  int valid = 0;
  for (int i = 0; i < 200000; ++i) {
    std::string bytes(std::uniform_int_distribution<size_t>(0, 12)(random), '\0');
    for (char& c : bytes) c = static_cast<char>(kBytes[std::uniform_int_distribution<size_t>(0, sizeof kBytes - 1)(random)]);
    std::u16string ignored;
    const bool expected = quorix_text::DecodeUtf8(bytes.data(), bytes.size(), &ignored);
    ASSERT_EQ(json_detail::IsValidUtf8(bytes.data(), bytes.size()), expected) << i;
    valid += expected;
  }
  EXPECT_GT(valid, 1000);
}

TEST(JsonNumberTest, ReadsEdgeCasesBitExact) {
  const std::pair<std::string, double> cases[] = {
      {"-0", -0.0},
      {"-0.0e5", -0.0},
      {"0", 0.0},
      {"1E22", 1e22},
      {"0e1", 0.0},
      {"123456789012345678901234567890", 1.2345678901234568e29},
      {"1.7976931348623157e308", std::numeric_limits<double>::max()},
      {"4.9e-324", std::numeric_limits<double>::denorm_min()},
      {"2.2250738585072011e-308", 2.2250738585072011e-308},
      {"1e-400", 0.0},
      {"-1e-400", -0.0},
      {"0.1", 0.1},
      {"1E+2", 100.0},
      {"-2.5e-3", -0.0025},
      {"17e-1", 1.7},
      {"0." + std::string(400, '0') + "1e400", 0.1},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(Bits(MustParse(text).number), Bits(expected)) << text;
  for (const std::string& text : {std::string("1e309"), std::string("-1e309"), std::string("1.7976931348623159e308"),
                                  "[" + std::string(400, '9') + "]"}) {
    EXPECT_FALSE(Accepts(text)) << text;
  }
}

// Seeded numbers of every shape compared bit for bit with strtod in the "C"
// locale, acceptance included.
TEST(JsonNumberTest, AgreesWithStrtodInTheClassicLocale) {
  const locale_t c_locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  ASSERT_NE(c_locale, static_cast<locale_t>(nullptr));
  std::mt19937_64 random(20261206);
  auto pick = [&random](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
  int accepted = 0;
  for (int i = 0; i < 100000; ++i) {
    std::string text;
    if (pick(0, 1)) text += '-';
    const int digits = pick(1, 25);
    const int integral = pick(1, digits);
    text += static_cast<char>('0' + (integral == 1 ? pick(0, 9) : pick(1, 9)));
    for (int d = 1; d < integral; ++d) text += static_cast<char>('0' + pick(0, 9));
    if (integral < digits) {
      text += '.';
      for (int d = integral; d < digits; ++d) text += static_cast<char>('0' + pick(0, 9));
    }
    if (pick(0, 3) != 0) {
      text += pick(0, 1) ? 'e' : 'E';
      const int exponent = pick(-400, 400);
      if (exponent >= 0 && pick(0, 1)) text += '+';
      text += std::to_string(exponent);
    }
    char* end = nullptr;
    const double expected = strtod_l(text.c_str(), &end, c_locale);
    ASSERT_EQ(end, text.c_str() + text.size()) << text;
    JsonValue value;
    const bool ok = ParseJson(text, value);
    ASSERT_EQ(ok, std::isfinite(expected)) << text;
    if (ok) {
      ++accepted;
      ASSERT_EQ(Bits(value.number), Bits(expected)) << text;
    }
  }
  freelocale(c_locale);
  EXPECT_GT(accepted, 50000);
  EXPECT_LT(accepted, 100000);
}

class GermanLocale : public ::testing::Test {
 protected:
  void SetUp() override {
    try {
      const std::locale german("de_DE.UTF-8");
      saved_ = std::locale::global(german);  // also sets the C locale
      active_ = true;
    } catch (const std::runtime_error&) {
      GTEST_SKIP() << "locale de_DE.UTF-8 is not installed (scripts/install-deps.sh makes it)";
    }
  }
  void TearDown() override {
    if (active_) std::locale::global(saved_);
  }
  std::locale saved_;
  bool active_ = false;
};

TEST_F(GermanLocale, NumbersIgnoreTheGlobalLocale) {
  ASSERT_STREQ(localeconv()->decimal_point, ",");
  EXPECT_EQ(MustParse("0.5").number, 0.5);
  EXPECT_EQ(MustParse("[-1234.25e-2]").items[0].number, -12.3425);
  EXPECT_EQ(Bits(MustParse("1e-400").number), Bits(0.0));  // the strtod path
  EXPECT_EQ(MustParse("4.9e-324").number, std::numeric_limits<double>::denorm_min());
  EXPECT_FALSE(Accepts("0,5"));
}

TEST(JsonLimitsTest, AtEachBoundAndOnePast) {
  const size_t kText = 1048576;
  auto object_of = [](size_t members) {
    std::string out = "{";
    for (size_t i = 0; i < members; ++i) out += (i ? ",\"" : "\"") + std::to_string(i) + "\":0";
    return out + "}";
  };
  const std::string key8192(8192, 'k');
  struct Case {
    const char* what;
    std::string text;
    bool accepted;
  };
  const Case cases[] = {
      {"text size", "0" + std::string(kText - 1, ' '), true},
      {"text size", "0" + std::string(kText, ' '), false},
      {"string size", "\"" + std::string(kText - 2, 'a') + "\"", true},
      {"string size", "\"" + std::string(kText - 1, 'a') + "\"", false},
      {"values", ArrayOfValues(60000), true},
      {"values", ArrayOfValues(60001), false},
      // Member values count, keys do not: the object plus 59,999 members.
      {"members", object_of(59999), true},
      {"members", object_of(60000), false},
      // Containers count as well: 1 + 19,999 * 3 = 59,998.
      {"containers", "[" + Repeat("[0,0],", 19998) + "[0,0]]", true},
      {"containers", "[" + Repeat("[0,0],", 20000) + "[0,0]]", false},
      {"depth", Repeat("[", 25) + Repeat("]", 25), true},
      {"depth", Repeat("[", 25) + "0" + Repeat("]", 25), false},
      {"depth", Repeat("[", 24) + "0" + Repeat("]", 24), true},
      {"depth", Repeat("[", 26) + Repeat("]", 26), false},
      {"depth", Repeat("{\"a\":", 24) + "{}" + Repeat("}", 24), true},
      {"depth", Repeat("{\"a\":", 25) + "1" + Repeat("}", 25), false},
      // Deep nesting fails without exhausting the stack.
      {"deep", std::string(100000, '['), false},
      {"deep", Repeat("[", 100000) + Repeat("]", 100000), false},
      {"deep", Repeat("{\"\":", 100000), false},
      {"key", "{\"" + key8192 + "\":0}", true},
      {"key", "{\"" + key8192 + "k\":0}", false},
      // 4,096 escapes of two bytes each: 24,576 bytes written, 8,192 read.
      {"escaped key", "{\"" + Repeat("\\u00e9", 4096) + "\":0}", true},
      {"escaped key", "{\"" + Repeat("\\u00e9", 4096) + "k\":0}", false},
      // The key limit is for keys only.
      {"long value", "{\"a\":\"" + key8192 + "kk\"}", true},
  };
  for (const Case& c : cases) EXPECT_EQ(Accepts(c.text), c.accepted) << c.what << ", " << c.text.size() << " bytes";
}

// A mid-sized document of every kind, for the robustness sweeps.
std::string SampleDocument() {
  std::string doc = R"({"ok":true,"next_cursor":"c-001","has_more":false,"none":null,"messages":[)";
  for (int i = 0; doc.size() < 4000; ++i) {
    if (i) doc += ",";
    doc += R"({"id":"m)" + std::to_string(i) + R"(","created_at":1.7331234567890123e12,"text":"こんにちは \"quoted\"\n\uD83D\uDE00 \u00e9 ok","n":[-0,1e-3,2E+2,0.5],"flag":false})";
  }
  return doc + "]}";
}

TEST(JsonRobustnessTest, EveryPrefixOfADocumentIsHandled) {
  const std::string doc = SampleDocument();
  ASSERT_TRUE(Accepts(doc));
  for (size_t length = 0; length < doc.size(); ++length) {
    JsonValue value;
    // Only a prefix that is itself a whole value could be accepted; none of these is.
    EXPECT_FALSE(ParseJson(doc.substr(0, length), value)) << length;
  }
}

TEST(JsonRobustnessTest, MutatedDocumentsRoundTripWhenAccepted) {
  const std::string doc = SampleDocument();
  std::mt19937 random(7);
  const char kInteresting[] = {'"', '\\', '[', ']', '{', '}', ',', ':', 'u', 'e', '-', '0', '\0', '\n', '\x80', '\xC3', '\xED'};
  int accepted = 0;
  for (int i = 0; i < 20000; ++i) {
    std::string text = doc;
    const size_t at = std::uniform_int_distribution<size_t>(0, text.size() - 1)(random);
    const int how = std::uniform_int_distribution<int>(0, 2)(random);
    if (how == 0) {
      text[at] = kInteresting[std::uniform_int_distribution<size_t>(0, sizeof kInteresting - 1)(random)];
    } else if (how == 1) {
      text[at] = static_cast<char>(std::uniform_int_distribution<int>(0, 255)(random));
    } else {
      text.erase(at, 1);
    }
    JsonValue value;
    if (!ParseJson(text, value)) continue;
    ++accepted;
    JsonValue again;
    const std::string canonical = WriteCanonicalJson(value);
    ASSERT_TRUE(ParseJson(canonical, again)) << canonical;
    ASSERT_TRUE(JsonTreesEqual(value, again)) << text;
  }
  EXPECT_GT(accepted, 0);
}

}  // namespace
