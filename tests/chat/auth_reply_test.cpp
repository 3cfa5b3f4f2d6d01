#include "chat/auth_reply.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ParseAuthReply, ReadsTheFiveValuesAlsoInsideArraysAndRepeated) {
  const AuthReply r = ParseAuthReply(
      " {\"ok\":true,\"token\":\"t_1\",\"user\":{\"user_id\":\"me\",\"name\":\"x\"},"
      "\"session\":{\"is_active\":false},\"reason\":\"r\",\"other\":[1,-2.5e+3,null,{}]} \r\n");
  EXPECT_TRUE(r.valid);
  EXPECT_TRUE(r.ok);
  EXPECT_TRUE(r.has_ok);
  EXPECT_EQ(r.token, "t_1");
  EXPECT_EQ(r.user_id, "me");
  EXPECT_TRUE(r.has_session_is_active);
  EXPECT_FALSE(r.session_is_active);
  EXPECT_EQ(r.reason, "r");

  const AuthReply bare = ParseAuthReply("{\"ok\":true}");
  EXPECT_TRUE(bare.valid);
  EXPECT_TRUE(bare.token.empty());
  EXPECT_EQ(ParseAuthReply("{\"user.user_id\":\"dotted\",\"ok\":false}").user_id, "dotted");
  EXPECT_FALSE(ParseAuthReply("{\"ok\":false}").ok);

  // Paths inside arrays, and repeats.
  EXPECT_TRUE(ParseAuthReply("{\"ok\":[true]}").ok);
  EXPECT_EQ(ParseAuthReply("{\"ok\":true,\"token\":[\"a\",\"b\"]}").token, "b");
  EXPECT_TRUE(ParseAuthReply("{\"ok\":true,\"x\":1,\"x\":2}").valid);
  // "\u006fk" is the key "ok".
  EXPECT_FALSE(ParseAuthReply("{\"ok\":true,\"\\u006fk\":true}").valid);
  EXPECT_TRUE(ParseAuthReply("{\"\\u006fk\":true}").ok);
}

TEST(ParseAuthReply, StringEscapesAndLimits) {
  const AuthReply r = ParseAuthReply(
      "{\"ok\":true,\"reason\":\"\\ud83d\\ude00\\\"\\/\\\\\\b\\f\\n\\r\\t\\u00e9\",\"user\":{\"user_id\":\"a\\u0000b\"}}");
  ASSERT_TRUE(r.valid);
  EXPECT_EQ(r.reason, "\xf0\x9f\x98\x80\"/\\\b\f\n\r\t\xc3\xa9");
  EXPECT_EQ(r.user_id, std::string("a\0b", 3));
  EXPECT_EQ(ParseAuthReply("{\"ok\":true,\"reason\":\"\xff\xfe\"}").reason, "\xff\xfe");

  EXPECT_EQ(ParseAuthReply("{\"ok\":true,\"reason\":\"" + std::string(128, 'r') + "\"}").reason.size(), 128u);
  std::string big = "{\"ok\":true,\"pad\":\"";
  big += std::string(1048576 - big.size() - 2, 'p') + "\"}";
  ASSERT_EQ(big.size(), 1048576u);
  EXPECT_TRUE(ParseAuthReply(big).valid);
  big.insert(big.size() - 2, "p");
  EXPECT_FALSE(ParseAuthReply(big).valid);
}

}  // namespace
