// The call gateway's media negotiation: the ICE server reply, the worker's
// commands and events, signals both ways and the switch to the relay.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "core/json.h"
#include "gateway_fixture.h"

namespace quorix_phone {
namespace {

using quorix_test::GatewayCallPath;
using quorix_test::GatewayFixture;
using quorix_test::GatewayReply;
using quorix_test::kGatewayCallId;
using quorix_test::SignalPayload;

class GatewayMediaTest : public GatewayFixture {};

// A signal payload as the gateway writes it back: control bytes as \u00xx.
std::string Rewritten(const std::string& kind, const std::string& ufrag) {
  return "{\"sdp\":\"v=0\\u000d\\u000aa=ice-ufrag:" + ufrag + "\\u000d\\u000a\",\"type\":\"" + kind + "\"}";
}

TEST_F(GatewayMediaTest, IceReplyIsCheckedBeforeTheWorkerStarts) {
  const std::string stun = "[{\"urls\":\"stun:s.example\"}]";
  std::string nine = "[";
  for (int i = 0; i < 9; ++i) nine += std::string(i ? "," : "") + "{\"urls\":\"stun:s.example\"}";
  nine += "]";
  std::string thirteen = "[{\"urls\":[";
  for (int i = 0; i < 13; ++i) thirteen += std::string(i ? "," : "") + "\"stun:s.example\"";
  thirteen += "]}]";
  const std::string long_url = "[{\"urls\":\"stun:" + std::string(257 - 5, 'a') + "\"}]";
  struct Case {
    const char* name;
    std::string servers;
    int64_t expires_in;
    bool relay_mode;
    bool started;
  };
  const Case cases[] = {
      {"now + 30", stun, 30, false, true},
      {"now + 3600", stun, 3600, false, true},
      {"now + 29", stun, 29, false, false},
      {"now + 3601", stun, 3601, false, false},
      {"9 servers", nine, 600, false, false},
      {"13 urls", thirteen, 600, false, false},
      {"257-byte url", long_url, 600, false, false},
      {"username on a direct server", "[{\"urls\":\"stun:s.example\",\"username\":\"u\"}]", 600, false, false},
      {"capital scheme", "[{\"urls\":\"STUN:s.example\"}]", 600, false, false},
      {"turn on the direct path",
       "[{\"urls\":\"turn:t.example\",\"username\":\"u\",\"credential\":\"c\"}]", 600, false, false},
      {"relay mode on the direct request", stun, 600, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gateway_.Activate();
    session_.enabled = 1;
    media_.commands.clear();
    Answered();
    std::string body = IceBody(c.servers, false, c.expires_in);
    if (c.relay_mode) body.replace(body.find("\"direct\""), 8, "\"relay\"");
    Pump(GatewayReply(4, 200, body, GatewayCallPath("/ice")));
    EXPECT_EQ(media_.running, c.started);
    EXPECT_EQ(session_.state, c.started ? CallSession::kConnecting : CallSession::kFailed);
    if (c.started) {
      ASSERT_EQ(media_.commands.size(), 1u);
      EXPECT_EQ(media_.commands[0], "{\"cmd\":\"setup\",\"iceServers\":[{\"urls\":\"stun:s.example\"}],\"expires_at\":" +
                                        std::to_string(platform::UtcUnixSeconds() + c.expires_in) + "}");
    }
    session_.ForceReset();
  }
}

TEST_F(GatewayMediaTest, RelayReplyNeedsTurnAlone) {
  struct Case {
    const char* name;
    std::string servers;
    bool configured;
  };
  const Case cases[] = {
      {"turn and turns", "[{\"credential\":\"c\",\"urls\":[\"turn:t\",\"turns:t\"],\"username\":\"u\"}]", true},
      {"stun beside turn", "[{\"credential\":\"c\",\"urls\":[\"turn:t\",\"stun:s\"],\"username\":\"u\"}]", false},
      {"turn without credential", "[{\"urls\":\"turn:t\",\"username\":\"u\"}]", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gateway_.Activate();
    session_.enabled = 1;
    RelayRequested(true);
    Pump(GatewayReply(7, 200, IceBody(c.servers, true), GatewayCallPath("/ice?mode=relay")));
    EXPECT_EQ(media_.commands.back().rfind("{\"cmd\":\"reconfigure_ice\"", 0) == 0, c.configured);
    EXPECT_EQ(session_.state == CallSession::kFailed, !c.configured);
    session_.ForceReset();
  }
}

TEST_F(GatewayMediaTest, OutgoingCallConnectsDirectly) {
  Configured(true);
  EXPECT_EQ(media_.commands.back(), "{\"cmd\":\"offer\"}");
  // A candidate from the far side before its description waits for it.
  const std::string candidate = "{\"candidate\":\"candidate:1 1 udp 1 10.0.0.1 9 typ host\",\"sdpMid\":\"0\"}";
  PhoneSignal("ice", candidate);
  const size_t before = media_.commands.size();
  WorkerEvent("{\"event\":\"signal\",\"kind\":\"offer\",\"payload\":" + SignalPayload("offer", "local") + "}");
  ASSERT_EQ(network_.calls.back().kind, "SendText");
  EXPECT_EQ(network_.calls.back().body, "{\"type\":\"signal\",\"call_id\":\"" + kGatewayCallId +
                                            "\",\"kind\":\"offer\",\"payload\":" + Rewritten("offer", "local") + "}");
  PhoneSignal("answer", SignalPayload("answer", "far"));
  PhoneSignal("answer", SignalPayload("answer", "far"));  // the same answer again is applied once
  ASSERT_EQ(media_.commands.size(), before + 2);
  EXPECT_EQ(media_.commands[before], "{\"cmd\":\"remote\",\"kind\":\"answer\",\"payload\":" +
                                         Rewritten("answer", "far") + "}");
  EXPECT_EQ(media_.commands[before + 1], "{\"cmd\":\"remote\",\"kind\":\"ice\",\"payload\":" + candidate + "}");
  WorkerEvent("{\"event\":\"ice_connected\"}");
  EXPECT_EQ(session_.state, CallSession::kConnected);
  ASSERT_TRUE(session_.SetMuted(true));
  EXPECT_EQ(media_.commands.back(), "{\"cmd\":\"mute\",\"muted\":true}");
  ASSERT_TRUE(session_.HangUp());
  Pump(GatewayReply(3, 200, "{\"ok\":true}", GatewayCallPath("/end")));
  EXPECT_EQ(session_.state, CallSession::kIdle);
  EXPECT_FALSE(media_.running);
}

TEST_F(GatewayMediaTest, IncomingOfferWaitsForTheWorkerAndRepeatsAreHandledOnce) {
  IceAccepted(false);
  PhoneSignal("offer", SignalPayload("offer", "caller"));
  EXPECT_EQ(media_.commands.size(), 1u);  // only the setup: the offer is held
  WorkerEvent("{\"event\":\"configured\"}");
  ASSERT_EQ(media_.commands.size(), 2u);
  EXPECT_EQ(media_.commands[1], "{\"cmd\":\"remote\",\"kind\":\"offer\",\"payload\":" +
                                    Rewritten("offer", "caller") + "}");
  WorkerEvent("{\"event\":\"reconfigured\"}");  // no relay: ignored
  EXPECT_EQ(session_.state, CallSession::kConnecting);
  WorkerEvent("{\"event\":\"configured\"}");  // a second one fails the call
  EXPECT_EQ(session_.state, CallSession::kFailed);
  EXPECT_FALSE(media_.running);
}

TEST_F(GatewayMediaTest, The33rdWaitingCandidateFailsTheCall) {
  Answered();
  for (int i = 0; i < 32; ++i) PhoneSignal("ice", "{\"candidate\":\"c" + std::to_string(i) + "\"}");
  EXPECT_EQ(session_.state, CallSession::kConnecting);
  PhoneSignal("ice", "{\"candidate\":\"c32\"}");
  EXPECT_EQ(session_.state, CallSession::kFailed);
  EXPECT_EQ(gateway_.recovery_state, 1u);
}

TEST_F(GatewayMediaTest, SignalsAreCheckedStrictly) {
  struct Case {
    const char* name;
    std::string kind;
    std::string payload;
    bool ok;
  };
  const Case cases[] = {
      {"index 256", "ice", "{\"candidate\":\"c\",\"sdpMLineIndex\":256}", true},
      {"index 257", "ice", "{\"candidate\":\"c\",\"sdpMLineIndex\":257}", false},
      {"index 1.5", "ice", "{\"candidate\":\"c\",\"sdpMLineIndex\":1.5}", false},
      {"null mid", "ice", "{\"candidate\":\"c\",\"sdpMid\":null}", true},
      {"other member", "ice", "{\"candidate\":\"c\",\"usernameFragment\":\"x\"}", false},
      {"no candidate", "ice", "{\"sdpMid\":\"0\"}", false},
      {"sdp 131072", "offer", "{\"sdp\":\"v=0" + std::string(131072 - 3, 'x') + "\",\"type\":\"offer\"}", true},
      {"sdp 131073", "offer", "{\"sdp\":\"v=0" + std::string(131073 - 3, 'x') + "\",\"type\":\"offer\"}", false},
      {"not v=0", "offer", "{\"sdp\":\"v=1\",\"type\":\"offer\"}", false},
      {"type mismatch", "answer", "{\"sdp\":\"v=0\",\"type\":\"offer\"}", false},
      {"unknown kind", "bye", "{}", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    JsonValue payload;
    ASSERT_TRUE(ParseJson(c.payload, payload));
    EXPECT_EQ(IsValidSignal(c.kind, payload), c.ok);
  }
  EXPECT_EQ(ExtractIceUfrag(SignalPayload("offer", "abc")), "abc");
  EXPECT_EQ(ExtractIceUfrag("{\"sdp\":\"v=0 a=ice-ufrag:mid\\na=ice-ufrag:late\"}"), "");
  EXPECT_EQ(ExtractIceUfrag("{\"sdp\":\"a=ice-ufrag:" + std::string(257, 'u') + "\"}"), "");
}

TEST_F(GatewayMediaTest, RelayIsRequestedForEachReason) {
  struct Case {
    const char* name;
    uint64_t reason;
  };
  const Case cases[] = {{"no connection in 12000 ms", 1},
                        {"ice failed", 2},
                        {"disconnected for 2000 ms", 3},
                        {"service asked", 4},
                        {"caller restarted", 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    quorix_test::EventLogCapture log;
    gateway_.Activate();
    session_.enabled = 1;
    Configured(c.reason != 5 && c.reason != 3);
    switch (c.reason) {
      case 1:
        WorkerEvent("{\"event\":\"signal\",\"kind\":\"offer\",\"payload\":" + SignalPayload("offer", "l") + "}");
        now_ += 11999;
        gateway_.Pump();
        EXPECT_EQ(log.Count("RELAY_REQUESTED"), 0u);
        now_ += 1;
        gateway_.Pump();
        break;
      case 2:
        WorkerEvent("{\"event\":\"ice_failed\"}");
        break;
      case 3:
        WorkerEvent("{\"event\":\"ice_disconnected\"}");
        now_ += 1999;
        WorkerEvent("{\"event\":\"ice_connected\"}");
        now_ += 1;
        gateway_.Pump();
        EXPECT_EQ(log.Count("RELAY_REQUESTED"), 0u);
        WorkerEvent("{\"event\":\"ice_disconnected\"}");
        now_ += 2000;
        gateway_.Pump();
        break;
      case 4:
        Event("{\"type\":\"phone_relay_requested\",\"call_id\":\"" + kGatewayCallId + "\"}");
        break;
      case 5:
        PhoneSignal("offer", SignalPayload("offer", "first"));
        PhoneSignal("offer", SignalPayload("offer", "second"));
        break;
    }
    const auto requested = log.Events("RELAY_REQUESTED");
    ASSERT_EQ(requested.size(), 1u);
    EXPECT_EQ(requested[0].code, c.reason);
    EXPECT_EQ(network_.Requests(7).back().path, GatewayCallPath("/ice?mode=relay"));
    session_.ForceReset();
  }
}

TEST_F(GatewayMediaTest, OutgoingCallSwitchesToTheRelay) {
  RelayConfigured(true);
  EXPECT_EQ(media_.commands.back(), "{\"cmd\":\"restart_ice\"}");
  WorkerEvent("{\"event\":\"ice_failed\"}");  // before the relay connects: the deadline decides
  EXPECT_EQ(session_.state, CallSession::kConnecting);
  WorkerEvent("{\"event\":\"signal\",\"kind\":\"offer\",\"payload\":" + SignalPayload("offer", "restart") + "}");
  EXPECT_EQ(network_.calls.back().kind, "SendText");
  PhoneSignal("answer", SignalPayload("answer", "relayed"));
  EXPECT_EQ(media_.commands.back(), "{\"cmd\":\"remote\",\"kind\":\"answer\",\"payload\":" +
                                        Rewritten("answer", "relayed") + "}");
  WorkerEvent("{\"event\":\"ice_connected\"}");
  WorkerEvent("{\"event\":\"route_relay\"}");
  EXPECT_EQ(log_.Count("RELAY_CONNECTED"), 1u);
  EXPECT_EQ(session_.state, CallSession::kConnected);
  WorkerEvent("{\"event\":\"ice_failed\"}");
  EXPECT_EQ(session_.state, CallSession::kFailed);
  EXPECT_FALSE(media_.running);
}

TEST_F(GatewayMediaTest, TheRelayGets25000Ms) {
  RelayConfigured(false);
  now_ += 24999;
  gateway_.Pump();
  EXPECT_EQ(session_.state, CallSession::kConnecting);
  now_ += 1;
  gateway_.Pump();
  EXPECT_EQ(session_.state, CallSession::kFailed);
}

TEST_F(GatewayMediaTest, WorkerErrorsAreNumberedAndFailTheCall) {
  Configured(true);
  WorkerEvent("{\"event\":\"mute_applied\"}");
  EXPECT_EQ(log_.Count("MUTE_APPLIED"), 1u);
  WorkerEvent("{\"event\":\"error\",\"reason\":\"worker_setup_timeout\"}");
  ASSERT_EQ(log_.Count("WORKER_ERROR_CODE"), 1u);
  EXPECT_EQ(log_.Events("WORKER_ERROR_CODE")[0].n, 19u);
  EXPECT_EQ(session_.state, CallSession::kFailed);
  EXPECT_FALSE(media_.running);
}

}  // namespace
}  // namespace quorix_phone
