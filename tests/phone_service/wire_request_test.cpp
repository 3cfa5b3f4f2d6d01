#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "phone_service/windows_wire.h"
#include "phone_service_fixture.h"
#include "platform/clock.h"
#include "test_util.h"

namespace {

using quorix_phone::NetworkReply;
using quorix_phone::ValidatePhoneRequest;
using quorix_phone::WindowsWire;
using quorix_test::LoopbackService;
using quorix_test::ScriptedReply;
using quorix_test::WsAction;
using quorix_test::WsUpgrade;
using namespace std::chrono_literals;

const std::string kRelay = "/phone/v1/calls/0123456789abcdef0123456789abcdef/ice?mode=relay";

TEST(ValidatePhoneRequest, EveryRule) {
  struct Case {
    uint32_t tag;
    std::string method, path, body;
    bool ok;
  };
  const std::vector<Case> cases = {
      {2, "GET", "/phone/v1/x", "", true},
      {2, "PUT", "/phone/v1/x", "", false},
      {2, "get", "/phone/v1/x", "", false},
      {2, "POST", "/phone/v1/x", std::string(4096, 'b'), true},
      {2, "POST", "/phone/v1/x", std::string(4097, 'b'), false},
      {2, "GET", "/phone/v1", "", false},  // 9 bytes
      {2, "GET", "/phone/v1/", "", true},
      {2, "GET", "/phone/v1/" + std::string(246, 'a'), "", true},
      {2, "GET", "/phone/v1/" + std::string(247, 'a'), "", false},
      {2, "GET", "/phone/v2/xx", "", false},
      {2, "GET", "/phone/v1/a..b", "", false},
      {2, "GET", "/phone/v1/a#b", "", false},
      {2, "GET", "/phone/v1/a%20", "", false},
      {2, "GET", "/phone/v1/a\\b", "", false},
      {2, "GET", "/phone/v1/a\tb", "", false},
      {2, "GET", "/phone/v1/a\x7F", "", false},
      {2, "GET", "/phone/v1/a b", "", true},
      {2, "GET", "/phone/v1/a?b=1", "", false},
      {8, "GET", "/phone/v1/capabilities", "", true},
      {8, "POST", "/phone/v1/capabilities", "", false},
      {8, "GET", "/phone/v1/capabilities", "x", false},
      {8, "GET", "/phone/v1/presence", "", false},
      {7, "GET", kRelay, "", true},
      {7, "GET", "/phone/v1/calls/0123456789ABCDEF0123456789abcdef/ice?mode=relay", "", false},
      {7, "GET", "/phone/v1/calls/0123456789abcdef0123456789abcde/ice?mode=relay", "", false},
      {7, "POST", kRelay, "", false},
      {7, "GET", kRelay, "x", false},
      {2, "GET", kRelay, "", false},
      {1, "POST", "/phone/v1/calls/start", "{}", true},
      {1, "POST", "/phone/v1/calls/abc/answer", "{}", true},  // passes here, refused by the exchange
  };
  ASSERT_EQ(kRelay.size(), 63u);
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(ValidatePhoneRequest(cases[i].tag, cases[i].method, cases[i].path, cases[i].body), cases[i].ok) << i;
  }
}

TEST(ReadJsonBoolMember, OnlyTheLiteralTrue) {
  EXPECT_TRUE(quorix_phone::ReadJsonBoolMember(R"({"ok":true})", "ok"));
  EXPECT_FALSE(quorix_phone::ReadJsonBoolMember(R"({"ok":1})", "ok"));
  EXPECT_FALSE(quorix_phone::ReadJsonBoolMember(R"({"ok":"true"})", "ok"));
  EXPECT_FALSE(quorix_phone::ReadJsonBoolMember(R"({"x":{"ok":true}})", "ok"));
  EXPECT_FALSE(quorix_phone::ReadJsonBoolMember(R"({"ok":true)", "ok"));
}

