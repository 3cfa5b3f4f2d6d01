#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "core/service_origin.h"
#include "phone_service/windows_wire.h"
#include "phone_service_fixture.h"
#include "platform/clock.h"
#include "test_util.h"

namespace {

using quorix_phone::NetworkReply;
using quorix_phone::WindowsWire;
using quorix_test::LoopbackService;
using quorix_test::ScriptedReply;
using quorix_test::WsAction;
using quorix_test::WsUpgrade;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string kUser = quorix_test::kPhoneUser;
const std::string kToken = quorix_test::kPhoneToken;
const std::string kConnA = quorix_test::kConnectionA;

WsUpgrade Refused(unsigned status, bool bad_accept = false) {
  WsUpgrade upgrade;
  upgrade.status = status;
  upgrade.bad_accept = bad_accept;
  return upgrade;
}

std::string Presence(const std::string& sequence, const std::string& friends) {
  return R"({"type":"phone_presence_snapshot","version":1,"ok":true,"user_id":")" + kUser +
         R"(","schema_version":1,"connection_id":")" + kConnA + R"(","sequence":")" + sequence +
         R"(","lease_seconds":10,"fresh_for_seconds":10,"poll_after_seconds":5,"friends":)" + friends + "}";
}

class Live : public quorix_test::WireTest {
 protected:
  void PlanFirst(std::vector<WsAction> actions) {
    // Later upgrades are refused with 500, so the ring sees only the first.
    service_.ScriptWebSocket([actions](size_t i) { return i == 0 ? WsUpgrade{101, false, actions} : Refused(500); });
  }
  std::vector<NetworkReply> Replies() { return quorix_test::DrainReplies(wire_); }
};

TEST_F(Live, StartRefusalsChangeNothingThenTheUpgradeCarriesItsHeaders) {
  EXPECT_FALSE(wire_.Start("", kToken));
  EXPECT_FALSE(wire_.Start(kUser, std::string(2049, 'a')));
  EXPECT_FALSE(wire_.Start(kUser, "a.b"));
  {
    ScopedEnvironmentVariable no_origin(u"QUORIX_2PC_ORIGIN", std::nullopt);
    EXPECT_FALSE(wire_.Start(kUser, kToken));
  }
  EXPECT_TRUE(service_.Requests().empty());
  EXPECT_EQ(log_.Count("WIRE_ATTEMPT"), 0u);
  ASSERT_TRUE(wire_.Start(kUser, kToken));
  EXPECT_FALSE(wire_.Start(kUser, kToken));
  ASSERT_TRUE(quorix_test::WaitFor([&] { return wire_.IsConnected(); }, 10s));

  // The headers of the checks and the upgrade, in isolated mode.
  const auto upgrade = service_.RequestsTo("/phone/v1/ws");
  ASSERT_EQ(upgrade.size(), 1u);
  EXPECT_EQ(upgrade[0].Header("User-Agent"), "QuorixPhone-Recovery-WS/0.1");
  EXPECT_EQ(upgrade[0].Header("X-NiloPhone-Token"), kToken);
  EXPECT_EQ(upgrade[0].Header("X-Quorix-Presence"), "presence-v1");
  EXPECT_EQ(upgrade[0].Header("X-Quorix-Inbox"), "inbox-v1");
  EXPECT_EQ(upgrade[0].Header("Host"), std::string(quorix_test::kLoopbackServiceName) + ":" + std::to_string(service_.port()));
  const auto me = service_.RequestsTo("/phone/v1/me");
  ASSERT_EQ(me.size(), 1u);
  EXPECT_EQ(me[0].Header("User-Agent"), "QuorixPhone/0.1.12");
  EXPECT_EQ(log_.Raw().find(kToken), std::string::npos);
}

