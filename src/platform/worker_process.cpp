#include "platform/worker_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <new>
#include <utility>

#include "platform/env.h"
#include "platform/unique_fd.h"

#ifndef P_PIDFD
#define P_PIDFD 3
#endif

namespace platform {
namespace {

uint32_t ErrnoToWindows(int err) {
  switch (err) {
    case ENOENT: return kErrorFileNotFound;
    case EACCES: return kErrorAccessDenied;
    case ENOEXEC: return kErrorBadExeFormat;
    case ENOMEM: return kErrorOutOfMemory;
    case EMFILE: return kErrorTooManyOpenFiles;
    default: return kErrorGenFailure;
  }
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

int PollOne(int fd, short events, int timeout_ms) {
  pollfd p{fd, events, 0};
  const int r = ::poll(&p, 1, timeout_ms);
  return r > 0 ? p.revents : r;
}

// Waits up to `timeout_ms` of real time for `fd` to show `events`; a wait
// interrupted by a signal restarts with the time left.
int PollFor(int fd, short events, uint32_t timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  return RetryOnEintr([&] {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return PollOne(fd, events, static_cast<int>(std::max<int64_t>(0, left.count())));
  });
}

// What the child reports through the status pipe before it dies.
[[noreturn]] void ChildFail(int status_fd) {
  const int err = errno;
  // Nothing is left to do if even this fails: the parent then sees the pipe
  // close without a status.
  (void)RetryOnEintr([&] { return ::write(status_fd, &err, sizeof err); });
  ::_exit(127);
}

// Runs in the forked child: async-signal-safe calls only, nothing allocated.
[[noreturn]] void ExecChild(pid_t parent, int in_fd, int out_fd, int null_fd, int status_fd, const char* path,
                            char* const* argv, char* const* envp) {
  // With this program's own 0..2 closed, the status pipe may sit there; move
  // it above, where the dup2 calls below cannot overwrite it.
  if (status_fd <= 2) {
    const int moved = ::fcntl(status_fd, F_DUPFD_CLOEXEC, 3);
    if (moved < 0) ::_exit(127);
    status_fd = moved;
  }
  if (::setpgid(0, 0) != 0) ChildFail(status_fd);
  if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) ChildFail(status_fd);
  if (::getppid() != parent) ::_exit(127);  // the program died before the request took hold
  // Lift the three ends above 2 first, so no dup2 overwrites another.
  const int fds[3] = {in_fd, out_fd, null_fd};
  int high[3];
  for (int i = 0; i < 3; ++i) {
    high[i] = ::fcntl(fds[i], F_DUPFD_CLOEXEC, 3);
    if (high[i] < 0) ChildFail(status_fd);
  }
  for (int i = 0; i < 3; ++i) {
    if (::dup2(high[i], i) < 0) ChildFail(status_fd);
  }
  // Everything else goes, except the close-on-exec status pipe.
  if (status_fd > 3) ::syscall(SYS_close_range, 3U, static_cast<unsigned>(status_fd - 1), 0U);
  ::syscall(SYS_close_range, static_cast<unsigned>(status_fd + 1), ~0U, 0U);
  // This program blocks its termination signals and ignores SIGPIPE; both
  // would survive exec.
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  for (int s = 1; s < NSIG; ++s) {
    if (s != SIGKILL && s != SIGSTOP) ::sigaction(s, &dfl, nullptr);
  }
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  ::execve(path, argv, envp);
  ChildFail(status_fd);
}

}  // namespace

WorkerProcess::~WorkerProcess() { Close(); }

bool WorkerProcess::Spawn(const std::filesystem::path& path, const std::vector<std::string>& argv, uint32_t* error) {
  if (IsOpen()) {
    *error = kErrorGenFailure;
    return false;
  }
  // Everything the child uses is made before the fork.
  std::vector<std::string> env_entries;
  std::vector<char*> envp, args;
  std::string program;
  try {
    program = path.string();
    env_entries = env::Snapshot();
    for (std::string& e : env_entries) envp.push_back(e.data());
    envp.push_back(nullptr);
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
  } catch (const std::bad_alloc&) {
    *error = kErrorOutOfMemory;
    return false;
  }

  int in[2] = {-1, -1}, out[2] = {-1, -1}, status[2] = {-1, -1};
  int null_fd = -1;
  auto release = [&](int err) {
    for (int* fd : {&in[0], &in[1], &out[0], &out[1], &status[0], &status[1], &null_fd}) CloseFd(*fd);
    *error = ErrnoToWindows(err);
    return false;
  };
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(status, O_CLOEXEC) != 0) {
    return release(errno);
  }
  null_fd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (null_fd < 0) return release(errno);
  if (::fcntl(in[1], F_SETFL, O_NONBLOCK) != 0 || ::fcntl(out[0], F_SETFL, O_NONBLOCK) != 0) return release(errno);

  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid < 0) return release(errno);
  if (pid == 0) ExecChild(parent, in[0], out[1], null_fd, status[1], program.c_str(), args.data(), envp.data());

  ::setpgid(pid, pid);  // also here, so the group exists before we may kill it
  for (int* fd : {&in[0], &out[1], &status[1], &null_fd}) CloseFd(*fd);
  int child_errno = 0;
  const ssize_t got = RetryOnEintr([&] { return ::read(status[0], &child_errno, sizeof child_errno); });
  int failure = got > 0 ? child_errno : 0;
  int pidfd = -1;
  if (failure == 0) {
    pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (pidfd < 0) failure = errno;
  }
  if (failure != 0) {
    ::kill(pid, SIGKILL);
    (void)RetryOnEintr([&] { return ::waitpid(pid, nullptr, 0); });  // reaped; nothing more to learn
    return release(failure);
  }
  CloseFd(status[0]);
  pidfd_ = pidfd;
  pid_ = pid;
  in_fd_ = std::exchange(in[1], -1);
  out_fd_ = std::exchange(out[0], -1);
  input_cut_ = false;
  terminated_ = false;
  terminate_code_ = 0;
  *error = 0;
  return true;
}

