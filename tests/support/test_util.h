#pragma once
// Small helpers for tests: temporary folders, child processes, waiting.
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace quorix_test {

// A fresh folder under the system's temp folder, removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& bytes);

// The permission bits (07777) of `path` itself, not of a link's target;
// 0xFFFFFFFF when it cannot be read.
unsigned FileMode(const std::filesystem::path& path);

// The number of entries in `folder` (for /proc/self/fd and /proc/self/task).
size_t CountDirectoryEntries(const std::filesystem::path& folder);

// The process ids of this process's children, zombies among them, read
// from /proc. A test compares them before and after a step, so that children
// an earlier test of the same binary left do not count.
std::set<pid_t> ChildProcesses();

// The build tree the tests were built in (where the programs, assets and
// tools they read lie), fixed at build time so that a test binary finds it
// from any working folder.
std::filesystem::path BuildDir();

// Polls `done` every 10 ms until it is true or `timeout` passed.
bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout);

// A child process with its standard output and error captured in files.
class ChildProcess {
 public:
  // `env` holds "NAME=VALUE" entries: the child's whole environment.
  static std::unique_ptr<ChildProcess> Start(const std::filesystem::path& exe, const std::vector<std::string>& args,
                                             const std::vector<std::string>& env);
  ~ChildProcess();  // kills and reaps a child still running

  pid_t pid() const { return pid_; }
  // The exit code, or 128 + signal number; nothing when still running after `timeout`.
  std::optional<int> WaitExit(std::chrono::milliseconds timeout);
  void Signal(int signal_number);
  std::string Stdout() const;
  std::string Stderr() const;

 private:
  ChildProcess() = default;
  pid_t pid_ = -1;
  bool reaped_ = false;
  int status_ = 0;
  std::unique_ptr<TempDir> io_dir_;
};

// Keeps the data-protection key in `folder` for the scope, then goes back to
// the folder set before (the test main's temporary one).
class ScopedKeyFolder {
 public:
  explicit ScopedKeyFolder(const std::filesystem::path& folder);
  ~ScopedKeyFolder();
  ScopedKeyFolder(const ScopedKeyFolder&) = delete;
  ScopedKeyFolder& operator=(const ScopedKeyFolder&) = delete;

 private:
  std::filesystem::path saved_;
};

}  // namespace quorix_test
