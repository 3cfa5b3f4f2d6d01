#pragma once
// The call-audio worker process "peerconnection_client" beside the program:
// started in a job of its own, fed JSON command lines, read for event lines,
// always stopped. Main thread only; no locks.
//
// Bounds: 24 commands wait for the worker's "READY_IDLE" (a worker that
// starts slowly must not make us hold an unbounded backlog); each command line
// goes out whole within 2000 ms, so a worker that stops reading cannot hold
// the main loop and the frame for good; the unread output is held to 150000
// bytes (worker_line.h).
#include <cstdint>
#include <deque>
#include <filesystem>
#include <string>

#include "phone_service/worker_line.h"
#include "platform/worker_process.h"

namespace quorix_phone {

// Last-error values set here besides the platform layer's (worker_process.h).
inline constexpr uint32_t kWorkerErrorInvalidParameter = 87;  // bad worker path
inline constexpr uint32_t kWorkerErrorBufferOverflow = 111;   // 25th command before ready, or an overlong line
inline constexpr uint32_t kWorkerErrorAlreadyExists = 183;    // a worker is still held
inline constexpr size_t kMaxPendingWorkerCommands = 24;
inline constexpr uint32_t kWorkerWriteTimeoutMs = 2000;
inline constexpr uint32_t kWorkerStopGraceMs = 1500;
inline constexpr uint32_t kWorkerReapWaitMs = 3000;

// The worker file may be run: 7..32000 UTF-16 units, strict UTF-8, absolute
// with exactly one leading "/", no '"', LF or CR, no "/../" or "/./"; a
// regular file (not a folder, not a symbolic link) we may execute.
bool IsAcceptableWorkerPath(const std::filesystem::path& path);

class MediaWorkerProcess {
 public:
  MediaWorkerProcess() = default;
  ~MediaWorkerProcess() { Stop(); }
  MediaWorkerProcess(const MediaWorkerProcess&) = delete;
  MediaWorkerProcess& operator=(const MediaWorkerProcess&) = delete;

  // Starts the worker with argv {path, "--quorix-worker"}. 183 while a worker
  // is held (also one that exited, until `Stop`), 87 for a refused path, else
  // the platform's start error.
  bool Spawn(const std::filesystem::path& path);
  // Queues `json` until the worker is ready, then writes it with one LF.
  // False for a bad shape (nothing changes), a full queue (111) or a failed
  // write (the command is lost).
  bool SendCommand(const std::string& json);
  // Run for the ready line: writes the queued commands in order; a command
  // leaves the queue only once its whole line is written.
  bool OnPipeReady();
  // One whole line of output, never blocking.
  bool ReadLine(std::string& line);
  // The next json line among at most 32 lines; control and invalid lines are
  // handled and dropped.
  bool PollLine(std::string& line);
  // "STOP", up to 1500 ms for the worker to go, then its whole group killed
  // and reaped. Always safe.
  void Stop();
  bool IsAlive() const { return worker.IsAlive(); }
  uint32_t ExitCode() const { return worker.ExitCode(); }
  bool WriteAll(const char* bytes, size_t count);

  platform::WorkerProcess worker;
  uint32_t process_id = 0;
  uint32_t last_error = 0;
  WorkerLineReader line_buffer;
  std::deque<std::string> pending_commands;
  uint8_t pipe_ready = 0;
};

}  // namespace quorix_phone
