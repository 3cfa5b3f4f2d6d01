#include "chat/history_message.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <locale>
#include <random>
#include <string>

namespace {

HistoryMessage Record() {
  HistoryMessage m;
  m.message_id = "m1";
  m.sender_id = "peer";
  m.receiver_id = "me";
  m.message = "hello";
  m.sequence = "12";
  m.created_at = 12;
  return m;
}

bool ReadBack(const std::string& json, const std::string& self, HistoryMessage* out) {
  JsonValue v;
  return ParseJson(json, v) && HistoryMessageFromJson(v, self, out);
}

void ExpectEqualRecords(const HistoryMessage& a, const HistoryMessage& b) {
  EXPECT_EQ(a.message_id, b.message_id);
  EXPECT_EQ(a.sender_id, b.sender_id);
  EXPECT_EQ(a.receiver_id, b.receiver_id);
  EXPECT_EQ(a.message, b.message);
  EXPECT_EQ(a.client_message_id, b.client_message_id);
  EXPECT_EQ(a.sequence, b.sequence);
  EXPECT_EQ(0, std::memcmp(&a.created_at, &b.created_at, sizeof(double)));
  EXPECT_EQ(a.is_read, b.is_read);
  EXPECT_EQ(a.expired, b.expired);
}

TEST(HistoryRecordJson, CanonicalTextAndRoundTrip) {
  HistoryMessage m = Record();
  m.message = "a\nb\tc\"d\\e\x7f\xe3\x81\x82\x1f";
  m.client_message_id = "nonce_1";
  m.is_read = true;
  std::string json = HistoryMessageToJson(m);
  EXPECT_EQ(
      "{\"message_id\":\"m1\",\"sender_id\":\"peer\",\"receiver_id\":\"me\",\"message\":\"a\\u000ab\\u0009c\\\"d\\\\e"
      "\x7f\xe3\x81\x82\\u001f\",\"created_at\":12,\"sequence\":\"12\",\"client_message_id\":\"nonce_1\","
      "\"is_read\":true,\"expired\":false}",
      json);
  HistoryMessage back;
  ASSERT_TRUE(ReadBack(json, "me", &back));
  ExpectEqualRecords(m, back);

  m.created_at = 0.5;
  EXPECT_NE(std::string::npos, HistoryMessageToJson(m).find("\"created_at\":0.5,"));
  m.created_at = 1e17;
  EXPECT_NE(std::string::npos, HistoryMessageToJson(m).find("\"created_at\":1e+17,"));
  m.created_at = 0.0001;
  EXPECT_NE(std::string::npos, HistoryMessageToJson(m).find("\"created_at\":0.0001,"));
  m.created_at = NAN;
  JsonValue v;
  EXPECT_FALSE(ParseJson(HistoryMessageToJson(m), v));
}

TEST(HistoryRecordJson, PointOneIsBitExactInAnyLocale) {
  HistoryMessage m = Record();
  m.created_at = 0.1;
  auto check = [&] {
    std::string json = HistoryMessageToJson(m);
    EXPECT_NE(std::string::npos, json.find("\"created_at\":0.10000000000000001,")) << json;
    HistoryMessage back;
    ASSERT_TRUE(ReadBack(json, "me", &back));
    EXPECT_EQ(0, std::memcmp(&back.created_at, &m.created_at, sizeof(double)));
  };
  check();
  const char* saved = std::setlocale(LC_ALL, nullptr);
  std::string saved_name = saved ? saved : "C";
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "de_DE.UTF-8 is not installed";
  check();
  std::setlocale(LC_ALL, saved_name.c_str());
}

TEST(HistoryRecordJson, ReadChecks) {
  // Each row edits one piece of a minimal record.
  const std::string base = R"({"message_id":"m","sender_id":"peer","receiver_id":"me","message":"","created_at":0})";
  struct Case {
    const char* name;
    std::string from, to;
    bool ok;
  } cases[] = {
      {"minimal", "", "", true},
      {"sequence 0", "0}", R"(0,"sequence":"0"})", true},
      {"sequence 007", "0}", R"(0,"sequence":"007"})", false},
      {"sequence -1", "0}", R"(0,"sequence":"-1"})", false},
      {"sequence 1.0", "0}", R"(0,"sequence":"1.0"})", false},
      {"sequence empty", "0}", R"(0,"sequence":""})", false},
      {"sequence 2^63", "0}", R"(0,"sequence":"9223372036854775808"})", false},
      {"sequence max", "0}", R"(0,"sequence":"9223372036854775807"})", true},
      {"sequence number ignored", "0}", R"(0,"sequence":5})", true},
      {"no self", R"("me")", R"("other")", false},
      {"sender is receiver", R"("peer")", R"("me")", false},
      {"negative time", ":0}", ":-0.5}", false},
      {"negative zero", ":0}", ":-0.0}", true},
      {"time as string", ":0}", R"(:"1"})", false},
      {"missing message", R"("message":"",)", "", false},
      {"empty id", R"("m")", R"("")", false},
      {"id of 256 bytes", R"("m")", '"' + std::string(256, 'i') + '"', true},
      {"id of 257 bytes", R"("m")", '"' + std::string(257, 'i') + '"', false},
      {"text of 8192 bytes", R"("message":"")", R"("message":")" + std::string(8192, 'x') + '"', true},
      {"text of 8193 bytes", R"("message":"")", R"("message":")" + std::string(8193, 'x') + '"', false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string json = base;
    if (!c.from.empty()) json.replace(json.find(c.from), c.from.size(), c.to);
    HistoryMessage out;
    out.message_id = "untouched";
    const bool ok = ReadBack(json, "me", &out);
    EXPECT_EQ(c.ok, ok);
    if (!ok) {
      EXPECT_EQ("untouched", out.message_id);
    }
  }
  HistoryMessage out;
  EXPECT_FALSE(ReadBack(R"(["m"])", "me", &out));
  // Flags and the nonce of the wrong kind read as absent.
  EXPECT_TRUE(ReadBack(base.substr(0, base.size() - 1) + R"(,"is_read":"yes","client_message_id":7})", "me", &out));
  EXPECT_FALSE(out.is_read);
  EXPECT_FALSE(out.expired);
  EXPECT_EQ("", out.client_message_id);
  JsonValue v;
  ASSERT_TRUE(ParseJson(base, v));
  EXPECT_FALSE(HistoryMessageFromJson(v, "me", nullptr));
}

TEST(HistoryRecordJson, CanonicalDecimalsAndLookups) {
  for (const char* yes : {"0", "1", "9", "10", "999999999999999999", "9223372036854775807", "1000000000000000000"}) {
    EXPECT_TRUE(IsCanonicalDecimal(yes)) << yes;
  }
  for (const char* no : {"", "00", "01", "-1", "+1", "1.0", " 1", "9223372036854775808", "9999999999999999999",
                         "10000000000000000000", "1a"}) {
    EXPECT_FALSE(IsCanonicalDecimal(no)) << no;
  }
  EXPECT_LT(CompareCanonicalDecimal("9", "10"), 0);
  EXPECT_GT(CompareCanonicalDecimal("20", "19"), 0);
  EXPECT_EQ(0, CompareCanonicalDecimal("77", "77"));

  JsonValue v;
  ASSERT_TRUE(ParseJson(R"({"t":true,"f":false,"s":"true","n":1,"str":"x"})", v));
  EXPECT_TRUE(FindJsonBool(v, "t"));
  EXPECT_FALSE(FindJsonBool(v, "f"));
  EXPECT_FALSE(FindJsonBool(v, "s"));
  EXPECT_FALSE(FindJsonBool(v, "missing"));
  ASSERT_NE(nullptr, FindJsonString(v, "str"));
  EXPECT_EQ("x", *FindJsonString(v, "str"));
  EXPECT_EQ(nullptr, FindJsonString(v, "n"));
  EXPECT_EQ(nullptr, FindJsonString(v, "missing"));
}

TEST(HistoryRecordJson, RandomValidRecordsRoundTrip) {
  std::mt19937_64 rng(7);
  auto text = [&](size_t max, bool allow_empty) {
    std::string s;
    size_t n = (allow_empty ? 0 : 1) + rng() % max;
    while (s.size() < n) {
      switch (rng() % 4) {
        case 0: s.push_back(static_cast<char>(rng() % 0x80)); break;  // ASCII incl. controls and NUL
        case 1: s += "\xc3\xa9"; break;
        case 2: s += "\xe3\x81\x82"; break;
        default: s += "\xf0\x9f\x98\x80"; break;
      }
    }
    return s;
  };
  for (int n = 0; n < 2000; ++n) {
    HistoryMessage m;
    m.message_id = text(60, false);
    std::string self = "self";
    std::string peer = "p" + text(20, true);
    bool outgoing = rng() % 2;
    m.sender_id = outgoing ? self : peer;
    m.receiver_id = outgoing ? peer : self;
    m.message = text(200, true);
    m.client_message_id = text(40, true);
    m.sequence = (rng() % 3 == 0) ? "" : std::to_string(rng() >> 1);
    uint64_t bits = rng() & 0x7FEFFFFFFFFFFFFFull;  // finite, not negative
    std::memcpy(&m.created_at, &bits, sizeof(bits));
    m.is_read = rng() % 2;
    m.expired = rng() % 2;
    std::string json = HistoryMessageToJson(m);
    HistoryMessage back;
    if (m.sequence.empty()) {
      // An empty sequence is written, but the reader refuses it.
      EXPECT_FALSE(ReadBack(json, self, &back));
      continue;
    }
    ASSERT_TRUE(ReadBack(json, self, &back)) << json;
    ExpectEqualRecords(m, back);
  }
}

}  // namespace
