#pragma once
// Starting a program detached from this one, and opening an address with the
// desktop's handler.
#include <functional>
#include <string>
#include <vector>

namespace platform {

// Starts `program` with `args` (argv[1..]) and the environment table's
// snapshot, in a session of its own, with its standard streams on /dev/null
// and default signal handling. A name without "/" is looked up in the PATH of
// the environment table. No shell takes part. The child is reaped by a
// background thread once it exits; the caller never waits. True when the
// program started.
[[nodiscard]] bool SpawnDetached(const std::string& program, const std::vector<std::string>& args);

// Replaces the real spawner (empty restores it).
using DetachedSpawner = std::function<bool(const std::string& program, const std::vector<std::string>& args)>;
void SetDetachedSpawnerForTesting(DetachedSpawner spawner);

// Hands `target` to the desktop's opener ("xdg-open", with `target` as its
// only argument) through the current spawner. True when the opener started;
// which handler it then picks is its own business.
[[nodiscard]] bool ShellOpen(const std::string& target);

}  // namespace platform
