#pragma once
// A worker program started beside this one and driven over its standard input
// and output: the job object, anonymous pipes and process handle of a Windows
// worker, as one owner.
//
// The worker runs in a process group of its own (the job): `Terminate` and
// `Close` kill the whole group, and the worker itself gets SIGKILL when this
// program dies. It starts with our environment table's snapshot, descriptors
// 0 and 1 on the pipes, 2 on /dev/null and nothing else open, an empty signal
// mask and default signal handling.
//
// Main thread only: the parent-death signal follows the thread that spawned,
// so a worker spawned from a thread that later ends would be killed with it.
//
// Failures are reported as Windows error numbers, which the callers log and
// compare (kError* below).
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace platform {

inline constexpr uint32_t kErrorFileNotFound = 2;
inline constexpr uint32_t kErrorTooManyOpenFiles = 4;
inline constexpr uint32_t kErrorAccessDenied = 5;
inline constexpr uint32_t kErrorOutOfMemory = 14;
inline constexpr uint32_t kErrorGenFailure = 31;
inline constexpr uint32_t kErrorBrokenPipe = 109;
inline constexpr uint32_t kErrorBadExeFormat = 193;
inline constexpr uint32_t kErrorTimeout = 1460;
// The exit code of a process that is still running (STILL_ACTIVE).
inline constexpr uint32_t kStillActive = 259;

class WorkerProcess {
 public:
  WorkerProcess() = default;
  ~WorkerProcess();  // Close()
  WorkerProcess(const WorkerProcess&) = delete;
  WorkerProcess& operator=(const WorkerProcess&) = delete;

  // Starts `path` with `argv` (argv[0] included). Fails at once when the
  // program cannot be executed: ENOENT 2, EACCES 5, ENOEXEC 193, ENOMEM 14,
  // EMFILE 4, anything else 31, in `*error`; nothing is then left open or
  // running. False with 31 when a worker is already held.
  [[nodiscard]] bool Spawn(const std::filesystem::path& path, const std::vector<std::string>& argv, uint32_t* error);

  // A worker is held (running or not yet reaped).
  bool IsOpen() const { return pidfd_ >= 0; }
  bool HasInput() const { return in_fd_ >= 0; }
  bool HasOutput() const { return out_fd_ >= 0; }
  uint32_t Pid() const { return static_cast<uint32_t>(pid_); }
  // The raw descriptors, for benchmarks that compare with bare system calls.
  int OutputDescriptorForBenchmark() const { return out_fd_; }
  int ProcessDescriptorForBenchmark() const { return pidfd_; }

  // Held and not yet ended.
  bool IsAlive() const;
  // Waits up to `timeout_ms` (a real wait) for the worker to end; true when it
  // has ended, false when it still runs or none is held.
  bool WaitExit(uint32_t timeout_ms) const;
  // kStillActive while running or when none is held; the exit status; `code`
  // of the last `Terminate` when that killed it; 128 + signal otherwise.
  uint32_t ExitCode() const;

  // Kills the worker's whole group; `ExitCode` then reads `code`.
  void Terminate(uint32_t code);

  // Bytes waiting on the worker's output. False with 109 once the worker's end
  // is closed and nothing is left.
  [[nodiscard]] bool Peek(size_t* available, uint32_t* error) const;
  // Reads at most `count` bytes, never blocking; `*got` may be 0.
  [[nodiscard]] bool Read(char* buffer, size_t count, size_t* got, uint32_t* error);

  // Writes all `size` bytes within `timeout_ms`, else fails with 1460 (109 for
  // a closed reader; never SIGPIPE). A write cut part-way leaves a partial
  // line in the pipe, so every later write fails with 109: the worker never
  // reads two lines spliced together.
  [[nodiscard]] bool Write(const char* data, size_t size, uint32_t timeout_ms, uint32_t* error);
  // Writes `size` (at most 4096) bytes only if they fit at once.
  [[nodiscard]] bool WriteIfFits(const char* data, size_t size);

  void CloseInput();
  void CloseOutput();
  // Kills whatever is left in the worker's group (closing the job).
  void KillGroup();
  // Kills the group, waits up to `timeout_ms` for the worker, reaps it and
  // releases everything. The worker is reaped only here, after its group was
  // killed, so the group id cannot be reused while we may still signal it. A
  // worker that outlives the wait (stuck in uninterruptible sleep) is left
  // unreaped rather than blocking the caller.
  void Close(uint32_t timeout_ms = 3000);

 private:
  int pidfd_ = -1;
  int pid_ = 0;
  int in_fd_ = -1;   // our write end of the worker's standard input
  int out_fd_ = -1;  // our read end of the worker's standard output
  bool input_cut_ = false;
  bool terminated_ = false;
  uint32_t terminate_code_ = 0;
};

}  // namespace platform
