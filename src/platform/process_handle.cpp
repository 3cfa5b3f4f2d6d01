#include "platform/process_handle.h"

#include <fcntl.h>
#include <signal.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>
#include <utility>

#include "platform/child_spawn.h"
#include "platform/unique_fd.h"

namespace platform {

ProcessHandle::~ProcessHandle() { Reset(); }

ProcessHandle::ProcessHandle(ProcessHandle&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      ended_(std::exchange(other.ended_, false)),
      lost_(std::exchange(other.lost_, false)),
      code_(std::exchange(other.code_, 0)) {
  for (int i = 0; i < 3; ++i) fds_[i] = std::move(other.fds_[i]);
}

ProcessHandle& ProcessHandle::operator=(ProcessHandle&& other) noexcept {
  if (this != &other) {
    Reset();
    pid_ = std::exchange(other.pid_, -1);
    ended_ = std::exchange(other.ended_, false);
    lost_ = std::exchange(other.lost_, false);
    code_ = std::exchange(other.code_, 0);
    for (int i = 0; i < 3; ++i) fds_[i] = std::move(other.fds_[i]);
  }
  return *this;
}

void ProcessHandle::CloseFd(int index) { fds_[index].reset(); }

void ProcessHandle::Reset() {
  for (int i = 0; i < 3; ++i) CloseFd(i);
  int code = 0;
  if (pid_ > 0 && ExitCode(&code) && code == kStillActive) internal::ReapInBackground(pid_);
  pid_ = -1;
  ended_ = false;
  lost_ = false;
  code_ = 0;
}

bool ProcessHandle::Start(const std::filesystem::path& path, const std::vector<std::string>& args, ChildPipes pipes,
                          int* error, const std::filesystem::path& working_dir) {
  int failure = EBUSY;
  if (pid_ <= 0) {
    // Child ends at [i][0] for stdin, [i][1] for the outputs.
    const bool wanted[3] = {pipes.stdin_pipe, pipes.stdout_pipe, pipes.stderr_pipe};
    int ends[3][2] = {{-1, -1}, {-1, -1}, {-1, -1}};
    failure = 0;
    for (int i = 0; i < 3 && failure == 0; ++i) {
      if (wanted[i] && ::pipe2(ends[i], O_CLOEXEC) != 0) failure = errno;
    }
    const int child_stdio[3] = {ends[0][0], ends[1][1], ends[2][1]};
    std::vector<std::string> argv;
    argv.reserve(args.size() + 1);
    argv.push_back(path.string());
    argv.insert(argv.end(), args.begin(), args.end());
    pid_t pid = -1;
    if (failure == 0 &&
        internal::SpawnChild(path.string(), argv, child_stdio, &pid, &failure, working_dir.string())) {
      pid_ = pid;
    }
    const int parent_ends[3] = {ends[0][1], ends[1][0], ends[2][0]};
    for (int i = 0; i < 3; ++i) {
      const UniqueFd child_end(child_stdio[i]);  // the child has its own copy now
      UniqueFd parent_end(parent_ends[i]);
      if (pid_ > 0) fds_[i] = std::move(parent_end);
    }
  }
  if (error != nullptr) *error = failure;
  return failure == 0 && pid_ > 0;
}

bool ProcessHandle::ExitCode(int* code) {
  if (pid_ <= 0 || lost_) return false;
  if (!ended_) {
    int status = 0;
    const pid_t rc = RetryOnEintr([&] { return ::waitpid(pid_, &status, WNOHANG); });
    if (rc < 0) {
      lost_ = true;
      return false;
    }
    if (rc == 0) {
      *code = kStillActive;
      return true;
    }
    ended_ = true;
    code_ = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
  }
  *code = code_;
  return true;
}

bool ProcessHandle::Wait(std::chrono::milliseconds timeout, int* code) {
  if (!ExitCode(code)) return false;
  if (*code != kStillActive) return true;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  // The pidfd becomes readable when the child ends; without one (an old
  // kernel) the wait falls back to short sleeps.
  const UniqueFd pidfd(static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0)));
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    const int slice = static_cast<int>(std::min<int64_t>(left.count(), pidfd.valid() ? 60000 : 10));
    if (pidfd.valid()) {
      pollfd entry{pidfd.get(), POLLIN, 0};
      ::poll(&entry, 1, slice);
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(slice));
    }
    if (!ExitCode(code)) break;
    if (*code != kStillActive) break;
  }
  return !lost_ && *code != kStillActive;
}

bool ProcessHandle::Terminate(int signal) {
  if (pid_ <= 0 || ended_ || lost_) return false;
  return ::kill(pid_, signal) == 0;
}

bool ProcessHandle::TerminateWithCode(int exit_code) {
  if (pid_ <= 0 || ended_ || lost_) return false;
  // Not reaped yet, so the pid is still ours even if the child just ended.
  ::kill(pid_, SIGKILL);
  int status = 0;
  const pid_t rc = RetryOnEintr([&] { return ::waitpid(pid_, &status, 0); });
  if (rc != pid_) {
    lost_ = true;
    return false;
  }
  ended_ = true;
  code_ = exit_code;
  return true;
}

}  // namespace platform