TEST_F(Live, SessionCheckRefusals) {
  struct Case {
    unsigned status;
    std::string body;
    uint64_t detail;
  };
  const std::vector<Case> cases = {
      {401, R"({"ok":false})", 401},
      {403, R"({"ok":false})", 403},
      {200, quorix_test::MeReply("someone_else"), 200},
      {200, quorix_test::MeReply(kUser, false), 200},
      {200, R"({"ok":true,"user":{"user_id":"user_a"}})", 200},
      {200, R"({"ok":true,"token":"secret-in-reply","user":{"user_id":"user_b"},"session":{"is_active":true}})", 200},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    quorix_test::WireRig rig(&timing_);
    auto& service = rig.service;
    auto& log = rig.log;
    auto& wire = rig.wire;
    service.Script("GET", "/phone/v1/me", ScriptedReply::Json(cases[i].status, cases[i].body));
    ASSERT_TRUE(wire.Start(kUser, kToken));
    ASSERT_TRUE(quorix_test::WaitFor([&] { return log.Count("WIRE_AUTH_STOP") == 1; }, 10s)) << i;
    const auto fails = log.Events("WIRE_STAGE_FAIL");
    ASSERT_EQ(fails.size(), 1u) << i;
    EXPECT_EQ(fails[0].n, 2u);
    EXPECT_EQ(fails[0].code, cases[i].detail);
    EXPECT_FALSE(wire.IsConnected());
    wire.Stop();  // joins both threads: nothing more can be sent
    EXPECT_EQ(service.RequestsTo("/phone/v1/me").size(), 1u);
    EXPECT_TRUE(service.RequestsTo("/phone/v1/capabilities").empty());
    EXPECT_EQ(log.Raw().find(kToken), std::string::npos);
  }
}

TEST_F(Live, NotReadyIsRetriedWithGrowingBackOff) {
  service_.Script("GET", "/phone/v1/capabilities", ScriptedReply::Json(200, R"({"ok":true,"media_ready":false})"));
  ASSERT_TRUE(wire_.Start(kUser, kToken));
  ASSERT_TRUE(WaitLog("WIRE_RETRY", 6));
  wire_.Stop();
  const auto delays = timing_.delays();
  ASSERT_GE(delays.size(), 6u);
  EXPECT_EQ(std::vector<uint32_t>(delays.begin(), delays.begin() + 6),
            (std::vector<uint32_t>{1000, 2000, 4000, 8000, 15000, 15000}));
  const auto fails = log_.Events("WIRE_STAGE_FAIL");
  ASSERT_GE(fails.size(), 6u);
  EXPECT_EQ(fails[0].n, 3u);
  EXPECT_EQ(fails[0].code, 200u);
  EXPECT_EQ(log_.Count("WIRE_AUTH_STOP"), 0u);
}

TEST_F(Live, UpgradeRefusals) {
  struct Case {
    WsUpgrade upgrade;
    uint64_t stage, detail;
    bool stops;
  };
  const std::vector<Case> cases = {
      {Refused(403), 9, 403, true},
      {Refused(401), 9, 401, true},
      {Refused(302), 9, 302, false},
      {Refused(500), 9, 500, false},
      {Refused(101, true), 10, 12152, false},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    quorix_test::WireRig rig(&timing_);
    auto& service = rig.service;
    auto& log = rig.log;
    auto& wire = rig.wire;
    const WsUpgrade upgrade = cases[i].upgrade;
    service.ScriptWebSocket([upgrade](size_t) { return upgrade; });
    ASSERT_TRUE(wire.Start(kUser, kToken));
    ASSERT_TRUE(quorix_test::WaitFor([&] { return log.Count(cases[i].stops ? "WIRE_AUTH_STOP" : "WIRE_RETRY") >= 2 ||
                                                  (cases[i].stops && log.Count("WIRE_AUTH_STOP") == 1); },
                                     10s))
        << i;
    wire.Stop();
    const auto fails = log.Events("WIRE_STAGE_FAIL");
    ASSERT_GE(fails.size(), 1u) << i;
    EXPECT_EQ(fails[0].n, cases[i].stage) << i;
    EXPECT_EQ(fails[0].code, cases[i].detail) << i;
    if (cases[i].stops) {
      EXPECT_EQ(service.upgrades(), 1u) << i;
    }
  }
}

