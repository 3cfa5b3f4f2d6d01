// The call gateway end to end: the real service connection against the
// loopback service in isolated mode, the real media worker client running the
// scripted fake worker, and the real call session, pumped every few
// milliseconds as the program's main loop does.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "event_log_capture.h"
#include "fake_media_worker.h"
#include "phone_service/call_session.h"
#include "phone_service/gateway.h"
#include "phone_service/windows_media.h"
#include "phone_service_fixture.h"
#include "test_util.h"

namespace quorix_phone {
namespace {

using namespace std::chrono_literals;
using quorix_test::WsAction;
using quorix_test::WsUpgrade;

const std::string kCallId = "00112233445566778899aabbccddeeff";
const std::string kCallPath = "/phone/v1/calls/" + kCallId;
const std::string kConfigure = R"(on "cmd":"setup" => {"event":"configured"})";

std::string Sdp(const std::string& kind, const std::string& ufrag) {
  return R"({"sdp":"v=0\r\na=ice-ufrag:)" + ufrag + R"(\r\n","type":")" + kind + "\"}";
}
// The same payload as the gateway writes it on: control bytes as \u00xx.
std::string Rewritten(const std::string& kind, const std::string& ufrag) {
  return R"({"sdp":"v=0\u000d\u000aa=ice-ufrag:)" + ufrag + R"(\u000d\u000a","type":")" + kind + "\"}";
}
std::string WorkerOffer(const std::string& ufrag) {
  return R"({"event":"signal","kind":"offer","payload":)" + Sdp("offer", ufrag) + "}";
}
std::string CallEvent(const std::string& type, const std::string& extra = "") {
  return R"({"type":")" + type + R"(","call_id":")" + kCallId + "\"" + extra + "}";
}
std::string PhoneSignal(const std::string& kind, const std::string& payload) {
  return CallEvent("phone_signal", R"(,"from_user_id":"bob","kind":")" + kind + R"(","payload":)" + payload);
}
const std::string kInvite = CallEvent("phone_invite", R"(,"caller_id":"bob")");

class GatewayEndToEnd : public ::testing::Test {
 protected:
  GatewayEndToEnd() : admission_(service_) {
    quorix_test::ScriptPhoneRoutes(service_);
    quorix_test::ScriptCallRoutes(service_, kCallId);
    service_.ScriptWebSocket(
        [](size_t) { return WsUpgrade{101, false, {WsAction::Ready(quorix_test::kConnectionA), WsAction::ServePushes()}}; });
    wire_.SetTimingForTesting(&timing_);
  }
  ~GatewayEndToEnd() override {
    gateway_.Shutdown();
    wire_.Stop();
  }

  // Connects and activates the gateway; the fake worker runs `steps` after
  // saying it is ready.
  void Begin(std::vector<std::string> steps) {
    steps.insert(steps.begin(), "say READY_IDLE");
    worker_.SetScript(steps);
    ASSERT_TRUE(wire_.Start(quorix_test::kPhoneUser, quorix_test::kPhoneToken));
    gateway_.Activate();
    gateway_.SetIdentity(quorix_test::kPhoneUser, 1);
    session_.enabled = 1;
    ASSERT_TRUE(Until([&] { return gateway_.IsReady(); }));
  }
  bool Until(const std::function<bool()>& done) {
    return quorix_test::WaitFor([&] { return gateway_.Pump(), done(); }, 30s);
  }
  bool UntilState(uint32_t state) { return Until([&] { return session_.state == state; }); }
  bool UntilLogged(const std::string& name) { return Until([&] { return log_.Count(name) > 0; }); }
  // The worker's record line that starts with `prefix`, waited for; its index.
  size_t UntilWorker(const std::string& prefix) {
    size_t at = SIZE_MAX;
    EXPECT_TRUE(Until([&] {
      const auto lines = worker_.Record();
      const auto it = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
      at = it == lines.end() ? SIZE_MAX : static_cast<size_t>(it - lines.begin());
      return it != lines.end();
    })) << prefix;
    return at;
  }
  void StartOutgoing() {
    ASSERT_TRUE(session_.StartOutgoing("bob"));
    ASSERT_TRUE(Until([&] { return session_.call_id == kCallId; }));
    service_.Push(CallEvent("phone_answered"));
  }
  bool WorkerGone(int pid) { return quorix_test::WaitFor([&] { return quorix_test::ProcessGone(pid); }, 20s); }