TEST(WireRefusals, NothingWhileStopped) {
  WindowsWire wire;
  EXPECT_FALSE(wire.IsConnected());
  EXPECT_FALSE(wire.Request(2, "GET", "/phone/v1/x", ""));
  EXPECT_FALSE(wire.SendText("x"));
  EXPECT_FALSE(wire.RequestWithDeadline(8, "GET", "/phone/v1/capabilities", "", "k", 100));
  EXPECT_FALSE(wire.RequestPresence());
  EXPECT_FALSE(wire.PollReply(nullptr));
  NetworkReply reply;
  EXPECT_FALSE(wire.PollReply(&reply));
  EXPECT_EQ(wire.GetConnectionId(), "");
  EXPECT_EQ(wire.GetPresenceStatus(), 0u);
  wire.Stop();
  wire.Stop();
}

class Wire : public quorix_test::WireTest {
 protected:
  // Starts and waits for the ready entry, which it takes out of the ring.
  void StartReady() {
    ASSERT_TRUE(wire_.Start(quorix_test::kPhoneUser, quorix_test::kPhoneToken));
    ASSERT_TRUE(quorix_test::WaitFor([&] { return wire_.IsConnected(); }, 10s));
    const auto replies = quorix_test::DrainReplies(wire_);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].tag, 0u);
    EXPECT_NE(replies[0].body.find("phone_ready_idle"), std::string::npos);
  }
};

TEST_F(Wire, ReplyEntryCarriesTagStatusBodyPath) {
  StartReady();
  EXPECT_EQ(wire_.GetConnectionId(), quorix_test::kConnectionA);
  service_.Script("GET", "/phone/v1/calls/x/ice", ScriptedReply::Json(201, R"({"ice":[]})"));
  ASSERT_TRUE(wire_.Request(4, "GET", "/phone/v1/calls/x/ice", ""));
  const auto replies = WaitReplies(1);
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].tag, 4u);
  EXPECT_EQ(replies[0].status, 201u);
  EXPECT_EQ(replies[0].body, R"({"ice":[]})");
  EXPECT_EQ(replies[0].path, "/phone/v1/calls/x/ice");
  EXPECT_EQ(replies[0].key, "");
  const auto seen = service_.RequestsTo("/phone/v1/calls/x/ice");
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].HeaderCount("X-Quorix-Connection"), 0u);
  ASSERT_TRUE(wire_.Request(1, "POST", "/phone/v1/calls/start", R"({"to":"b"})"));
  WaitReplies(1);
  EXPECT_EQ(service_.RequestsTo("/phone/v1/calls/start")[0].Header("X-Quorix-Connection"), quorix_test::kConnectionA);
  EXPECT_EQ(log_.Raw().find(quorix_test::kPhoneToken), std::string::npos);
}

TEST_F(Wire, DeadlineRules) {
  StartReady();
  struct Case {
    uint32_t tag;
    std::string method, path, key;
    uint32_t timeout;
    bool ok;
  };
  const std::vector<Case> cases = {
      {2, "POST", "/phone/v1/calls/start", "k", 100, false},
      {8, "GET", "/phone/v1/capabilities", "", 100, false},
      {8, "GET", "/phone/v1/capabilities", std::string(65, 'k'), 100, false},
      {8, "GET", "/phone/v1/capabilities", std::string(64, 'k'), 100, true},
      {8, "GET", "/phone/v1/capabilities", "k", 0, false},
      {8, "GET", "/phone/v1/capabilities", "k", 5001, false},
      {8, "GET", "/phone/v1/capabilities", "k", 1, true},
      {1, "POST", "/phone/v1/calls/start", "k", 5000, true},
      {1, "GET", "/phone/v1/calls/start", "k", 5000, false},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(wire_.RequestWithDeadline(cases[i].tag, cases[i].method, cases[i].path, "", cases[i].key,
                                        cases[i].timeout),
              cases[i].ok)
        << i;
  }
}

