#pragma once
// A started service connection against the loopback service: the default
// phone routes, a recording back-off seam, the event log in a temporary file.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "event_log_capture.h"
#include "loopback_service.h"
#include "phone_service/windows_wire.h"
#include "service_admission.h"

namespace quorix_test {

inline constexpr char kPhoneUser[] = "user_a";
inline constexpr char kPhoneToken[] = "tok_phone-123";
inline constexpr char kConnectionA[] = "0123456789abcdef0123456789abcdef";
inline constexpr char kConnectionB[] = "fedcba9876543210fedcba9876543210";

// "/phone/v1/me" for `user_id` with an active session.
std::string MeReply(const std::string& user_id, bool active = true);

// "/phone/v1/capabilities" for `user_id`: what both the connection's set-up
// and a call's start need (media ready, calls allowed for 5 s).
std::string CapabilitiesReply(const std::string& user_id);

// me, capabilities, presence (an empty snapshot), messages send/ack/inbox,
// calls/start, and a WebSocket that sends the ready event for kConnectionA
// and then waits for the client to go.
void ScriptPhoneRoutes(LoopbackService& service, const std::string& user_id = kPhoneUser);

// The routes of the call `call_id`: start gives it out, answer and end say ok,
// and ICE answers by its query: STUN servers, or with "mode=relay" a TURN
// relay, either valid for ten minutes of real time.
void ScriptCallRoutes(LoopbackService& service, const std::string& call_id);

struct HoldBackoff {};

// Records every back-off delay and waits at most `cap` of it (still waking
// on stop or closing). Built with HoldBackoff, it waits for the stop or the
// close alone (a minute at most), so no reconnect happens within a test
// however slow the machine is.
class RecordingTiming final : public quorix_phone::WireTiming {
 public:
  explicit RecordingTiming(std::chrono::milliseconds cap = std::chrono::milliseconds(20)) : cap_(cap) {}
  explicit RecordingTiming(HoldBackoff) : cap_(std::chrono::minutes(1)), hold_(true) {}
  void WaitBackoff(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, uint32_t delay_ms,
                   const std::function<bool()>& wake) override;
  std::vector<uint32_t> delays() const;

 private:
  std::chrono::milliseconds cap_;
  bool hold_ = false;
  mutable std::mutex mutex_;
  std::vector<uint32_t> delays_;
};

// Everything in the ring now, oldest first.
std::vector<quorix_phone::NetworkReply> DrainReplies(quorix_phone::WindowsWire& wire);

// A loopback service with the phone routes, admitted in isolated mode, the
// event log in a temporary file and a wire of its own: one case of a table
// that needs everything fresh.
struct WireRig {
  explicit WireRig(quorix_phone::WireTiming* timing) : admission(service) {
    ScriptPhoneRoutes(service);
    wire.SetTimingForTesting(timing);
  }
  ~WireRig() { wire.Stop(); }

  LoopbackService service;
  ScopedIsolatedService admission;
  EventLogCapture log;
  quorix_phone::WindowsWire wire;  // stops first
};

// The fixture of the wire tests: the same pieces, with a short back-off
// (`timing_`) set and one that holds (`slow_`) at hand.
class WireTest : public ::testing::Test {
 protected:
  WireTest() : admission_(service_) {
    ScriptPhoneRoutes(service_);
    wire_.SetTimingForTesting(&timing_);
  }
  ~WireTest() override { wire_.Stop(); }

  bool WaitLog(const std::string& name, size_t count) {
    return WaitFor([&] { return log_.Count(name) >= count; }, std::chrono::seconds(10));
  }
  // Collects replies until `count` have come (or ten seconds passed).
  std::vector<quorix_phone::NetworkReply> WaitReplies(size_t count);

  LoopbackService service_;
  ScopedIsolatedService admission_;
  EventLogCapture log_;
  RecordingTiming timing_;
  RecordingTiming slow_{HoldBackoff{}};
  quorix_phone::WindowsWire wire_;  // stops first
};

}  // namespace quorix_test