bool WorkerProcess::IsAlive() const {
  if (pidfd_ < 0) return false;
  siginfo_t info{};
  if (::waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(pidfd_), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
    return false;
  }
  return info.si_pid == 0;
}

bool WorkerProcess::WaitExit(uint32_t timeout_ms) const {
  if (pidfd_ < 0) return false;
  return PollFor(pidfd_, POLLIN, timeout_ms) > 0 || !IsAlive();
}

uint32_t WorkerProcess::ExitCode() const {
  if (pidfd_ < 0) return kStillActive;
  siginfo_t info{};
  if (::waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(pidfd_), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
      info.si_pid == 0) {
    return kStillActive;
  }
  if (info.si_code == CLD_EXITED) return static_cast<uint32_t>(info.si_status);
  if (terminated_ && info.si_status == SIGKILL) return terminate_code_;
  return 128u + static_cast<uint32_t>(info.si_status);
}

void WorkerProcess::Terminate(uint32_t code) {
  if (pidfd_ < 0) return;
  if (!terminated_) terminate_code_ = code;
  terminated_ = true;
  ::kill(-pid_, SIGKILL);
}

bool WorkerProcess::Peek(size_t* available, uint32_t* error) const {
  *available = 0;
  if (out_fd_ < 0) {
    *error = kErrorBrokenPipe;
    return false;
  }
  int n = 0;
  if (::ioctl(out_fd_, FIONREAD, &n) != 0) {
    *error = ErrnoToWindows(errno);
    return false;
  }
  if (n > 0) {
    *available = static_cast<size_t>(n);
    return true;
  }
  const int revents = PollOne(out_fd_, POLLIN, 0);
  if (revents > 0 && (revents & POLLHUP) != 0) {
    *error = kErrorBrokenPipe;  // the writer is gone and nothing is left
    return false;
  }
  return true;
}