  quorix_test::LoopbackService service_;
  quorix_test::ScopedIsolatedService admission_;
  quorix_test::EventLogCapture log_;
  quorix_test::FakeMediaWorker worker_;
  quorix_test::RecordingTiming timing_;
  WindowsWire wire_;
  WindowsMedia media_;
  ::CallSession session_;
  Gateway gateway_{&session_, &wire_, &media_, nullptr};
};

TEST_F(GatewayEndToEnd, OutgoingCallConnectsMutesAndHangsUp) {
  Begin({kConfigure, R"(on "cmd":"offer" => )" + WorkerOffer("local"), R"(on "kind":"answer" => {"event":"ice_connected"})"});
  StartOutgoing();
  const auto starts = service_.RequestsTo("/phone/v1/calls/start");
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0].body, R"({"receiver_id":"bob"})");
  EXPECT_EQ(starts[0].Header("X-Quorix-Connection"), quorix_test::kConnectionA);
  ASSERT_TRUE(Until([&] { return !service_.ClientMessages().empty(); }));
  EXPECT_EQ(service_.ClientMessages()[0], R"({"type":"signal","call_id":")" + kCallId +
                                              R"(","kind":"offer","payload":)" + Rewritten("offer", "local") + "}");
  service_.Push(PhoneSignal("answer", Sdp("answer", "far")));
  ASSERT_TRUE(UntilState(CallSession::kConnected));
  ASSERT_TRUE(session_.SetMuted(true));
  const size_t mute = UntilWorker(R"(IN {"cmd":"mute","muted":true})");
  const size_t setup = UntilWorker(R"(IN {"cmd":"setup","iceServers":[{"urls":"stun:stun.test:3478"}],"expires_at":)");
  const size_t offer = UntilWorker(R"(IN {"cmd":"offer"})");
  const size_t remote = UntilWorker(R"(IN {"cmd":"remote","kind":"answer","payload":)" + Rewritten("answer", "far") + "}");
  EXPECT_LT(setup, offer);
  EXPECT_LT(offer, remote);
  EXPECT_LT(remote, mute);
  const int pid = static_cast<int>(media_.process.process_id);
  ASSERT_TRUE(session_.HangUp());
  ASSERT_TRUE(UntilState(CallSession::kIdle));
  EXPECT_EQ(service_.RequestsTo(kCallPath + "/end").size(), 1u);
  EXPECT_TRUE(WorkerGone(pid));
}

TEST_F(GatewayEndToEnd, IncomingOfferWaitsForTheWorkerAndShutdownStopsIt) {
  Begin({kConfigure});
  service_.Push(kInvite);
  ASSERT_TRUE(UntilState(CallSession::kIncoming));
  const size_t replies = log_.Count("GATEWAY_REPLY");
  service_.Push(PhoneSignal("offer", Sdp("offer", "caller")));  // before any worker runs
  ASSERT_TRUE(Until([&] { return log_.Count("GATEWAY_REPLY") > replies; }));
  ASSERT_TRUE(session_.Answer());
  const size_t remote = UntilWorker(R"(IN {"cmd":"remote","kind":"offer","payload":)" + Rewritten("offer", "caller") + "}");
  EXPECT_LT(UntilWorker(R"(IN {"cmd":"setup")"), remote);
  EXPECT_EQ(session_.state, CallSession::kConnecting);
  const int pid = static_cast<int>(media_.process.process_id);
  ASSERT_FALSE(quorix_test::ProcessGone(pid));
  gateway_.Shutdown();
  EXPECT_TRUE(WorkerGone(pid));
}

