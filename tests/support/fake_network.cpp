#include "fake_network.h"

namespace quorix_test {

bool FakeNetwork::Request(uint32_t tag, const std::string& method, const std::string& path,
                          const std::string& body) {
  calls.push_back({"Request", tag, method, path, body, "", 0});
  return accept_requests;
}

bool FakeNetwork::SendText(const std::string& text) {
  calls.push_back({"SendText", 0, "", "", text, "", 0});
  return accept_texts;
}

bool FakeNetwork::PollReply(quorix_phone::NetworkReply* out) {
  ++polls;
  if (replies.empty()) return false;
  *out = std::move(replies.front());
  replies.pop_front();
  return true;
}

bool FakeNetwork::RequestWithDeadline(uint32_t tag, const std::string& method, const std::string& path,
                                      const std::string& body, const std::string& key, uint32_t timeout_ms) {
  calls.push_back({"RequestWithDeadline", tag, method, path, body, key, timeout_ms});
  return accept_requests;
}

std::vector<FakeNetwork::Call> FakeNetwork::Requests(uint32_t tag) const {
  std::vector<Call> out;
  for (const Call& call : calls) {
    if (call.kind != "SendText" && call.tag == tag) out.push_back(call);
  }
  return out;
}

bool FakeMedia::Start() {
  ++starts;
  running = start_result;
  return start_result;
}

bool FakeMedia::SendCommand(const std::string& json) {
  commands.push_back(json);
  return command_result;
}

bool FakeMedia::PollEvent(std::string& json) {
  if (events.empty()) return false;
  json = std::move(events.front());
  events.pop_front();
  return true;
}

void FakeMedia::Stop() {
  ++stops;
  running = false;
}

}  // namespace quorix_test
