#include "chat/account_requests.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/json.h"
#include "core/service_origin.h"
#include "service_admission.h"

namespace {

using quorix_test::LoopbackService;
using quorix_test::ScopedProductionService;

class AccountRequests : public ::testing::Test {
 protected:
  AccountRequests() : admission_(std::make_unique<ScopedProductionService>(service_)) {
    EXPECT_TRUE(ParseServiceEndpoint(&endpoint_, quorix_service::kServiceBaseUrl));
  }
  quorix_test::RecordedRequest Last() const {
    const auto seen = service_.Requests();
    return seen.empty() ? quorix_test::RecordedRequest{} : seen.back();
  }

  LoopbackService service_;
  std::unique_ptr<ScopedProductionService> admission_;
  ServiceEndpoint endpoint_;
};

TEST_F(AccountRequests, BodiesPathsAndTokenHeadersAsSent) {
  AccountLogin(endpoint_, "u\"1\n\x01", "pw");
  auto seen = Last();
  EXPECT_EQ(seen.method, "POST");
  EXPECT_EQ(seen.target, "/auth/login");
  EXPECT_EQ(seen.body, "{\"user_id\":\"u\\\"1\\n\\u0001\",\"password\":\"pw\"}");
  EXPECT_EQ(seen.HeaderCount("X-NiloPhone-Token"), 0u);

  AccountLogout(endpoint_, "tok_1");
  seen = Last();
  EXPECT_EQ(seen.target, "/auth/logout");
  EXPECT_EQ(seen.body, "{\"token\":\"tok_1\"}");
  EXPECT_EQ(seen.HeaderCount("X-NiloPhone-Token"), 0u);

  AccountGetMe(endpoint_, "");
  seen = Last();
  EXPECT_EQ(seen.method, "GET");
  EXPECT_EQ(seen.target, "/auth/me");
  EXPECT_EQ(seen.HeaderCount("X-NiloPhone-Token"), 0u);
  AccountGetMe(endpoint_, "tok_2");
  EXPECT_EQ(Last().Header("X-NiloPhone-Token"), "tok_2");

  AccountOpenPhoneSession(endpoint_, "me", "tok_3");
  seen = Last();
  EXPECT_EQ(seen.target, "/phone/v1/session");
  EXPECT_EQ(seen.body, "{\"user_id\":\"me\"}");
  EXPECT_EQ(seen.Header("X-NiloPhone-Token"), "tok_3");

  AccountGetFriends(endpoint_, "a b\xc3\xa9~_-.aZ9/", "tok_4");
  seen = Last();
  EXPECT_EQ(seen.target, "/friends/a%20b%C3%A9~_-.aZ9%2F");
  EXPECT_EQ(seen.Header("X-NiloPhone-Token"), "tok_4");
}

// The JSON quoting of request bodies: every ASCII byte and non-ASCII text read back equal.
TEST_F(AccountRequests, LoginBodyReadsBackEqualForEveryByte) {
  std::string user_id;
  for (int c = 0; c < 0x80; ++c) user_id.push_back(static_cast<char>(c));
  user_id += "\xc3\xa9\xe3\x81\x82\xf0\x9f\x98\x80";
  AccountLogin(endpoint_, user_id, "p\"w");
  JsonValue value;
  ASSERT_TRUE(ParseJson(Last().body, value)) << Last().body;
  ASSERT_NE(value.Find("user_id"), nullptr);
  EXPECT_EQ(value.Find("user_id")->text, user_id);
  EXPECT_EQ(value.Find("password")->text, "p\"w");
}

// The segment's refusals, here as the caller meets them.
TEST_F(AccountRequests, FriendIdsThatCannotFormASegment) {
  for (const std::string& id : {std::string(257, 'a'), std::string(), std::string("."), std::string("..")}) {
    const AccountHttpReply reply = AccountGetFriends(endpoint_, id, "tok");
    EXPECT_FALSE(reply.ok);
    EXPECT_EQ(reply.status, 0u);
    EXPECT_EQ(reply.error, "invalid_user_id") << id.size();
  }
  EXPECT_EQ(AccountGetFriends(endpoint_, "a..b", "tok").error, "invalid_api_path");
  EXPECT_TRUE(service_.Requests().empty());
  AccountGetFriends(endpoint_, std::string(256, 'a'), "tok");
  EXPECT_EQ(Last().target, "/friends/" + std::string(256, 'a'));
}

}  // namespace
