// Friend requests through the session owner against the loopback account
// service: refusals, the request bodies and paths, and how results apply.
#include "chat/account_http.h"
#include "core/service_origin.h"
#include "owner_fixture.h"

namespace quorix_test {
namespace {

const char kPending[] = R"({"from_user_id":"bob","to_user_id":"alice","status":"pending"})";

std::string RequestsReply(const std::string& incoming, const std::string& outgoing) {
  return R"({"ok":true,"user_id":"alice","incoming":[)" + incoming + R"(],"outgoing":[)" + outgoing + "]}";
}

class OwnerFriendTest : public OwnerTest {
 protected:
  void SignInOnline() {
    service_.Script("GET", "/friends/requests/alice",
                    ScriptedReply::Json(200, RequestsReply(kPending,
                                                           R"({"from_user_id":"alice","to_user_id":"erin","status":"pending"})")));
    ASSERT_TRUE(CreateSignedOut());
    ASSERT_TRUE(SignIn());
    ASSERT_TRUE(PassUntil([&] { return owner_->GetStatus().code == 3; }));
  }
  // Starts `operation` and passes until its result is applied.
  void Finish(uint32_t operation, const std::string& target) {
    const size_t done = log_.Count("UI_FRIEND_OPERATION_FINISHED");
    ASSERT_TRUE(owner_->RequestFriendOperation(operation, target));
    EXPECT_EQ(owner_->GetFriendRequests().busy, 1);
    ASSERT_TRUE(PassUntilLogged("UI_FRIEND_OPERATION_FINISHED", done + 1));
  }
};

TEST_F(OwnerFriendTest, RefusedOperationsChangeNothing) {
  SignInOnline();
  struct Case { const char* name; uint32_t operation; std::string target; } cases[] = {
      {"own id", 1, "alice"},
      {"129 characters", 1, std::string(129, 'b')},
      {"a dot", 2, "bob.x"},
      {"a space", 3, "bob x"},
      {"operation 4", 4, "bob"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(owner_->RequestFriendOperation(c.operation, c.target));
  }
  DeleteSessionFile();
  EXPECT_FALSE(owner_->RequestFriendOperation(0, ""));
  EXPECT_EQ(owner_->GetFriendRequests().revision, 0u);
  EXPECT_TRUE(service_.RequestsTo("/friends/requests/alice").empty());
}

TEST_F(OwnerFriendTest, AcceptPostsOnceAndReloadsBothLists) {
  SignInOnline();
  service_.Script("POST", "/friends/accept", ScriptedReply::Json(200, R"({"ok":true})"));
  service_.Script("GET", "/friends/alice",
                  ScriptedReply::Json(200, FriendsReply(R"({"user_id":"bob","display_name":"Bob"},)"
                                                        R"({"user_id":"carol","display_name":"Carol"})")));
  Finish(2, "carol");
  const quorix_native::Ui::FriendRequestState state = owner_->GetFriendRequests();
  EXPECT_EQ(state.revision, 2u);
  EXPECT_EQ(state.failed, 0);
  EXPECT_EQ(state.last_operation, 2u);
  EXPECT_EQ(state.incoming, std::vector<std::string>{"bob"});
  EXPECT_EQ(state.outgoing, std::vector<std::string>{"erin"});
  EXPECT_EQ(service_.RequestsTo("/friends/accept").at(0).body, R"({"user_id":"alice","from_user_id":"carol"})");
  EXPECT_EQ(service_.RequestsTo("/friends/requests/alice").size(), 1u);
  EXPECT_EQ(service_.RequestsTo("/friends/alice").size(), 2u);  // sign-in and this
  platform::ui::WindowInfo list;
  ASSERT_TRUE(platform::ui::GetWindowInfo(Control(6), &list));
  EXPECT_EQ(list.rows, (std::vector<std::u16string>{u"bob", u"carol"}));
  EXPECT_EQ(owner_->GetCallPeerName(), u"");
  ASSERT_TRUE(owner_->SignOut());
  EXPECT_EQ(owner_->GetFriendRequests().revision, 0u);
  EXPECT_EQ(owner_->GetFriendPresence("bob"), 0);
  EXPECT_FALSE(owner_->RequestFriendOperation(0, ""));
}

TEST_F(OwnerFriendTest, FailuresKeepTheListsAndTellAMissingReplyApart) {
  SignInOnline();
  Finish(0, "");
  struct Case {
    const char* name;
    uint32_t operation;
    ScriptedReply post;
    std::string requests, friends;
    uint8_t unreachable;
  };
  ScriptedReply closed;
  closed.close_without_answer = true;
  const std::string pending = kPending;
  const Case cases[] = {
      {"accepted entry", 0, {}, R"({"from_user_id":"bob","to_user_id":"alice","status":"accepted"})",
       R"({"user_id":"bob","display_name":"Bob"})", 0},
      {"friend without a name", 0, {}, pending, R"({"user_id":"bob"})", 0},
      {"post closed unanswered", 1, closed, pending, R"({"user_id":"bob","display_name":"Bob"})", 1},
      {"post not ok", 1, ScriptedReply::Json(200, R"({"ok":false})"), pending, "", 0},
      {"refresh closed unanswered", 0, {}, "", "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    service_.Script("POST", "/friends/request", c.post);
    service_.Script("GET", "/friends/requests/alice",
                    c.requests.empty() ? closed : ScriptedReply::Json(200, RequestsReply(c.requests, "")));
    service_.Script("GET", "/friends/alice", ScriptedReply::Json(200, FriendsReply(c.friends)));
    const uint64_t revision = owner_->GetFriendRequests().revision;
    Finish(c.operation, "dave");
    const quorix_native::Ui::FriendRequestState state = owner_->GetFriendRequests();
    EXPECT_EQ(state.revision, revision + 2);
    EXPECT_EQ(state.failed, 1);
    EXPECT_EQ(state.unreachable, c.unreachable);
    EXPECT_EQ(state.incoming, std::vector<std::string>{"bob"});
    EXPECT_EQ(state.outgoing, std::vector<std::string>{"erin"});
  }
}

TEST_F(OwnerFriendTest, OwnIdIsEncodedInThePath) {
  service_.Script("GET", "/friends/requests/a%22b%2Fc",
                  ScriptedReply::Json(200, R"({"ok":true,"user_id":"a\"b/c","incoming":[],"outgoing":[]})"));
  ServiceEndpoint endpoint;
  ASSERT_TRUE(ParseServiceEndpoint(&endpoint, quorix_service::kServiceBaseUrl));
  std::vector<std::string> incoming, outgoing;
  EXPECT_TRUE(two_pc::FetchFriendRequests(endpoint, "a\"b/c", kAccountToken, &incoming, &outgoing));
  EXPECT_EQ(service_.RequestsTo("/friends/requests/a%22b%2Fc").size(), 1u);
  EXPECT_FALSE(two_pc::FetchFriendRequests(endpoint, std::string(257, 'a'), kAccountToken, &incoming, &outgoing));
}

}  // namespace
}  // namespace quorix_test
