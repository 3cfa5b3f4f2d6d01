#pragma once
// A call gateway for phone tests: ready when told, every request answered
// with `accept` and counted.
#include <string>

#include "phone_service/call_gateway.h"

namespace quorix_test {

class FakeCallGateway final : public quorix_call::Gateway {
 public:
  bool IsReady() override { return ready; }
  bool StartCall(const std::string&) override { return Answer(); }
  bool CancelCall(const std::string&) override { return Answer(); }
  bool AnswerCall(const std::string&) override { return Answer(); }
  bool DeclineCall(const std::string&) override { return Answer(); }
  bool EndCall(const std::string&) override { return Answer(); }
  bool SetMuted(const std::string&, bool) override { return Answer(); }

  bool ready = true;
  bool accept = true;
  int requests = 0;

 private:
  bool Answer() {
    ++requests;
    return accept;
  }
};

}  // namespace quorix_test