TEST(LiveProduction, FixedHostWithoutPort) {
  LoopbackService service;
  quorix_test::ScriptPhoneRoutes(service);
  quorix_test::ScopedProductionService admission(service);
  WindowsWire wire;
  ASSERT_TRUE(wire.Start(kUser, kToken));
  ASSERT_TRUE(quorix_test::WaitFor([&] { return wire.IsConnected(); }, 10s));
  wire.Stop();
  const auto upgrade = service.RequestsTo("/phone/v1/ws");
  ASSERT_EQ(upgrade.size(), 1u);
  EXPECT_EQ(upgrade[0].Header("Host"), quorix_service::kServiceHost);
  EXPECT_EQ(upgrade[0].server_name, quorix_service::kServiceHost);
  EXPECT_EQ(service.RequestsTo("/phone/v1/me")[0].Header("Host"), quorix_service::kServiceHost);
}

TEST_F(Live, PolicyClosesStopReconnecting) {
  for (const uint16_t status : {4001, 1008}) {
    quorix_test::WireRig rig(&timing_);
    auto& service = rig.service;
    auto& log = rig.log;
    auto& wire = rig.wire;
    service.ScriptWebSocket([status](size_t) {
      return WsUpgrade{101, false, {WsAction::Ready(kConnA), WsAction::Close(status)}};
    });
    ASSERT_TRUE(wire.Start(kUser, kToken));
    ASSERT_TRUE(quorix_test::WaitFor([&] { return log.Count("WIRE_AUTH_STOP") == 1; }, 10s)) << status;
    const auto closed = log.Events("WIRE_CLOSED");
    ASSERT_EQ(closed.size(), 1u);
    EXPECT_EQ(closed[0].n, 21u);
    EXPECT_EQ(closed[0].code, status);
    wire.Stop();  // joins both threads: no reconnect can follow
    EXPECT_EQ(service.upgrades(), 1u);
  }
}

TEST_F(Live, NormalCloseAfterReadyReconnectsAfterOneSecond) {
  wire_.SetTimingForTesting(nullptr);  // the real wait
  service_.ScriptWebSocket([](size_t i) {
    if (i == 0) return WsUpgrade{101, false, {WsAction::Ready(kConnA), WsAction::Close(1000)}};
    return WsUpgrade{101, false, {WsAction::Ready(kConnA)}};
  });
  ASSERT_TRUE(wire_.Start(kUser, kToken));
  ASSERT_TRUE(quorix_test::WaitFor([&] { return service_.RequestsTo("/phone/v1/me").size() == 2; }, 10s));
  const auto me = service_.RequestsTo("/phone/v1/me");
  const auto closed = log_.Events("WIRE_CLOSED");
  ASSERT_EQ(closed.size(), 1u);
  EXPECT_EQ(closed[0].n, 21u);
  EXPECT_EQ(closed[0].code, 1000u);
  EXPECT_GE(me[1].at - me[0].at, 1000ms);
  EXPECT_EQ(log_.Events("WIRE_RETRY")[0].n, 1000u);
}

TEST_F(Live, LargeEventsWholeAndFragmented) {
  std::string big = R"({"type":"inbox_event","pad":")";
  big += std::string(150000 - big.size() - 2, 'p') + "\"}";
  ASSERT_EQ(big.size(), 150000u);
  wire_.SetTimingForTesting(&slow_);
  PlanFirst({WsAction::Ready(kConnA), WsAction::Text(big), WsAction::Fragments(big, {100, 16384, 0, 133516})});
  ASSERT_TRUE(wire_.Start(kUser, kToken));
  std::vector<NetworkReply> got;
  ASSERT_TRUE(quorix_test::WaitFor(
      [&] {
        for (auto& r : Replies()) got.push_back(std::move(r));
        return got.size() >= 3;
      },
      10s));
  EXPECT_EQ(got[1].body, big);
  EXPECT_EQ(got[2].body, big);
  EXPECT_EQ(log_.Count("WIRE_CLOSED"), 0u);
}

