#include "chat/history_message.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <locale>
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

TEST(HistoryRecordJson, CanonicalText) {
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
  // That every accepted record reads back equal is the history record fuzz
  // entry's check, over its corpus.
  HistoryMessage back;
  // Flags and the nonce of the wrong kind read as absent; no record, no reading.
  ASSERT_TRUE(ReadBack(R"({"message_id":"m","sender_id":"peer","receiver_id":"me","message":"","created_at":1,)"
                       R"("is_read":"yes","expired":1,"client_message_id":7})", "me", &back));
  EXPECT_FALSE(back.is_read || back.expired);
  EXPECT_EQ("", back.client_message_id);
  JsonValue parsed;
  ASSERT_TRUE(ParseJson(json, parsed));
  EXPECT_FALSE(HistoryMessageFromJson(parsed, "me", nullptr));

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

}  // namespace
