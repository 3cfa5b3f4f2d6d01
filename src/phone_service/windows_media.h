#pragma once
// The media worker client: starts "peerconnection_client" beside the program
// for a call, forwards the gateway's commands and hands out the worker's
// events, with synthesised error events when the worker exits, its pipe
// fails or it does not get ready and configured in time. Main thread only.
#include <cstdint>
#include <string>

#include "phone_service/media_worker_process.h"
#include "phone_service/network.h"

namespace quorix_phone {

// A worker that has not reported "configured" this long after its start has
// failed to set up the call.
inline constexpr uint64_t kWorkerSetupTimeoutMs = 30000;
inline constexpr char kMediaWorkerName[] = "peerconnection_client";

// Whether a line of the worker is its "configured" event: JSON whose
// "event" member is the text "configured".
bool IsWorkerConfiguredEvent(const std::string& line);

class WindowsMedia final : public Media {
 public:
  WindowsMedia() = default;
  ~WindowsMedia() override;
  WindowsMedia(const WindowsMedia&) = delete;
  WindowsMedia& operator=(const WindowsMedia&) = delete;

  // False while a worker runs (nothing logged), when the own path cannot be
  // had, or when the spawn fails ("WORKER_START_FAIL").
  bool Start() override;
  bool SendCommand(const std::string& json) override;
  // At most one event per call: a json line of the worker, else the first of
  // "worker_exited", "pipe_closed", "worker_ready_timeout" and
  // "worker_setup_timeout" that holds, again on every call until `Stop`.
  bool PollEvent(std::string& json) override;
  void Stop() override;

  MediaWorkerProcess process;
  uint8_t started = 0;
  uint8_t configured = 0;
  uint64_t start_tick = 0;
};

}  // namespace quorix_phone
