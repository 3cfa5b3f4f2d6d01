#include "platform/test_hooks.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>
#include <utility>

#include "platform/test_hook_state.h"

namespace platform {
namespace {

struct HookState {
  std::mutex mutex;
  std::map<std::pair<std::string, uint16_t>, uint16_t> overrides;
  std::string trust_pem;
  std::filesystem::path key_folder;
  bool fail_handle = false;
  bool fail_request = false;
  bool fail_redirect = false;
  bool fail_random = false;
  std::string fail_header;  // lower-case name; empty: none
};

HookState& State() {
  static HookState* const state = new HookState;
  return *state;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool Take(bool HookState::*flag) {
  HookState& s = State();
  std::lock_guard lock(s.mutex);
  return std::exchange(s.*flag, false);
}

}  // namespace

namespace testing {

void SetConnectOverride(const std::string& host, uint16_t port, uint16_t loopback_port) {
  HookState& s = State();
  std::lock_guard lock(s.mutex);
  s.overrides[{host, port}] = loopback_port;
}

void ClearConnectOverrides() {
  HookState& s = State();
  std::lock_guard lock(s.mutex);
  s.overrides.clear();
}

void SetTrustAnchorsPem(const std::string& pem) {
  HookState& s = State();
  std::lock_guard lock(s.mutex);
  s.trust_pem = pem;
}

void SetDataProtectionKeyFolder(const std::filesystem::path& folder) {
  HookState& s = State();
  std::lock_guard lock(s.mutex);
  s.key_folder = folder;
}

std::filesystem::path GetDataProtectionKeyFolder() { return hooks::DataProtectionKeyFolder(); }

void FailNext(FailStep step, std::string_view header) {
  HookState& s = State();
  std::lock_guard lock(s.mutex);
  switch (step) {
    case FailStep::kHandle: s.fail_handle = true; break;
    case FailStep::kRequest: s.fail_request = true; break;
    case FailStep::kRedirectPolicy: s.fail_redirect = true; break;
    case FailStep::kHeader: s.fail_header = Lower(header); break;
    case FailStep::kRandomSource: s.fail_random = true; break;
  }
}

void ClearFailures() {
  HookState& s = State();
  std::lock_guard lock(s.mutex);
  s.fail_handle = s.fail_request = s.fail_redirect = s.fail_random = false;
  s.fail_header.clear();
}

}  // namespace testing

namespace hooks {

std::vector<std::string> ConnectOverrides() {
  HookState& s = State();
  std::lock_guard lock(s.mutex);
  std::vector<std::string> out;
  for (const auto& [key, loopback] : s.overrides) {
    out.push_back(key.first + ":" + std::to_string(key.second) + ":127.0.0.1:" + std::to_string(loopback));
  }
  return out;
}

uint16_t ConnectOverrideFor(const std::string& host, uint16_t port) {
  HookState& s = State();
  std::lock_guard lock(s.mutex);
  const auto it = s.overrides.find({host, port});
  return it == s.overrides.end() ? 0 : it->second;
}

std::string TrustAnchorsPem() {
  HookState& s = State();
  std::lock_guard lock(s.mutex);
  return s.trust_pem;
}

std::filesystem::path DataProtectionKeyFolder() {
  HookState& s = State();
  std::lock_guard lock(s.mutex);
  return s.key_folder;
}

bool TakeHandleFailure() { return Take(&HookState::fail_handle); }
bool TakeRequestFailure() { return Take(&HookState::fail_request); }
bool TakeRedirectPolicyFailure() { return Take(&HookState::fail_redirect); }
bool TakeRandomSourceFailure() { return Take(&HookState::fail_random); }

bool TakeHeaderFailure(std::string_view header_line) {
  HookState& s = State();
  std::lock_guard lock(s.mutex);
  if (s.fail_header.empty()) return false;
  const auto colon = header_line.find(':');
  if (Lower(header_line.substr(0, colon)) != s.fail_header) return false;
  s.fail_header.clear();
  return true;
}

}  // namespace hooks
}  // namespace platform
