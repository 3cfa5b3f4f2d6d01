#include "phone_service/windows_media.h"

#include "core/event_log.h"
#include "core/json.h"
#include "core/text.h"
#include "platform/clock.h"
#include "platform/process.h"

namespace quorix_phone {
namespace {

// GetModuleFileNameW's buffer, in UTF-16 units.
constexpr size_t kOwnPathUnits = 32768;

}  // namespace

bool IsWorkerConfiguredEvent(const std::string& line) {
  JsonValue value;
  if (!ParseJson(line, value)) return false;
  const JsonValue* event = value.Find("event");
  return event != nullptr && event->type == JsonType::String && event->text == "configured";
}

WindowsMedia::~WindowsMedia() { process.Stop(); }

bool WindowsMedia::Start() {
  if (process.IsAlive()) return false;
  const std::string own = platform::ExecutablePath().native();
  const size_t units = Utf8ToWideStrict(own).size();
  if (units == 0 || units >= kOwnPathUnits) return false;
  const size_t slash = own.rfind('/');
  if (slash == std::string::npos) return false;
  const std::string worker_path = own.substr(0, slash + 1) + kMediaWorkerName;

  started = process.Spawn(worker_path) ? 1 : 0;
  configured = 0;
  start_tick = platform::TickCount64();
  if (started != 0) {
    WriteEventLog("WORKER_STARTED", process.process_id, 0);
  } else {
    WriteEventLog("WORKER_START_FAIL", 0, process.last_error);
  }
  return started != 0;
}

bool WindowsMedia::SendCommand(const std::string& json) { return process.SendCommand(json); }

bool WindowsMedia::PollEvent(std::string& json) {
  if (started == 0) return false;
  if (process.PollLine(json)) {
    if (IsWorkerConfiguredEvent(json)) configured = 1;
    return true;
  }
  const char* name = nullptr;
  const char* reason = nullptr;
  uint64_t n = 0;
  if (!process.IsAlive()) {
    name = "WORKER_EXITED", reason = "worker_exited", n = process.ExitCode();
  } else if (process.last_error != 0) {
    name = "WORKER_PIPE_ERROR", reason = "pipe_closed", n = process.last_error;
  } else if (configured == 0 && platform::TickCount64() - start_tick >= kWorkerSetupTimeoutMs) {
    const bool ready = process.pipe_ready != 0;
    name = "WORKER_IPC_TIMEOUT", n = ready ? 2 : 1;
    reason = ready ? "worker_setup_timeout" : "worker_ready_timeout";
  } else {
    return false;
  }
  WriteEventLog(name, n, 0);
  json = std::string("{\"event\":\"error\",\"reason\":\"") + reason + "\"}";
  return true;
}

void WindowsMedia::Stop() {
  started = 0;
  configured = 0;
  process.Stop();
}

}  // namespace quorix_phone
