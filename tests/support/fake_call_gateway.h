#pragma once
// A recording call gateway with scripted answers, for tests that drive the
// real CallSession: every request is logged in order with its argument.
#include <string>
#include <vector>

#include "phone_service/call_gateway.h"
#include "phone_service/call_session.h"

namespace quorix_test {

class FakeCallGateway final : public quorix_call::Gateway {
 public:
  bool IsReady() override { return ready; }
  bool StartCall(const std::string& peer_id) override { return Record("StartCall", peer_id); }
  bool CancelCall(const std::string& peer_id) override { return Record("CancelCall", peer_id); }
  bool AnswerCall(const std::string& call_id) override { return Record("AnswerCall", call_id); }
  bool DeclineCall(const std::string& call_id) override { return Record("DeclineCall", call_id); }
  bool EndCall(const std::string& call_id) override { return Record("EndCall", call_id); }
  bool SetMuted(const std::string& call_id, bool muted) override {
    return Record("SetMuted", call_id + (muted ? ",true" : ",false"));
  }

  // "StartCall(bob)", "SetMuted(call-1,true)", ...
  std::vector<std::string> calls;
  bool ready = true;
  bool result = true;  // the answer of every request

 private:
  bool Record(const char* name, const std::string& argument) {
    calls.push_back(std::string(name) + "(" + argument + ")");
    return result;
  }
};

// Enables `session` on `gateway` and brings it to `state` with `peer` through
// its own requests and events (call id "call-1"); the gateway's log is then
// cleared. False when the session refused a step.
bool DriveCallTo(CallSession& session, FakeCallGateway& gateway, uint32_t state, const std::string& peer);

}  // namespace quorix_test
