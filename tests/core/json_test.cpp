#include "core/json.h"

#include <gtest/gtest.h>
#include <locale.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <locale>
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

TEST(JsonParseTest, EachKindAtTopLevelAmidWhitespaceAndMembersInByteOrderOfKeys) {
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

  const JsonValue v = MustParse(R"({"zeta":1,"é":2,"Alpha":3,"alpha":4,"a":5,"":6})");
  std::string order;
  for (const auto& [key, member] : v.members) order += "[" + key + "]";
  EXPECT_EQ(order, "[][Alpha][a][alpha][zeta][é]");
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

}  // namespace
