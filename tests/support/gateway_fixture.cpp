#include "gateway_fixture.h"

namespace quorix_test {

namespace {

const char kCapsBody[] =
    "{\"ok\":true,\"user_id\":\"alice\",\"can_start\":true,\"can_answer\":true,\"media_ready\":true,"
    "\"valid_for_seconds\":3}";

}  // namespace

quorix_phone::NetworkReply GatewayReply(uint32_t tag, uint32_t status, std::string body, std::string path,
                                        std::string key) {
  return quorix_phone::NetworkReply{tag, status, std::move(body), std::move(path), std::move(key)};
}

std::string GatewayCallPath(const std::string& suffix) { return "/phone/v1/calls/" + kGatewayCallId + suffix; }

std::string SignalPayload(const std::string& kind, const std::string& ufrag) {
  return "{\"sdp\":\"v=0\\r\\na=ice-ufrag:" + ufrag + "\\r\\n\",\"type\":\"" + kind + "\"}";
}

GatewayFixture::GatewayFixture() : gateway_(&session_, &network_, &media_, [this] { return now_; }) {
  platform::SetClockForTesting(&wall_);
  gateway_.Activate();
  gateway_.SetIdentity("alice", 7);
  session_.enabled = 1;
}

GatewayFixture::~GatewayFixture() { platform::SetClockForTesting(nullptr); }

void GatewayFixture::Pump(quorix_phone::NetworkReply reply) {
  network_.Push(std::move(reply));
  gateway_.Pump();
}

void GatewayFixture::Event(const std::string& body) { Pump(GatewayReply(0, 200, body)); }

void GatewayFixture::WorkerEvent(const std::string& line) {
  media_.events.push_back(line);
  gateway_.Pump();
}

std::string GatewayFixture::IceBody(const std::string& servers, bool relay, int64_t expires_in) const {
  return "{\"call_id\":\"" + kGatewayCallId + "\",\"expires_at\":" +
         std::to_string(platform::UtcUnixSeconds() + expires_in) + ",\"iceServers\":" + servers +
         ",\"mode\":\"" + (relay ? "relay" : "direct") + "\",\"ok\":true,\"relay_only\":" + (relay ? "true" : "false") + "}";
}

std::string GatewayFixture::DirectIceBody() const {
  return IceBody("[{\"urls\":\"stun:stun.example:3478\"}]", false);
}

std::string GatewayFixture::RelayIceBody() const {
  return IceBody("[{\"credential\":\"c\",\"urls\":[\"turn:t.example:3478\",\"turns:t.example:5349\"],\"username\":\"u\"}]",
                 true);
}

void GatewayFixture::PhoneSignal(const std::string& kind, const std::string& payload) {
  Event("{\"type\":\"phone_signal\",\"call_id\":\"" + kGatewayCallId + "\",\"from_user_id\":\"bob\",\"kind\":\"" + kind +
        "\",\"payload\":" + payload + "}");
}

void GatewayFixture::OutgoingWithId() {
  ASSERT_TRUE(session_.StartOutgoing("bob"));
  const std::string key = network_.Requests(8).back().key;
  Pump(GatewayReply(8, 200, kCapsBody, "/phone/v1/capabilities", key));
  Pump(GatewayReply(1, 200, "{\"ok\":true,\"call_id\":\"" + kGatewayCallId + "\"}", "/phone/v1/calls/start", key));
  ASSERT_EQ(session_.call_id, kGatewayCallId);
}

void GatewayFixture::Incoming() {
  Event("{\"type\":\"phone_invite\",\"call_id\":\"" + kGatewayCallId + "\",\"caller_id\":\"bob\"}");
  ASSERT_EQ(session_.state, ::CallSession::kIncoming);
}

void GatewayFixture::Answered() {
  Incoming();
  const size_t asked = network_.Requests(4).size();
  ASSERT_TRUE(session_.Answer());
  Pump(GatewayReply(2, 200, "{\"ok\":true}", GatewayCallPath("/answer")));
  ASSERT_EQ(network_.Requests(4).size(), asked + 1);
}

void GatewayFixture::OutgoingAccepted() {
  OutgoingWithId();
  const size_t asked = network_.Requests(4).size();
  Event("{\"type\":\"phone_answered\",\"call_id\":\"" + kGatewayCallId + "\"}");
  ASSERT_EQ(session_.state, ::CallSession::kConnecting);
  ASSERT_EQ(network_.Requests(4).size(), asked + 1);
}

void GatewayFixture::IceAccepted(bool outgoing) {
  if (outgoing) {
    OutgoingAccepted();
  } else {
    Answered();
  }
  const size_t sent = media_.commands.size();
  Pump(GatewayReply(4, 200, DirectIceBody(), GatewayCallPath("/ice")));
  ASSERT_TRUE(media_.running);
  ASSERT_EQ(media_.commands.size(), sent + 1);
}

void GatewayFixture::Configured(bool outgoing) {
  IceAccepted(outgoing);
  WorkerEvent("{\"event\":\"configured\"}");
  ASSERT_NE(session_.state, ::CallSession::kFailed);
}

void GatewayFixture::RelayRequested(bool outgoing) {
  Configured(outgoing);
  const size_t asked = network_.Requests(7).size();
  WorkerEvent("{\"event\":\"ice_failed\"}");
  ASSERT_EQ(network_.Requests(7).size(), asked + 1);
}

void GatewayFixture::RelayConfigured(bool outgoing) {
  RelayRequested(outgoing);
  Pump(GatewayReply(7, 200, RelayIceBody(), GatewayCallPath("/ice?mode=relay")));
  ASSERT_EQ(media_.commands.back().rfind("{\"cmd\":\"reconfigure_ice\"", 0), 0u);
  const size_t configured = log_.Count("RELAY_CONFIGURED");
  WorkerEvent("{\"event\":\"reconfigured\"}");
  ASSERT_EQ(log_.Count("RELAY_CONFIGURED"), configured + 1);
}

}  // namespace quorix_test
