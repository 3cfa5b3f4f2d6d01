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

TEST(JsonValueTest, DefaultIsNullWithEmptySlots) {
  const JsonValue value;
  EXPECT_EQ(value.type, JsonType::Null);
  EXPECT_FALSE(value.bool_value);
  EXPECT_EQ(Bits(value.number), Bits(0.0));
  EXPECT_TRUE(value.text.empty());
  EXPECT_TRUE(value.items.empty());
  EXPECT_TRUE(value.members.empty());
  EXPECT_EQ(static_cast<uint32_t>(JsonType::Object), 5u);
  EXPECT_EQ(static_cast<uint32_t>(JsonType::String), 3u);
}

TEST(JsonValueTest, CopiesAreDeepAndMovesEmptyTheSource) {
  JsonValue original = MustParse(R"({"list":[{"name":"a"},2],"text":"hello"})");
  JsonValue copy = original;
  copy.members["list"].items[0].members["name"].text = "changed";
  copy.members["text"].text += "!";
  copy.members["list"].items.pop_back();
  EXPECT_EQ(original.Find("list")->items.size(), 2u);
  EXPECT_EQ(original.Find("list")->items[0].Find("name")->text, "a");
  EXPECT_EQ(original.Find("text")->text, "hello");

  const std::string before = WriteCanonicalJson(original);
  JsonValue moved = std::move(original);
  EXPECT_EQ(WriteCanonicalJson(moved), before);
  EXPECT_TRUE(original.members.empty());  // NOLINT(bugprone-use-after-move)

  JsonValue text = MustParse(R"("a long text that does not fit a small string buffer")");
  JsonValue taken = std::move(text);
  EXPECT_TRUE(text.text.empty());  // NOLINT(bugprone-use-after-move)
  JsonValue list = MustParse("[1,2,3]");
  JsonValue assigned;
  assigned = std::move(list);
  EXPECT_TRUE(list.items.empty());  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(assigned.items.size(), 3u);
}

TEST(JsonFindTest, FindsMembersOfObjectsOnly) {
  const JsonValue object = MustParse(R"({"a":1,"ab":2,"":3,"b\u0000c":4})");
  ASSERT_NE(object.Find("a"), nullptr);
  EXPECT_EQ(object.Find("a")->number, 1.0);
  EXPECT_EQ(object.Find("ab")->number, 2.0);
  EXPECT_EQ(object.Find("")->number, 3.0);
  EXPECT_EQ(object.Find("abc"), nullptr);
  EXPECT_EQ(object.Find("A"), nullptr);
  // The key ends at its zero byte, so a member with one cannot be found.
  EXPECT_EQ(object.Find("b"), nullptr);
  EXPECT_EQ(object.members.count(std::string("b\0c", 3)), 1u);

  for (const char* text : {R"(["a"])", R"("a")", "null", "1", "true", "{}"}) {
    EXPECT_EQ(MustParse(text).Find("a"), nullptr) << text;
  }
  // An array holding an object with the key is still not an object.
  EXPECT_EQ(MustParse(R"([{"a":1}])").Find("a"), nullptr);
}

TEST(JsonFindTest, PointerStaysValidWhileTheTreeLives) {
  const JsonValue object = MustParse(R"({"m":{"x":"deep"},"n":[1]})");
  const JsonValue* inner = object.Find("m");
  ASSERT_NE(inner, nullptr);
  const JsonValue* x = inner->Find("x");
  ASSERT_NE(x, nullptr);
  EXPECT_EQ(x, object.Find("m")->Find("x"));
  EXPECT_EQ(x->text, "deep");
}

TEST(JsonParseTest, EachKindAtTopLevelAmidWhitespace) {
  const std::string ws = " \t\r\n";
  JsonValue v = MustParse(ws + "null" + ws);
  EXPECT_EQ(v.type, JsonType::Null);
  v = MustParse(ws + "true" + ws);
  EXPECT_EQ(v.type, JsonType::Bool);
  EXPECT_TRUE(v.bool_value);
  v = MustParse(ws + "false" + ws);
  EXPECT_EQ(v.type, JsonType::Bool);
  EXPECT_FALSE(v.bool_value);
  v = MustParse(ws + "-12.5e1" + ws);
  EXPECT_EQ(v.type, JsonType::Number);
  EXPECT_EQ(v.number, -125.0);
  v = MustParse(ws + "\"x y\"" + ws);
  EXPECT_EQ(v.type, JsonType::String);
  EXPECT_EQ(v.text, "x y");
  v = MustParse(ws + "[ 1 ,\t\"a\" ,\r\nnull ]" + ws);
  EXPECT_EQ(v.type, JsonType::Array);
  ASSERT_EQ(v.items.size(), 3u);
  EXPECT_EQ(v.items[1].text, "a");
  EXPECT_EQ(v.items[2].type, JsonType::Null);
  v = MustParse(ws + "{ \"k\" : [ ] , \"o\" : { } }" + ws);
  EXPECT_EQ(v.type, JsonType::Object);
  EXPECT_EQ(v.Find("k")->type, JsonType::Array);
  EXPECT_EQ(v.Find("o")->type, JsonType::Object);
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
  };
  for (const std::string& bad : kBad) {
    EXPECT_FALSE(Accepts("\"" + bad + "\"")) << "in string";
    EXPECT_FALSE(Accepts("\"" + std::string(16, 'a') + bad + "\"")) << "in string after ASCII run";
    EXPECT_FALSE(Accepts("[" + bad + "]")) << "outside";
    EXPECT_FALSE(Accepts("\"a\"" + bad)) << "at the end";
  }
  EXPECT_FALSE(Accepts("\"\xE3\x81\x82\"\xE3\x81"));
  EXPECT_FALSE(Accepts(std::string("\xFF\xFE\"\0a\0\"\0", 8)));  // UTF-16 with its mark
  EXPECT_TRUE(Accepts("\"\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xF0\x90\x80\x80\xF4\x8F\xBF\xBF\""));
}

