#pragma once
// The one way this program starts a child process (internal to the platform
// layer; `SpawnDetached` and `ProcessHandle` build on it).
#include <sys/types.h>

#include <string>
#include <vector>

namespace platform::internal {

// Starts the program at `path` (no PATH search, no shell) with `argv` (argv[0]
// included) and the environment table's snapshot, in our working folder and
// a session of its own, with an empty signal mask and default handling of the
// signals this program blocks or ignores. A non-empty `working_dir` is the
// child's working folder instead of ours. Child descriptor 0, 1 and 2 become
// `stdio[i]` of this process, or /dev/null where that is -1; every other
// descriptor is closed in the child. A program that cannot be executed
// (missing, a folder, no execute permission, not a program) is reported here
// and its child is already reaped: false, `*error` an errno value.
[[nodiscard]] bool SpawnChild(const std::string& path, const std::vector<std::string>& argv, const int (&stdio)[3],
                              pid_t* pid, int* error, const std::string& working_dir = {});

// Waits for `pid` on a detached thread, so the child never stays a zombie.
void ReapInBackground(pid_t pid);

}  // namespace platform::internal