bool WorkerProcess::Read(char* buffer, size_t count, size_t* got, uint32_t* error) {
  *got = 0;
  if (out_fd_ < 0) {
    *error = kErrorBrokenPipe;
    return false;
  }
  const ssize_t r = RetryOnEintr([&] { return ::read(out_fd_, buffer, count); });
  if (r < 0) {
    if (errno == EAGAIN) return true;
    *error = ErrnoToWindows(errno);
    return false;
  }
  if (r == 0 && count > 0) {
    *error = kErrorBrokenPipe;
    return false;
  }
  *got = static_cast<size_t>(r);
  return true;
}

namespace {

// write(2) with SIGPIPE held back, so a closed reader is EPIPE and never a
// signal, whatever this process does with SIGPIPE.
ssize_t WriteNoSigpipe(int fd, const char* data, size_t size) {
  sigset_t pipe_only, old_mask, pending;
  sigemptyset(&pipe_only);
  sigaddset(&pipe_only, SIGPIPE);
  sigpending(&pending);
  const bool was_pending = sigismember(&pending, SIGPIPE) == 1;
  pthread_sigmask(SIG_BLOCK, &pipe_only, &old_mask);
  const ssize_t r = RetryOnEintr([&] { return ::write(fd, data, size); });
  const int saved = errno;
  if (r < 0 && saved == EPIPE && !was_pending) {
    const timespec zero{0, 0};
    (void)RetryOnEintr([&] { return sigtimedwait(&pipe_only, nullptr, &zero); });  // only takes our own SIGPIPE back
  }
  pthread_sigmask(SIG_SETMASK, &old_mask, nullptr);
  errno = saved;
  return r;
}

}  // namespace

bool WorkerProcess::Write(const char* data, size_t size, uint32_t timeout_ms, uint32_t* error) {
  if (in_fd_ < 0 || input_cut_) {
    *error = kErrorBrokenPipe;
    return false;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  size_t done = 0;
  while (done < size) {
    const ssize_t r = WriteNoSigpipe(in_fd_, data + done, std::min<size_t>(size - done, SSIZE_MAX));
    if (r > 0) {
      done += static_cast<size_t>(r);
      continue;
    }
    if (r < 0 && errno != EAGAIN) {
      *error = errno == EPIPE ? kErrorBrokenPipe : ErrnoToWindows(errno);
      input_cut_ = done > 0;
      return false;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      *error = kErrorTimeout;
      input_cut_ = done > 0;
      return false;
    }
    PollFor(in_fd_, POLLOUT, static_cast<uint32_t>(left.count()));
  }
  return true;
}

bool WorkerProcess::WriteIfFits(const char* data, size_t size) {
  // At most PIPE_BUF bytes go into a pipe whole or not at all.
  if (in_fd_ < 0 || input_cut_ || size > PIPE_BUF) return false;
  return WriteNoSigpipe(in_fd_, data, size) == static_cast<ssize_t>(size);
}

void WorkerProcess::CloseInput() { CloseFd(in_fd_); }

void WorkerProcess::CloseOutput() { CloseFd(out_fd_); }

void WorkerProcess::KillGroup() {
  if (pidfd_ >= 0) ::kill(-pid_, SIGKILL);
}

void WorkerProcess::Close(uint32_t timeout_ms) {
  CloseInput();
  CloseOutput();
  if (pidfd_ < 0) return;
  KillGroup();
  WaitExit(timeout_ms);
  siginfo_t info{};
  ::waitid(static_cast<idtype_t>(P_PIDFD), static_cast<id_t>(pidfd_), &info, WEXITED | WNOHANG);
  CloseFd(pidfd_);
  pid_ = 0;
  input_cut_ = false;
  terminated_ = false;
  terminate_code_ = 0;
}

}  // namespace platform