TEST_F(Live, ReceiveLoopFailureCodes) {
  std::string over = R"({"type":"inbox_event","pad":")";
  over += std::string(150001 - over.size() - 2, 'p') + "\"}";
  struct Case {
    std::vector<WsAction> actions;
    uint64_t code, detail;
    bool stops;
  };
  const std::vector<Case> cases = {
      {{WsAction::Ready(kConnA), WsAction::Text(over)}, 23, 0, false},
      {{WsAction::Ready(kConnA), WsAction::Binary("b")}, 22, 0, false},
      {{WsAction::Ready(kConnA), WsAction::Text("{nope")}, 24, 0, false},
      {{WsAction::Ready(kConnA), WsAction::Text(R"({"type":1})")}, 25, 0, false},
      {{WsAction::Ready("0123456789ABCDEF0123456789abcdef")}, 26, 0, true},
      {{WsAction::Ready(kConnA, false)}, 26, 0, true},
      {{WsAction::Ready(kConnA), WsAction::Raw(std::string("\x81\x02\xC3\x28", 4))}, 20, 12152, false},
      {{WsAction::Ready(kConnA), WsAction::ResetMidMessage("{\"type\"")}, 20, 12030, false},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    quorix_test::WireRig rig(&slow_);
    auto& service = rig.service;
    auto& log = rig.log;
    auto& wire = rig.wire;
    const auto actions = cases[i].actions;
    service.ScriptWebSocket([actions](size_t) { return WsUpgrade{101, false, actions}; });
    ASSERT_TRUE(wire.Start(kUser, kToken));
    ASSERT_TRUE(quorix_test::WaitFor([&] { return log.Count("WIRE_CLOSED") >= 1; }, 10s)) << i;
    const auto closed = log.Events("WIRE_CLOSED");
    EXPECT_EQ(closed[0].n, cases[i].code) << i;
    EXPECT_EQ(closed[0].code, cases[i].detail) << i;
    if (cases[i].stops) {
      EXPECT_TRUE(quorix_test::WaitFor([&] { return log.Count("WIRE_AUTH_STOP") == 1; }, 5s)) << i;
    }
    wire.Stop();
  }
}

TEST_F(Live, EventsBeforeReadyReachTheRingButNotASnapshot) {
  const std::string friends = R"([{"user_id":"bob","online":true}])";
  PlanFirst({WsAction::Text(R"({"type":"call_incoming","n":1})"), WsAction::Text(Presence("1", friends)),
             WsAction::Ready(kConnA), WsAction::Text(Presence("2", friends))});
  ASSERT_TRUE(wire_.Start(kUser, kToken));
  std::vector<NetworkReply> got;
  ASSERT_TRUE(quorix_test::WaitFor(
      [&] {
        for (auto& r : Replies()) got.push_back(std::move(r));
        return got.size() >= 2 && wire_.GetFriendPresence("bob") == 2;
      },
      10s));
  ASSERT_EQ(got.size(), 2u);  // the snapshots never reach the ring
  EXPECT_EQ(got[0].body, R"({"type":"call_incoming","n":1})");
  EXPECT_NE(got[1].body.find("phone_ready_idle"), std::string::npos);
  EXPECT_EQ(wire_.GetPresenceStatus() & 3u, 3u);
  EXPECT_EQ(wire_.GetFriendPresence("carol"), 0);
}

