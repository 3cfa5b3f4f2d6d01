#pragma once
// The state of the history store's test hooks as the store reads it. Set only
// through chat/history_store_test_hooks.h, which only tests include; every
// value is inert until a test sets it.
#include <cstddef>
#include <optional>
#include <string>

namespace quorix_history {

namespace test_hooks::detail {
// Read by the store.
void CrashPoint(const char* where, size_t count);
int BusyTimeout(int normal);
bool OverridesNonce();
std::optional<std::string> GenerateNonce();
bool Sha256Fails();
bool TakeFileDigestFailure();
bool TakeRollbackFailure();
}  // namespace test_hooks::detail

}  // namespace quorix_history
