#include "service_record.h"

#include <cctype>

namespace quorix_test {
namespace {

bool SameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

}  // namespace

std::string RecordedRequest::Header(std::string_view name) const {
  for (const auto& [n, v] : headers) {
    if (SameNoCase(n, name)) return v;
  }
  return {};
}

size_t RecordedRequest::HeaderCount(std::string_view name) const {
  size_t count = 0;
  for (const auto& header : headers) count += SameNoCase(header.first, name) ? 1 : 0;
  return count;
}

void ServiceRecord::AddRequest(RecordedRequest request) {
  std::lock_guard lock(mutex_);
  requests_.push_back(std::move(request));
}

void ServiceRecord::AddClientClose() {
  std::lock_guard lock(mutex_);
  ++client_closes_;
}

std::vector<RecordedRequest> ServiceRecord::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

size_t ServiceRecord::client_closes() const {
  std::lock_guard lock(mutex_);
  return client_closes_;
}

}  // namespace quorix_test
