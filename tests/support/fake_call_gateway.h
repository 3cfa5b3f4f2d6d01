#pragma once
// A call gateway for phone tests: ready when told; it takes every request.
#include <string>

#include "phone_service/call_gateway.h"

namespace quorix_test {

class FakeCallGateway final : public quorix_call::Gateway {
 public:
  bool IsReady() override { return ready; }
  bool StartCall(const std::string&) override { return true; }
  bool CancelCall(const std::string&) override { return true; }
  bool AnswerCall(const std::string&) override { return true; }
  bool DeclineCall(const std::string&) override { return true; }
  bool EndCall(const std::string&) override { return true; }
  bool SetMuted(const std::string&, bool) override { return true; }

  bool ready = true;
};

}  // namespace quorix_test
