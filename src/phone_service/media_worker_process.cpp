#include "phone_service/media_worker_process.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "core/event_log.h"
#include "core/text.h"

namespace quorix_phone {
namespace {

constexpr size_t kReadChunkBytes = 8192;
constexpr int kMaxLinesPerPoll = 32;

}  // namespace

bool IsAcceptableWorkerPath(const std::filesystem::path& path) {
  const std::string& text = path.native();
  const size_t units = Utf8ToWideStrict(text).size();
  if (units < 7 || units > 32000) return false;
  if (text[0] != '/' || text[1] == '/') return false;
  if (text.find_first_of("\"\n\r") != std::string::npos) return false;
  if (text.find("/../") != std::string::npos || text.find("/./") != std::string::npos) return false;
  struct stat st {};
  if (::lstat(text.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  return ::faccessat(AT_FDCWD, text.c_str(), X_OK, AT_EACCESS) == 0;
}

bool MediaWorkerProcess::Spawn(const std::filesystem::path& path) {
  if (worker.IsOpen()) {
    last_error = kWorkerErrorAlreadyExists;
    return false;
  }
  if (!IsAcceptableWorkerPath(path)) {
    last_error = kWorkerErrorInvalidParameter;
    return false;
  }
  uint32_t error = 0;
  if (!worker.Spawn(path, {path.native(), "--quorix-worker"}, &error)) {
    last_error = error;
    return false;
  }
  process_id = worker.Pid();
  last_error = 0;
  return true;
}

bool MediaWorkerProcess::WriteAll(const char* bytes, size_t count) {
  if (!worker.HasInput() || !worker.IsAlive()) return false;
  uint32_t error = 0;
  if (worker.Write(bytes, count, kWorkerWriteTimeoutMs, &error)) return true;
  last_error = error;
  return false;
}

bool MediaWorkerProcess::SendCommand(const std::string& json) {
  if (!IsValidWorkerCommand(json)) return false;
  if (pipe_ready != 0) {
    const std::string line = json + '\n';
    return WriteAll(line.data(), line.size());
  }
  if (pending_commands.size() >= kMaxPendingWorkerCommands) {
    last_error = kWorkerErrorBufferOverflow;
    return false;
  }
  pending_commands.push_back(json);
  return true;
}

bool MediaWorkerProcess::OnPipeReady() {
  pipe_ready = 1;
  WriteEventLog("WORKER_PIPE_READY", 0, 0);
  while (!pending_commands.empty()) {
    const std::string line = pending_commands.front() + '\n';
    if (!worker.HasInput() || !worker.IsAlive()) {
      last_error = platform::kErrorBrokenPipe;
      return false;
    }
    if (!WriteAll(line.data(), line.size())) return false;
    pending_commands.pop_front();
  }
  return true;
}

bool MediaWorkerProcess::ReadLine(std::string& line) {
  line.clear();
  if (!worker.HasOutput()) return false;
  // A whole line already held goes first, so a fast worker never overflows
  // the buffer with lines we have not taken yet.
  WorkerLineReader::Result result = line_buffer.Next(line);
  if (result == WorkerLineReader::Result::kNone) {
    size_t available = 0;
    if (!worker.Peek(&available, &last_error)) return false;
    if (available > 0) {
      char chunk[kReadChunkBytes];
      size_t got = 0;
      const size_t want = std::min({available, sizeof chunk, line_buffer.Room()});
      if (!worker.Read(chunk, want, &got, &last_error)) return false;
      line_buffer.Feed(chunk, got);
    }
    result = line_buffer.Next(line);
  }
  if (result == WorkerLineReader::Result::kOverflow) last_error = kWorkerErrorBufferOverflow;
  return result == WorkerLineReader::Result::kLine;
}

bool MediaWorkerProcess::PollLine(std::string& line) {
  for (int i = 0; i < kMaxLinesPerPoll; ++i) {
    if (!ReadLine(line)) return false;
    switch (ClassifyWorkerLine(line)) {
      case WorkerLineKind::kReady:
        if (!OnPipeReady()) return false;
        break;
      case WorkerLineKind::kPong:
      case WorkerLineKind::kStopping:
        break;
      case WorkerLineKind::kInvalid:
        WriteEventLog("WORKER_PIPE_REJECTED", line.size(), 0);
        break;
      case WorkerLineKind::kJson:
        WriteEventLog("WORKER_PIPE_JSON", line.size(), line.rfind("{\"event\":\"", 0) == 0 ? 1 : 2);
        return true;
    }
  }
  line.clear();
  return false;
}

void MediaWorkerProcess::Stop() {
  if (worker.IsOpen()) {
    // Only when the 5 bytes fit at once: a worker that stopped reading would
    // otherwise hold us here, and after a cut line they would be spliced.
    if (worker.HasInput() && worker.IsAlive()) (void)worker.WriteIfFits("STOP\n", 5);
    if (!worker.WaitExit(kWorkerStopGraceMs)) worker.Terminate(0);
  }
  worker.CloseInput();
  worker.CloseOutput();
  worker.KillGroup();
  worker.Close(kWorkerReapWaitMs);
  process_id = 0;
  last_error = 0;
  line_buffer.Clear();
  pending_commands.clear();
  pipe_ready = 0;
}

}  // namespace quorix_phone