TEST_F(GatewayEndToEnd, OutgoingCallMovesToTheRelayAfterIceFails) {
  Begin({kConfigure, R"(on "cmd":"offer" => )" + WorkerOffer("local") + R"( || {"event":"ice_failed"})",
         R"(on "cmd":"reconfigure_ice" => {"event":"reconfigured"})",
         R"(on "cmd":"restart_ice" => )" + WorkerOffer("restart"),
         R"(on "kind":"answer" => {"event":"ice_connected"} || {"event":"route_relay"})"});
  StartOutgoing();
  ASSERT_TRUE(Until([&] { return service_.ClientMessages().size() >= 2; }));  // the first offer, then the restart
  EXPECT_NE(service_.ClientMessages()[1].find("a=ice-ufrag:restart"), std::string::npos);
  const auto ice = service_.RequestsTo(kCallPath + "/ice");
  ASSERT_EQ(ice.size(), 2u);
  EXPECT_EQ(ice[1].target, kCallPath + "/ice?mode=relay");
  UntilWorker(R"(IN {"cmd":"reconfigure_ice","iceServers":[{"credential":"c","urls":["turn:relay.test:3478"],"username":"u"}],)");
  ASSERT_EQ(log_.Events("RELAY_REQUESTED").size(), 1u);
  EXPECT_EQ(log_.Events("RELAY_REQUESTED")[0].code, 2u);
  service_.Push(PhoneSignal("answer", Sdp("answer", "relayed")));
  ASSERT_TRUE(UntilLogged("RELAY_CONNECTED"));
  EXPECT_EQ(session_.state, CallSession::kConnected);
}

TEST_F(GatewayEndToEnd, AMissingWorkerFailsTheCallAndTheServiceCleansUp) {
  Begin({});
  std::filesystem::remove(worker_.WorkerPath());
  service_.Push(kInvite);
  ASSERT_TRUE(UntilState(CallSession::kIncoming));
  ASSERT_TRUE(session_.Answer());
  ASSERT_TRUE(UntilState(CallSession::kFailed));
  ASSERT_EQ(log_.Events("WORKER_START_FAIL").size(), 1u);
  EXPECT_EQ(log_.Events("WORKER_START_FAIL")[0].code, 87u);
  ASSERT_TRUE(UntilLogged("CALL_FAILURE_CLEANUP_REPLY"));
  EXPECT_EQ(log_.Events("CALL_FAILURE_CLEANUP_REPLY")[0].n, 200u);
  EXPECT_EQ(log_.Events("CALL_FAILURE_CLEANUP_REPLY")[0].code, 1u);
  EXPECT_EQ(service_.RequestsTo(kCallPath + "/end").size(), 1u);
  EXPECT_EQ(gateway_.recovery_state, 0u);
  EXPECT_TRUE(gateway_.IsReady());
}

TEST_F(GatewayEndToEnd, AClosedConnectionFailsTheCallAndRecoversWhenReadyAgain) {
  service_.ScriptWebSocket([](size_t i) {
    if (i > 0) return WsUpgrade{101, false, {WsAction::Ready(quorix_test::kConnectionB), WsAction::ServePushes()}};
    return WsUpgrade{101, false,
                     {WsAction::Ready(quorix_test::kConnectionA), WsAction::Text(kInvite), WsAction::WaitSignal(),
                      WsAction::Close(1000)}};
  });
  Begin({});
  ASSERT_TRUE(UntilState(CallSession::kIncoming));
  service_.Signal();
  ASSERT_TRUE(UntilState(CallSession::kFailed));
  ASSERT_TRUE(UntilLogged("CALL_RECOVERY_READY"));
  EXPECT_TRUE(service_.RequestsTo(kCallPath + "/end").empty());
  EXPECT_EQ(session_.state, CallSession::kIdle);
  EXPECT_TRUE(gateway_.IsReady());
}

}  // namespace
}  // namespace quorix_phone
