#pragma once
// A call gateway on the fake service connection and media worker, with a
// real call session, a test tick clock and a manual wall clock, and steps that
// walk it to a named phase of a call so tables start from there.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "event_log_capture.h"
#include "fake_network.h"
#include "phone_service/call_session.h"
#include "phone_service/gateway.h"
#include "platform/clock.h"

namespace quorix_test {

inline const std::string kGatewayCallId = "0123456789abcdef0123456789abcdef";
inline const std::string kGatewayOtherCallId = "fedcba9876543210fedcba9876543210";

quorix_phone::NetworkReply GatewayReply(uint32_t tag, uint32_t status, std::string body, std::string path = "",
                                        std::string key = "");
// "/phone/v1/calls/<kGatewayCallId><suffix>".
std::string GatewayCallPath(const std::string& suffix);
// An SDP payload of `kind` whose ICE user fragment is `ufrag`.
std::string SignalPayload(const std::string& kind, const std::string& ufrag);

class GatewayFixture : public ::testing::Test {
 protected:
  GatewayFixture();
  ~GatewayFixture() override;

  void Pump(quorix_phone::NetworkReply reply);
  void Event(const std::string& body);
  void WorkerEvent(const std::string& line);
  // The ICE reply body; `servers` is the "iceServers" array.
  std::string IceBody(const std::string& servers, bool relay, int64_t expires_in = 600) const;
  std::string DirectIceBody() const;
  std::string RelayIceBody() const;
  void PhoneSignal(const std::string& kind, const std::string& payload);

  // Phases.
  void OutgoingWithId();
  void Incoming();
  // Incoming call answered, ICE servers asked for.
  void Answered();
  // Outgoing call accepted by the callee, ICE servers asked for.
  void OutgoingAccepted();
  void IceAccepted(bool outgoing);
  void Configured(bool outgoing);
  void RelayRequested(bool outgoing);
  void RelayConfigured(bool outgoing);

  EventLogCapture log_;
  platform::ManualClock wall_;
  uint64_t now_ = 1000;
  FakeNetwork network_;
  FakeMedia media_;
  ::CallSession session_;
  quorix_phone::Gateway gateway_;
};

}  // namespace quorix_test
