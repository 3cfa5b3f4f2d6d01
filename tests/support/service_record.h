#pragma once
// What the loopback test service saw, kept apart from the protocol that saw
// it: the requests in arrival order and the connections that clients closed.
// Written from the service thread, read from tests; every call is locked.
#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorix_test {

struct RecordedRequest {
  size_t connection = 0;  // index of the connection it came on
  std::string method;
  std::string target;  // raw, as sent
  std::vector<std::pair<std::string, std::string>> headers;  // in order
  std::string body;
  std::string server_name;  // TLS server name of its connection
  std::chrono::steady_clock::time_point at{};  // when it was read

  // The value of the first header of that name (any case); empty when none.
  std::string Header(std::string_view name) const;
  size_t HeaderCount(std::string_view name) const;
};

class ServiceRecord {
 public:
  void AddRequest(RecordedRequest request);
  void AddClientClose();

  std::vector<RecordedRequest> Requests() const;
  size_t client_closes() const;

 private:
  mutable std::mutex mutex_;
  std::vector<RecordedRequest> requests_;
  size_t client_closes_ = 0;
};

}  // namespace quorix_test
