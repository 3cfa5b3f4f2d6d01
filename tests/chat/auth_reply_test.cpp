#include "chat/auth_reply.h"

#include <gtest/gtest.h>

#include <string>

namespace {

void ExpectEmpty(const AuthReply& r, const std::string& text) {
  EXPECT_FALSE(r.valid) << text;
  EXPECT_FALSE(r.ok) << text;
  EXPECT_FALSE(r.has_ok) << text;
  EXPECT_FALSE(r.has_session_is_active) << text;
  EXPECT_FALSE(r.session_is_active) << text;
  EXPECT_TRUE(r.user_id.empty()) << text;
  EXPECT_TRUE(r.token.empty()) << text;
  EXPECT_TRUE(r.reason.empty()) << text;
}

// `depth` objects below the top one, the innermost empty.
std::string Nested(int depth) {
  std::string text = "{\"ok\":true,\"x\":";
  for (int i = 1; i < depth; ++i) text += "{\"a\":";
  text += "{}";
  for (int i = 1; i < depth; ++i) text += "}";
  return text + "}";
}

TEST(ParseAuthReply, ReadsTheFiveValues) {
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
}

TEST(ParseAuthReply, PathsInsideArraysAndRepeats) {
  EXPECT_TRUE(ParseAuthReply("{\"ok\":[true]}").ok);
  EXPECT_EQ(ParseAuthReply("{\"ok\":true,\"token\":[\"a\",\"b\"]}").token, "b");
  EXPECT_TRUE(ParseAuthReply("{\"ok\":true,\"x\":1,\"x\":2}").valid);
  // "\u006fk" is the key "ok".
  EXPECT_FALSE(ParseAuthReply("{\"ok\":true,\"\\u006fk\":true}").valid);
  EXPECT_TRUE(ParseAuthReply("{\"\\u006fk\":true}").ok);
}

TEST(ParseAuthReply, StringEscapes) {
  const AuthReply r = ParseAuthReply(
      "{\"ok\":true,\"reason\":\"\\ud83d\\ude00\\\"\\/\\\\\\b\\f\\n\\r\\t\\u00e9\",\"user\":{\"user_id\":\"a\\u0000b\"}}");
  ASSERT_TRUE(r.valid);
  EXPECT_EQ(r.reason, "\xf0\x9f\x98\x80\"/\\\b\f\n\r\t\xc3\xa9");
  EXPECT_EQ(r.user_id, std::string("a\0b", 3));
  EXPECT_EQ(ParseAuthReply("{\"ok\":true,\"reason\":\"\xff\xfe\"}").reason, "\xff\xfe");
}

TEST(ParseAuthReply, Limits) {
  EXPECT_EQ(ParseAuthReply("{\"ok\":true,\"reason\":\"" + std::string(128, 'r') + "\"}").reason.size(), 128u);
  EXPECT_TRUE(ParseAuthReply(Nested(24)).valid);
  EXPECT_FALSE(ParseAuthReply(Nested(25)).valid);
  std::string big = "{\"ok\":true,\"pad\":\"";
  big += std::string(1048576 - big.size() - 2, 'p') + "\"}";
  ASSERT_EQ(big.size(), 1048576u);
  EXPECT_TRUE(ParseAuthReply(big).valid);
  big.insert(big.size() - 2, "p");
  EXPECT_FALSE(ParseAuthReply(big).valid);
}

TEST(ParseAuthReply, RefusedTextsLeaveNothing) {
  for (const std::string& text : {
           std::string("{\"ok\":\"true\"}"), std::string("{\"ok\":1}"), std::string("{\"ok\":null}"),
           std::string("{\"token\":\"t\"}"), std::string("{\"ok\":true,\"ok\":true}"),
           std::string("{\"ok\":true,\"token\":\"a\",\"token\":\"b\"}"), std::string("{\"ok\":[true,false]}"),
           std::string("{\"ok\":true} x"), std::string("{\"ok\":true}}"), std::string("[{\"ok\":true}]"),
           std::string("\"ok\""), std::string(""), std::string("{\"ok\":true,}"), std::string("{\"ok\":true,\"a\":[1,]}"),
           std::string("{\"ok\":true,\"a\":01}"), std::string("{\"ok\":true,\"a\":1.}"),
           std::string("{\"ok\":true,\"a\":-}"), std::string("{\"ok\":true,\"a\":1e}"),
           std::string("{\"ok\":true,\"a\":\"\\x\"}"), std::string("{\"ok\":true,\"a\":\"\\u12G4\"}"),
           std::string("{\"ok\":true,\"a\":\"\\ud800\"}"), std::string("{\"ok\":true,\"a\":\"\\ud800\\u0041\"}"),
           std::string("{\"ok\":true,\"a\":\"\\udc00\"}"), std::string("{\"ok\":true,\"a\":\"x\ny\"}"),
           std::string("{\"ok\":true,\"a\":\"open"), std::string("{\"ok\":tru}"), std::string("{\"ok\":true"),
           std::string("{\"ok\":true,\"reason\":\"") + std::string(129, 'r') + "\"}",
           std::string("{\"session\":{\"is_active\":true,\"is_active\":true},\"ok\":true}"),
           std::string("{\"ok\":true,\"session.is_active\":1}"),
           // A token and a user id collected before a later failure are not returned.
           std::string("{\"token\":\"secret\",\"user\":{\"user_id\":\"me\"},\"ok\":true,\"bad\":}"),
       }) {
    ExpectEmpty(ParseAuthReply(text), text);
  }
}

}  // namespace
