// The owner's readers of the services' replies, one reply at a time.
#include "session_owner/account_replies.h"

#include <gtest/gtest.h>

#include <string>

namespace two_pc {
namespace {

AccountHttpReply Reply(uint32_t status, std::string body, bool ok = true) {
  AccountHttpReply reply;
  reply.ok = ok;
  reply.status = status;
  reply.body = std::move(body);
  return reply;
}

const std::string kActive = R"({"ok":true,"user":{"user_id":"alice"},"session":{"is_active":true}})";

TEST(AccountRepliesTest, RestoreCheckTellsGoOnExpiredAndUndecidedApart) {
  const struct {
    const char* name;
    AccountHttpReply me;
    uint32_t outcome;
  } cases[] = {
      {"active session of the user", Reply(200, kActive), 0},
      {"no reply", Reply(0, "", false), 3},
      {"refused 401", Reply(401, R"({"ok":false})"), 2},
      {"refused 403", Reply(403, ""), 2},
      {"server error", Reply(500, kActive), 3},
      {"not an auth reply", Reply(200, "[]"), 3},
      {"ok false", Reply(200, R"({"ok":false})"), 2},
      {"no session state", Reply(200, R"({"ok":true,"user":{"user_id":"alice"}})"), 3},
      {"inactive", Reply(200, R"({"ok":true,"user":{"user_id":"alice"},"session":{"is_active":false}})"), 2},
      {"another user", Reply(200, R"({"ok":true,"user":{"user_id":"bob"},"session":{"is_active":true}})"), 2},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadRestoreCheck(c.me, "alice"), c.outcome) << c.name;
    EXPECT_EQ(ReadSessionCheck(c.me, "alice"), c.outcome == 0) << c.name;
  }
}

TEST(AccountRepliesTest, FriendRepliesOfRestoreOperationAndList) {
  const std::string friends = R"({"ok":true,"user_id":"alice","friends":[{"user_id":"bob","display_name":"Bob"}]})";
  const std::string nameless = R"({"ok":true,"user_id":"alice","friends":[{"user_id":"bob"}]})";
  FriendList list;
  EXPECT_EQ(ReadRestoreFriends(Reply(200, friends), "alice", &list), 0u);
  EXPECT_EQ(list.ids, std::vector<std::string>{"bob"});
  EXPECT_EQ(list.names["bob"], u"Bob");
  EXPECT_EQ(ReadRestoreFriends(Reply(403, friends), "alice", &list), 2u);
  EXPECT_EQ(ReadRestoreFriends(Reply(403, friends, false), "alice", &list), 3u);
  EXPECT_EQ(ReadRestoreFriends(Reply(200, friends), "carol", &list), 3u);

  FriendList named;
  EXPECT_TRUE(ReadFriendListReply(Reply(200, friends), "alice", &named));
  FriendList strict;
  EXPECT_FALSE(ReadFriendListReply(Reply(200, nameless), "alice", &strict));  // the list wants names
  EXPECT_TRUE(strict.ids.empty());
  FriendList loose;
  EXPECT_TRUE(ReadFriendsReply(nameless, "alice", &loose));  // the sign-in does not

  EXPECT_TRUE(IsOkReply(Reply(200, R"({"ok":true})")));
  EXPECT_FALSE(IsOkReply(Reply(200, R"({"ok":true})", false)));
  EXPECT_FALSE(IsOkReply(Reply(404, R"({"ok":true})")));
  EXPECT_FALSE(IsOkReply(Reply(200, R"({"ok":"true"})")));
}

TEST(AccountRepliesTest, FriendRequestsAreThePendingOnesOfTheUser) {
  const std::string pending =
      R"({"ok":true,"user_id":"alice","incoming":[{"from_user_id":"bob","to_user_id":"alice","status":"pending"}],)"
      R"("outgoing":[{"from_user_id":"alice","to_user_id":"carol","status":"pending"}]})";
  std::vector<std::string> incoming;
  std::vector<std::string> outgoing;
  EXPECT_TRUE(ReadFriendRequestsReply(Reply(200, pending), "alice", &incoming, &outgoing));
  EXPECT_EQ(incoming, std::vector<std::string>{"bob"});
  EXPECT_EQ(outgoing, std::vector<std::string>{"carol"});
  std::string accepted = pending;
  accepted.replace(accepted.find("pending"), 7, "accepted");
  EXPECT_FALSE(ReadFriendRequestsReply(Reply(200, accepted), "alice", &incoming, &outgoing));
  EXPECT_FALSE(ReadFriendRequestsReply(Reply(200, pending), "bob", &incoming, &outgoing));
}

TEST(AccountRepliesTest, LoginAndPhoneSessionWantTheUserAndAToken) {
  const std::string login = R"({"ok":true,"user":{"user_id":"alice"},"token":"tok_account-7731"})";
  AuthReply parsed = ParseAuthReply(login);
  EXPECT_TRUE(LoginAccepted(Reply(200, login), parsed, "alice"));
  EXPECT_FALSE(LoginAccepted(Reply(200, login), parsed, "bob"));
  EXPECT_FALSE(LoginAccepted(Reply(500, login), parsed, "alice"));

  const std::string phone = R"({"ok":true,"user":{"user_id":"alice"},"token":"tok_phone-8812","can_start":true,)"
                            R"("can_answer":true,"media_ready":true,"valid_for_seconds":5})";
  std::string token;
  EXPECT_TRUE(ReadPhoneSession(Reply(200, phone), "alice", true, &token));
  EXPECT_EQ(token, "tok_phone-8812");
  std::string dotted = phone;
  dotted.replace(dotted.find("tok_phone"), 9, "tok.phone");
  std::string other;
  EXPECT_TRUE(ReadPhoneSession(Reply(200, dotted), "alice", false, &other));   // a sign-in takes any token
  EXPECT_FALSE(ReadPhoneSession(Reply(200, dotted), "alice", true, &token));  // a restore wants its form
  std::string not_ready = phone;
  not_ready.replace(not_ready.find("\"media_ready\":true"), 18, "\"media_ready\":false");
  EXPECT_FALSE(ReadPhoneSession(Reply(200, not_ready), "alice", false, &token));
}

}  // namespace
}  // namespace two_pc