TEST(JsonNumberTest, ReadsEdgeCases) {
  const JsonValue minus_zero = MustParse("-0");
  EXPECT_EQ(minus_zero.number, 0.0);
  EXPECT_TRUE(std::signbit(minus_zero.number));
  EXPECT_TRUE(std::signbit(MustParse("-0.0e5").number));
  EXPECT_FALSE(std::signbit(MustParse("0").number));
  EXPECT_EQ(MustParse("1E22").number, 1e22);
  EXPECT_EQ(MustParse("0e1").number, 0.0);
  EXPECT_EQ(MustParse("123456789012345678901234567890").number, 1.2345678901234568e29);
  EXPECT_EQ(MustParse("1.7976931348623157e308").number, std::numeric_limits<double>::max());
  EXPECT_EQ(MustParse("4.9e-324").number, std::numeric_limits<double>::denorm_min());
  EXPECT_EQ(MustParse("2.2250738585072011e-308").number, 2.2250738585072011e-308);
  const JsonValue tiny = MustParse("1e-400");
  EXPECT_EQ(Bits(tiny.number), Bits(0.0));
  EXPECT_TRUE(std::signbit(MustParse("-1e-400").number));
  EXPECT_EQ(MustParse("0.1").number, 0.1);
  EXPECT_EQ(MustParse("1E+2").number, 100.0);
  EXPECT_EQ(MustParse("-2.5e-3").number, -0.0025);
  EXPECT_EQ(MustParse("17e-1").number, 1.7);
  EXPECT_FALSE(Accepts("1e309"));
  EXPECT_FALSE(Accepts("-1e309"));
  EXPECT_FALSE(Accepts("1.7976931348623159e308"));
  EXPECT_FALSE(Accepts("[" + std::string(400, '9') + "]"));
  EXPECT_EQ(MustParse("0." + std::string(400, '0') + "1e400").number, 0.1);
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

TEST(JsonLimitsTest, TextSizeAtTheBoundAndOnePast) {
  const size_t kLimit = 1048576;
  std::string text = "0" + std::string(kLimit - 1, ' ');
  EXPECT_TRUE(Accepts(text));
  text += ' ';
  EXPECT_FALSE(Accepts(text));
  std::string string_text = "\"" + std::string(kLimit - 2, 'a') + "\"";
  EXPECT_EQ(MustParse(string_text).text.size(), kLimit - 2);
  string_text.insert(1, "a");
  EXPECT_FALSE(Accepts(string_text));
}

TEST(JsonLimitsTest, ValueCountAtTheBoundAndOnePast) {
  EXPECT_TRUE(Accepts(ArrayOfValues(60000)));
  EXPECT_FALSE(Accepts(ArrayOfValues(60001)));
  // Member values count, keys do not: the object plus 59,999 members.
  auto object_of = [](size_t members) {
    std::string out = "{";
    for (size_t i = 0; i < members; ++i) out += (i ? ",\"" : "\"") + std::to_string(i) + "\":0";
    return out + "}";
  };
  EXPECT_TRUE(Accepts(object_of(59999)));
  EXPECT_FALSE(Accepts(object_of(60000)));
  // Containers count as well: 20,000 arrays of two numbers.
  EXPECT_TRUE(Accepts("[" + Repeat("[0,0],", 19998) + "[0,0]]"));  // 1 + 19,999 * 3 = 59,998
  EXPECT_FALSE(Accepts("[" + Repeat("[0,0],", 20000) + "[0,0]]"));
}

TEST(JsonLimitsTest, DepthAtTheBoundAndOnePast) {
  EXPECT_TRUE(Accepts(Repeat("[", 25) + Repeat("]", 25)));
  EXPECT_FALSE(Accepts(Repeat("[", 25) + "0" + Repeat("]", 25)));
  EXPECT_TRUE(Accepts(Repeat("[", 24) + "0" + Repeat("]", 24)));
  EXPECT_FALSE(Accepts(Repeat("[", 26) + Repeat("]", 26)));
  EXPECT_TRUE(Accepts(Repeat("{\"a\":", 24) + "{}" + Repeat("}", 24)));
  EXPECT_FALSE(Accepts(Repeat("{\"a\":", 25) + "1" + Repeat("}", 25)));
  // Deep nesting fails without exhausting the stack.
  EXPECT_FALSE(Accepts(std::string(100000, '[')));
  EXPECT_FALSE(Accepts(Repeat("[", 100000) + Repeat("]", 100000)));
  EXPECT_FALSE(Accepts(Repeat("{\"\":", 100000)));
}

TEST(JsonLimitsTest, KeyLengthCountsUnescapedBytes) {
  const std::string key8192(8192, 'k');
  EXPECT_TRUE(Accepts("{\"" + key8192 + "\":0}"));
  EXPECT_FALSE(Accepts("{\"" + key8192 + "k\":0}"));
  // 4,096 escapes of two bytes each: 24,576 bytes written, 8,192 read.
  EXPECT_TRUE(Accepts("{\"" + Repeat("\\u00e9", 4096) + "\":0}"));
  EXPECT_FALSE(Accepts("{\"" + Repeat("\\u00e9", 4096) + "k\":0}"));
  // The limit is for keys only.
  EXPECT_EQ(MustParse("{\"a\":\"" + key8192 + "kk\"}").Find("a")->text.size(), 8194u);
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