TEST_F(Wire, PassedDeadlineAnswers408WithoutSending) {
  StartReady();
  platform::ManualClock clock;
  clock.Set(platform::TickCount64());
  platform::SetClockForTesting(&clock);
  ScriptedReply held = ScriptedReply::Json(200, "{}");
  held.hold_until_released = true;
  service_.Script("GET", "/phone/v1/calls/held", held);
  ASSERT_TRUE(wire_.Request(2, "GET", "/phone/v1/calls/held", ""));
  ASSERT_TRUE(quorix_test::WaitFor([&] { return service_.RequestsTo("/phone/v1/calls/held").size() == 1; }, 5s));
  ASSERT_TRUE(wire_.RequestWithDeadline(1, "POST", "/phone/v1/calls/start", "{}", "key-1", 100));
  clock.Advance(100);
  service_.Release();
  const auto replies = WaitReplies(2);
  platform::SetClockForTesting(nullptr);
  ASSERT_EQ(replies.size(), 2u);
  EXPECT_EQ(replies[1].tag, 1u);
  EXPECT_EQ(replies[1].status, 408u);
  EXPECT_EQ(replies[1].body, R"({"ok":false})");
  EXPECT_EQ(replies[1].path, "/phone/v1/calls/start");
  EXPECT_EQ(replies[1].key, "key-1");
  EXPECT_TRUE(service_.RequestsTo("/phone/v1/calls/start").empty());
}

TEST_F(Wire, QueueHolds32BehindOneInFlight) {
  StartReady();
  ScriptedReply held = ScriptedReply::Json(200, "{}");
  held.hold_until_released = true;
  service_.Script("GET", "/phone/v1/calls/held", held);
  ASSERT_TRUE(wire_.Request(2, "GET", "/phone/v1/calls/held", ""));
  ASSERT_TRUE(quorix_test::WaitFor([&] { return service_.RequestsTo("/phone/v1/calls/held").size() == 1; }, 5s));
  for (int i = 0; i < 32; ++i) ASSERT_TRUE(wire_.Request(2, "GET", "/phone/v1/calls/held", "")) << i;
  EXPECT_FALSE(wire_.Request(2, "GET", "/phone/v1/calls/held", ""));
  EXPECT_FALSE(wire_.SendText("x"));
  service_.Release();
  EXPECT_EQ(WaitReplies(33).size(), 33u);
}

TEST_F(Wire, FullRingClosesWith34AndLeavesOnlyTheClosedEntry) {
  // Second connection's capabilities fail, so nothing refills the ring.
  // Owned by the script: the fixture's service outlives this body, and the wire may reconnect until teardown.
  auto capabilities = std::make_shared<std::atomic<int>>(0);
  service_.Script("GET", "/phone/v1/capabilities", [capabilities](const quorix_test::RecordedRequest&) {
    return ++*capabilities == 1 ? ScriptedReply::Json(200, R"({"ok":true,"media_ready":true})")
                                : ScriptedReply::Json(500, "{}");
  });
  service_.ScriptWebSocket([](size_t) {
    return WsUpgrade{101, false,
                     {WsAction::Ready(quorix_test::kConnectionA), WsAction::WaitSignal(),
                      WsAction::Text(R"({"type":"inbox_event","n":1})", 97)}};
  });
  wire_.SetTimingForTesting(&slow_);
  StartReady();
  service_.Signal();
  ASSERT_TRUE(quorix_test::WaitFor([&] { return log_.Count("WIRE_CLOSED") >= 1; }, 10s));
  const auto closed = log_.Events("WIRE_CLOSED");
  EXPECT_EQ(closed[0].n, 34u);
  const auto replies = quorix_test::DrainReplies(wire_);
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].tag, 5u);
  EXPECT_EQ(replies[0].status, 0u);
  EXPECT_TRUE(replies[0].body.empty());
}

