#pragma once
// In-process stand-ins for the service connection and the media worker client
// the call gateway drives: every call is recorded with its arguments, results
// are scripted, and tests push the replies and worker lines to be polled.
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "phone_service/network.h"

namespace quorix_test {

class FakeNetwork final : public quorix_phone::Network {
 public:
  struct Call {
    std::string kind;  // "Request", "RequestWithDeadline" or "SendText"
    uint32_t tag = 0;
    std::string method;
    std::string path;
    std::string body;
    std::string key;
    uint32_t timeout_ms = 0;
  };

  bool IsConnected() override { return connected; }
  bool Request(uint32_t tag, const std::string& method, const std::string& path, const std::string& body) override;
  bool SendText(const std::string& text) override;
  bool PollReply(quorix_phone::NetworkReply* out) override;
  bool RequestWithDeadline(uint32_t tag, const std::string& method, const std::string& path, const std::string& body,
                           const std::string& key, uint32_t timeout_ms) override;

  // Queues a reply for PollReply.
  void Push(quorix_phone::NetworkReply reply) { replies.push_back(std::move(reply)); }
  // The requests with `tag` made so far.
  std::vector<Call> Requests(uint32_t tag) const;

  bool connected = true;
  bool accept_requests = true;
  bool accept_texts = true;
  std::vector<Call> calls;
  std::deque<quorix_phone::NetworkReply> replies;
  size_t polls = 0;
};

class FakeMedia final : public quorix_phone::Media {
 public:
  bool Start() override;
  bool SendCommand(const std::string& json) override;
  bool PollEvent(std::string& json) override;
  void Stop() override;

  bool start_result = true;
  bool command_result = true;
  bool running = false;
  int starts = 0;
  int stops = 0;
  std::vector<std::string> commands;
  std::deque<std::string> events;
};

}  // namespace quorix_test