TEST_F(Live, PresencePushAndPollWithAFakeClock) {
  platform::ManualClock clock;
  clock.Set(platform::TickCount64());
  platform::SetClockForTesting(&clock);
  const std::string friends = R"([{"user_id":"bob","online":true},{"user_id":"dan","online":false}])";
  PlanFirst({WsAction::Ready(kConnA), WsAction::Text(Presence("1", friends)), WsAction::WaitSignal(),
             WsAction::Text(Presence("2", friends))});
  ASSERT_TRUE(wire_.Start(kUser, kToken));
  ASSERT_TRUE(quorix_test::WaitFor([&] { return wire_.GetFriendPresence("bob") == 2; }, 10s));
  EXPECT_EQ(wire_.GetFriendPresence("dan"), 1);
  EXPECT_EQ(wire_.GetPresenceStatus() & 3u, 3u);
  EXPECT_FALSE(wire_.RequestPresence());  // the push is fresh
  clock.Advance(10000);
  EXPECT_EQ(wire_.GetFriendPresence("bob"), 0);
  EXPECT_EQ(wire_.GetPresenceStatus() & 3u, 2u);
  ScriptedReply held = ScriptedReply::Json(200, R"({"ok":true,"user_id":"user_a","schema_version":1,"friends":[]})");
  held.hold_until_released = true;
  service_.Script("GET", "/phone/v1/presence", held);
  ASSERT_TRUE(wire_.RequestPresence());
  EXPECT_FALSE(wire_.RequestPresence());  // one outstanding
  ASSERT_TRUE(quorix_test::WaitFor([&] { return service_.RequestsTo("/phone/v1/presence").size() == 1; }, 5s));
  service_.Signal();  // a push while the poll is out
  ASSERT_TRUE(quorix_test::WaitFor([&] { return wire_.GetFriendPresence("bob") == 2; }, 5s));
  service_.Release();
  ASSERT_TRUE(WaitLog("UI33_PRESENCE_RESULT", 1));
  const auto result = log_.Events("UI33_PRESENCE_RESULT");
  EXPECT_EQ(result[0].n, 0u);
  EXPECT_EQ(result[0].code, 200u);
  EXPECT_EQ(wire_.GetFriendPresence("bob"), 2);  // the late poll changed nothing

  clock.Advance(10000);
  service_.Script("GET", "/phone/v1/presence", ScriptedReply::Json(403, R"({"ok":false})"));
  ASSERT_TRUE(wire_.RequestPresence());
  ASSERT_TRUE(WaitLog("WIRE_AUTH_STOP", 1));
  ASSERT_TRUE(WaitLog("WIRE_CLOSED", 1));  // logged by the request thread, maybe after the stop
  platform::SetClockForTesting(nullptr);
  const auto closed = log_.Events("WIRE_CLOSED");
  ASSERT_EQ(closed.size(), 1u);
  EXPECT_EQ(closed[0].n, 32u);
  EXPECT_EQ(closed[0].code, 403u);
}

