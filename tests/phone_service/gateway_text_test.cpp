// The call signalling's JSON writer, identifier checks and capabilities reply.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <limits>
#include <string>

#include "core/json.h"
#include "phone_service/gateway.h"
#include "phone_service/gateway_json.h"

namespace quorix_phone {
namespace {

JsonValue Parsed(const std::string& text) {
  JsonValue value;
  EXPECT_TRUE(ParseJson(text, value)) << text;
  return value;
}

TEST(GatewayJsonTest, EscapesOnlyQuotesBackslashesAndControlBytes) {
  EXPECT_EQ(EscapeJsonString("a\tb"), "\"a\\u0009b\"");
  EXPECT_EQ(EscapeJsonString("\"\\\x1f"), "\"\\\"\\\\\\u001f\"");
  EXPECT_EQ(EscapeJsonString("\x7f\xc3\xa9\xe2\x82\xac"), "\"\x7f\xc3\xa9\xe2\x82\xac\"");
  EXPECT_EQ(FormatInt64(std::numeric_limits<int64_t>::min()), "-9223372036854775808");
  EXPECT_EQ(FormatInt64(0), "0");
}

TEST(GatewayJsonTest, WritesCompactTextWithinItsLimits) {
  struct Case {
    const char* input;
    bool ok;
    const char* output;
  };
  const Case cases[] = {
      {"2.5", true, "2.500000"},
      {"3.0", true, "3"},
      {"-0", true, "0"},
      {"-1000000000000000", true, "-1000000000000000"},
      {"1e16", false, ""},
      {"{\"b\":[1,true,null],\"a\":\"x\\ty\"}", true, "{\"a\":\"x\\u0009y\",\"b\":[1,true,null]}"},
      {"[[[[[[[[[[[[1]]]]]]]]]]]]", true, "[[[[[[[[[[[[1]]]]]]]]]]]]"},  // the value 1 sits at depth 12
      {"[[[[[[[[[[[[[1]]]]]]]]]]]]]", false, ""},
  };
  for (const char* locale : {"C", "de_DE.UTF-8"}) {
    const char* installed = std::setlocale(LC_ALL, locale);
    SCOPED_TRACE(locale);
    if (installed == nullptr) ADD_FAILURE() << "locale missing: " << locale;
    for (const Case& c : cases) {
      SCOPED_TRACE(c.input);
      std::string out;
      EXPECT_EQ(WriteCompactJson(Parsed(c.input), out), c.ok);
      if (c.ok) {
        EXPECT_EQ(out, c.output);
      }
    }
  }
  std::setlocale(LC_ALL, "C");

  // The whole text counts: 145000 bytes pass, one more fails.
  const std::string fits = "\"" + std::string(145000 - 2, 'x') + "\"";
  std::string out;
  EXPECT_TRUE(WriteCompactJson(Parsed(fits), out));
  EXPECT_EQ(out.size(), 145000u);
  out.clear();
  EXPECT_FALSE(WriteCompactJson(Parsed("\"" + std::string(145000 - 1, 'x') + "\""), out));
}

TEST(GatewayJsonTest, ChecksCallAndUserIds) {
  struct Case {
    std::string id;
    bool call;
    bool user;
  };
  const Case cases[] = {
      {std::string(32, 'a'), true, true},
      {std::string(31, 'a'), false, true},
      {std::string(33, '0'), false, true},
      {std::string(31, 'a') + "A", false, true},
      {std::string(31, 'a') + "g", false, true},
      {"", false, false},
      {"bob.smith_2-x", false, true},
      {"bob smith", false, false},
      {std::string(128, 'Z'), false, true},
      {std::string(129, 'Z'), false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(IsValidCallId(c.id), c.call);
    EXPECT_EQ(IsValidUserId(c.id), c.user);
  }
}

std::string CapabilitiesBody(const std::string& valid_for, const std::string& extra = "") {
  return "{\"ok\":true,\"user_id\":\"alice\",\"can_start\":false,\"can_answer\":true,\"media_ready\":true," + extra +
         "\"valid_for_seconds\":" + valid_for + "}";
}

TEST(GatewayJsonTest, ParsesOnlyAProvingCapabilitiesReply) {
  struct Case {
    const char* name;
    std::string body;
    uint32_t status;
    bool nested;
    bool ok;
    uint32_t seconds;
  };
  const std::string nested_body =
      "{\"ok\":true,\"user\":{\"user_id\":\"alice\"},\"can_start\":true,\"can_answer\":true,\"media_ready\":true,"
      "\"valid_for_seconds\":5}";
  // 65536 bytes in all, then one more.
  const std::string pad_prefix = "\"pad\":\"";
  const size_t base = CapabilitiesBody("5", pad_prefix + "\",").size();
  const std::string at_limit = CapabilitiesBody("5", pad_prefix + std::string(65536 - base, ' ') + "\",");
  const std::string over_limit = CapabilitiesBody("5", pad_prefix + std::string(65537 - base, ' ') + "\",");
  ASSERT_EQ(at_limit.size(), 65536u);
  const Case cases[] = {
      {"1", CapabilitiesBody("1"), 200, false, true, 1},
      {"10", CapabilitiesBody("10"), 200, false, true, 10},
      {"1e0", CapabilitiesBody("1e0"), 200, false, true, 1},
      {"65536 bytes", at_limit, 200, false, true, 5},
      {"65537 bytes", over_limit, 200, false, false, 0},
      {"0", CapabilitiesBody("0"), 200, false, false, 0},
      {"11", CapabilitiesBody("11"), 200, false, false, 0},
      {"3.5", CapabilitiesBody("3.5"), 200, false, false, 0},
      {"string 3", CapabilitiesBody("\"3\""), 200, false, false, 0},
      {"status 201", CapabilitiesBody("5"), 201, false, false, 0},
      {"nested reply read flat", nested_body, 200, false, false, 0},
      {"flat reply read nested", CapabilitiesBody("5"), 200, true, false, 0},
      {"nested", nested_body, 200, true, true, 5},
      {"media not ready",
       "{\"ok\":true,\"user_id\":\"alice\",\"can_start\":true,\"can_answer\":true,\"media_ready\":false,"
       "\"valid_for_seconds\":5}",
       200, false, false, 0},
      {"can_start not a bool",
       "{\"ok\":true,\"user_id\":\"alice\",\"can_start\":1,\"can_answer\":true,\"media_ready\":true,"
       "\"valid_for_seconds\":5}",
       200, false, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CapabilitiesResult result = ParseCapabilitiesReply(c.body, "alice", c.status, c.nested);
    EXPECT_EQ(result.ok, c.ok);
    EXPECT_EQ(result.can_answer, c.ok);
    EXPECT_EQ(result.can_start, c.ok && c.nested);
    EXPECT_EQ(result.valid_for_seconds, c.seconds);
  }
  EXPECT_FALSE(ParseCapabilitiesReply(CapabilitiesBody("5"), "bob", 200, false).ok);
  EXPECT_FALSE(ParseCapabilitiesReply(CapabilitiesBody("5"), "", 200, false).ok);
}

}  // namespace
}  // namespace quorix_phone
