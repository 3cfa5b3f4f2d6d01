#pragma once
// What the test hooks have set, as the platform code reads it. Without a test
// having called into platform/test_hooks.h everything here is empty.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace platform::hooks {

// "host:port:127.0.0.1:loopback_port" entries for the connect override.
std::vector<std::string> ConnectOverrides();
// The loopback port that `host`:`port` goes to; 0 when none.
uint16_t ConnectOverrideFor(const std::string& host, uint16_t port);

// Trust anchors that replace the system store; empty when none.
std::string TrustAnchorsPem();

// The key folder set by a test; empty when none.
std::filesystem::path DataProtectionKeyFolder();

// True (once) when a test asked this step to fail.
[[nodiscard]] bool TakeHandleFailure();
[[nodiscard]] bool TakeRequestFailure();
[[nodiscard]] bool TakeRedirectPolicyFailure();
[[nodiscard]] bool TakeHeaderFailure(std::string_view header_line);
[[nodiscard]] bool TakeRandomSourceFailure();

}  // namespace platform::hooks