// Stop from each state: prompt, and nothing of it reaches the log or the ring.
TEST_F(Live, StopIsPromptFromEveryState) {
  enum class State { kBackOff, kReceive, kHeldMe, kHeldUpgrade };
  for (const State state : {State::kBackOff, State::kReceive, State::kHeldMe, State::kHeldUpgrade}) {
    quorix_test::WireRig rig(&slow_);
    auto& service = rig.service;
    auto& log = rig.log;
    auto& wire = rig.wire;
    std::function<bool()> reached;
    switch (state) {
      case State::kBackOff:
        service.Script("GET", "/phone/v1/capabilities", ScriptedReply::Json(500, "{}"));
        reached = [&] { return log.Count("WIRE_RETRY") == 1; };
        break;
      case State::kReceive:
        reached = [&] { return wire.IsConnected(); };
        break;
      case State::kHeldMe: {
        ScriptedReply held = ScriptedReply::Json(200, quorix_test::MeReply(kUser));
        held.hold_until_released = true;
        service.Script("GET", "/phone/v1/me", held);
        reached = [&] { return service.RequestsTo("/phone/v1/me").size() == 1; };
        break;
      }
      case State::kHeldUpgrade:
        service.ScriptWebSocket([](size_t) { return WsUpgrade{101, false, {}, true}; });
        reached = [&] { return service.upgrades() == 1; };
        break;
    }
    ASSERT_TRUE(wire.Start(kUser, kToken));
    ASSERT_TRUE(quorix_test::WaitFor(reached, 10s));
    const size_t closes_before = log.Count("WIRE_CLOSED");
    const size_t fails_before = log.Count("WIRE_STAGE_FAIL");
    const auto begin = Clock::now();
    wire.Stop();
    EXPECT_LT(Clock::now() - begin, 20s) << static_cast<int>(state);  // not the minute of back-off
    wire.Stop();
    EXPECT_EQ(log.Count("WIRE_CLOSED"), closes_before);
    EXPECT_EQ(log.Count("WIRE_STAGE_FAIL"), fails_before);
    EXPECT_EQ(log.Count("WIRE_AUTH_STOP"), 0u);
    NetworkReply reply;
    EXPECT_FALSE(wire.PollReply(&reply));
    EXPECT_FALSE(wire.IsConnected());
    service.Release();
  }
  // The inner scopes dropped the connect override and trust: set them again.
  quorix_test::ScopedIsolatedService again(service_);
  ASSERT_TRUE(wire_.Start(kUser, kToken));
  ASSERT_TRUE(quorix_test::WaitFor([&] { return wire_.IsConnected(); }, 10s));
  wire_.Stop();
  ASSERT_TRUE(wire_.Start(kUser, kToken));
  ASSERT_TRUE(quorix_test::WaitFor([&] { return wire_.IsConnected(); }, 10s));
}

TEST_F(Live, StartStopCyclesLeaveNoDescriptorOrThread) {
  auto cycle = [&] {
    ASSERT_TRUE(wire_.Start(kUser, kToken));
    ASSERT_TRUE(quorix_test::WaitFor([&] { return wire_.IsConnected(); }, 10s));
    wire_.Stop();
  };
  cycle();
  ASSERT_TRUE(quorix_test::WaitFor([&] { return service_.open_sessions() == 0; }, 5s));
  const size_t fds = quorix_test::CountDirectoryEntries("/proc/self/fd");
  const size_t tasks = quorix_test::CountDirectoryEntries("/proc/self/task");
  for (int i = 0; i < 10; ++i) cycle();
  // The service's session threads end after the client has gone.
  EXPECT_TRUE(quorix_test::WaitFor([&] { return quorix_test::CountDirectoryEntries("/proc/self/fd") <= fds; }, 10s));
  EXPECT_TRUE(quorix_test::WaitFor([&] { return quorix_test::CountDirectoryEntries("/proc/self/task") <= tasks; }, 10s));
  EXPECT_EQ(log_.Count("WIRE_CLOSED"), 0u);
}

TEST_F(Live, ChatRequestAnswered401EitherReturnsItOrFails) {
  ASSERT_TRUE(wire_.Start(kUser, kToken));
  ASSERT_TRUE(quorix_test::WaitFor([&] { return wire_.IsConnected(); }, 10s));
  service_.Script("POST", "/phone/v1/messages/ack", ScriptedReply::Json(401, R"({"ok":false})"));
  uint32_t status = 0;
  std::string body, connection;
  const bool ok = wire_.ExecuteMessagesRequest("POST", "/phone/v1/messages/ack", "{}", &status, &body, &connection);
  if (ok) {
    EXPECT_EQ(status, 401u);
  }
  // The connection thread may log its stop before the closing thread logs the close.
  ASSERT_TRUE(WaitLog("WIRE_AUTH_STOP", 1));
  ASSERT_TRUE(WaitLog("WIRE_CLOSED", 1));
  const auto closed = log_.Events("WIRE_CLOSED");
  ASSERT_EQ(closed.size(), 1u);
  EXPECT_EQ(closed[0].n, 33u);
  EXPECT_EQ(closed[0].code, 401u);
}

}  // namespace
