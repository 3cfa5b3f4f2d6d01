#pragma once
// One child process of this program: started, asked for its exit code
// without waiting or waited for with a bound, signalled, and never left a
// zombie.
//
// The child gets argv {path, args...}, the environment table's snapshot, our
// working folder and a session of its own; its standard streams are pipes to
// this process where asked for, else /dev/null; no other descriptor of ours
// reaches it (see platform/child_spawn.h).
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/unique_fd.h"

namespace platform {

// Which standard streams of the child are pipes to this process.
struct ChildPipes {
  bool stdin_pipe = false;
  bool stdout_pipe = false;
  bool stderr_pipe = false;
};

class ProcessHandle {
 public:
  // What ExitCode reports while the child runs (Windows' STILL_ACTIVE). Exit
  // codes here are 0..255, so no child can report it.
  static constexpr int kStillActive = 259;

  ProcessHandle() = default;
  // Closes the pipe ends. A child that still runs is handed to a background
  // reaper and left running; an ended one was reaped already.
  ~ProcessHandle();
  ProcessHandle(ProcessHandle&& other) noexcept;
  ProcessHandle& operator=(ProcessHandle&& other) noexcept;
  ProcessHandle(const ProcessHandle&) = delete;
  ProcessHandle& operator=(const ProcessHandle&) = delete;

  // Starts `path` (used as it stands: no PATH search). False, with nothing
  // left behind, when it cannot be started (missing, a folder, no execute
  // permission, not a program) or the handle already holds a child; `error`
  // (when given) gets the errno value. A non-empty `working_dir` is the
  // child's working folder (a missing one fails the start).
  [[nodiscard]] bool Start(const std::filesystem::path& path, const std::vector<std::string>& args,
                           ChildPipes pipes = {}, int* error = nullptr,
                           const std::filesystem::path& working_dir = {});

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }

  // Without waiting: kStillActive while the child runs, else its exit status,
  // or 128 + the signal that ended it. The result is kept once read. False
  // when no child is held or its state cannot be read (it was reaped
  // elsewhere).
  [[nodiscard]] bool ExitCode(int* code);

  // Waits at most `timeout` for the child to end (on a pidfd, without
  // polling): true with the code as ExitCode gives it; false when it still
  // runs then, or ExitCode fails.
  [[nodiscard]] bool Wait(std::chrono::milliseconds timeout, int* code);

  // Sends `signal` to the child unless it is known to have ended or been
  // reaped elsewhere. True when the signal was sent.
  [[nodiscard]] bool Terminate(int signal);

  // Ends the child as Windows' TerminateProcess does: SIGKILL, reaped here,
  // and `exit_code` is what ExitCode reports from then on. False (nothing
  // changed) when no child is held or it was already reaped.
  [[nodiscard]] bool TerminateWithCode(int exit_code);

  // The parent's ends of the pipes asked for at the start, else -1. They
  // stay owned by the handle; Close* closes one early (an end of input).
  int stdin_fd() const { return fds_[0].get(); }
  int stdout_fd() const { return fds_[1].get(); }
  int stderr_fd() const { return fds_[2].get(); }
  void CloseStdin() { CloseFd(0); }

 private:
  void CloseFd(int index);
  void Reset();

  pid_t pid_ = -1;
  bool ended_ = false;  // reaped by us; `code_` holds the result
  bool lost_ = false;   // reaped elsewhere: the state cannot be read
  int code_ = 0;
  UniqueFd fds_[3];
};

}  // namespace platform