TEST_F(Wire, Unauthorized401ClosesWithTheMarkAndNoReply) {
  StartReady();
  service_.Script("GET", "/phone/v1/calls/x/ice", ScriptedReply::Json(401, R"({"ok":false})"));
  ASSERT_TRUE(wire_.Request(4, "GET", "/phone/v1/calls/x/ice", ""));
  // The request thread logs the close; the connection thread may log its stop first.
  ASSERT_TRUE(quorix_test::WaitFor([&] { return log_.Count("WIRE_AUTH_STOP") == 1; }, 10s));
  ASSERT_TRUE(quorix_test::WaitFor([&] { return log_.Count("WIRE_CLOSED") == 1; }, 10s));
  EXPECT_FALSE(wire_.IsConnected());
  const auto replies = quorix_test::DrainReplies(wire_);
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].tag, 5u);
  const auto closed = log_.Events("WIRE_CLOSED");
  ASSERT_EQ(closed.size(), 1u);
  EXPECT_EQ(closed[0].n, 33u);
  EXPECT_EQ(closed[0].code, 401u);
  wire_.Stop();  // joins both threads: no reconnect can follow
  EXPECT_EQ(service_.RequestsTo("/phone/v1/me").size(), 1u);
}

TEST_F(Wire, ChatRequestsCarryTheConnectionAndReturnItsReply) {
  StartReady();
  service_.Script("POST", "/phone/v1/messages/send", ScriptedReply::Json(202, R"({"ok":true,"id":"m1"})"));
  uint32_t status = 0;
  std::string body, connection;
  ASSERT_TRUE(wire_.ExecuteMessagesRequest("POST", "/phone/v1/messages/send", R"({"text":"hi"})", &status, &body,
                                           &connection));
  EXPECT_EQ(status, 202u);
  EXPECT_EQ(body, R"({"ok":true,"id":"m1"})");
  EXPECT_EQ(connection, quorix_test::kConnectionA);
  const auto seen = service_.RequestsTo("/phone/v1/messages/send");
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].Header("X-Quorix-Connection"), quorix_test::kConnectionA);
  EXPECT_TRUE(quorix_test::DrainReplies(wire_).empty());  // never through the ring
  EXPECT_FALSE(wire_.ExecuteMessagesRequest("POST", "/phone/v1/messages/other", "{}", &status, &body, &connection));
  EXPECT_FALSE(wire_.ExecuteMessagesRequest("GET", "/phone/v1/messages/send", "{}", &status, &body, &connection));
  EXPECT_FALSE(wire_.ExecuteMessagesRequest("POST", "/phone/v1/messages/send", "{}", nullptr, &body, &connection));
}

TEST_F(Wire, ChatRequestWhoseConnectionClosesWhileHeldIsStale) {
  service_.ScriptWebSocket([](size_t) {
    return WsUpgrade{101, false, {WsAction::Ready(quorix_test::kConnectionA), WsAction::WaitSignal(), WsAction::Close(1000)}};
  });
  StartReady();
  ScriptedReply held = ScriptedReply::Json(200, R"({"ok":true})");
  held.hold_until_released = true;
  service_.Script("POST", "/phone/v1/messages/send", held);
  auto result = std::async(std::launch::async, [&] {
    uint32_t status = 0;
    std::string body, connection;
    return wire_.ExecuteMessagesRequest("POST", "/phone/v1/messages/send", "{}", &status, &body, &connection);
  });
  ASSERT_TRUE(quorix_test::WaitFor([&] { return service_.RequestsTo("/phone/v1/messages/send").size() == 1; }, 5s));
  service_.Signal();
  ASSERT_TRUE(quorix_test::WaitFor([&] { return log_.Count("WIRE_CLOSED") == 1; }, 5s));
  service_.Release();
  EXPECT_FALSE(result.get());
  EXPECT_EQ(log_.Count("WIRE_STALE_REPLY"), 1u);
}

TEST_F(Wire, SendTextArrivesByteExact) {
  StartReady();
  std::string text(145000, 'a');
  for (size_t i = 0; i < text.size(); i += 7) text[i] = static_cast<char>('0' + i % 10);
  EXPECT_FALSE(wire_.SendText(text + "a"));
  EXPECT_FALSE(wire_.SendText("a\nb"));
  ASSERT_TRUE(wire_.SendText(text));
  ASSERT_TRUE(quorix_test::WaitFor([&] { return service_.ClientMessages().size() == 1; }, 5s));
  EXPECT_EQ(service_.ClientMessages()[0], text);
}

}  // namespace
