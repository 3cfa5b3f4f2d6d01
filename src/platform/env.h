#pragma once
// The process environment, as one mutex-guarded table.
//
// glibc's getenv/setenv are not safe to call while another thread writes the
// environment, and the event log reads a variable on every call from any
// thread. So the program never touches `environ` after start: the table is
// filled from it once, every read and write of our code goes through it, and
// child processes are started with its snapshot.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::env {

// Which copy of the environment a write is meant for. Both copies are this
// one table; the distinction exists only so that tests can make the write of
// one of them fail.
enum class Layer { kRuntime, kProcess };

// Value of `name` (UTF-8 bytes), or nothing when unset.
std::optional<std::string> Get(std::string_view name);

// Sets `name` to `value`. False when the name is empty or holds '=' or NUL,
// when the value holds NUL, or when a test fault refuses the write.
[[nodiscard]] bool Set(std::string_view name, std::string_view value, Layer layer = Layer::kProcess);

// Removes `name`. Removing an unset variable succeeds. False for an invalid
// name or when a test fault refuses the write.
[[nodiscard]] bool Unset(std::string_view name, Layer layer = Layer::kProcess);

// "NAME=VALUE" entries, sorted by name, for a child process.
std::vector<std::string> Snapshot();

// Test hook: called before every write with the layer and the name; returning
// false makes that write fail without changing the table. Empty clears it.
void SetWriteFaultForTesting(std::function<bool(Layer, std::string_view name)> allow);

}  // namespace platform::env
