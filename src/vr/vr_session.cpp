#include "vr/vr_session.h"

#include "core/event_log.h"
#include "platform/process.h"

std::unique_ptr<VrSession> VrSession::Create() { return std::unique_ptr<VrSession>(new VrSession()); }

bool VrSession::Init(UiSettings&, const std::filesystem::path&) {
  initialized_ = false;
  return false;
}

bool VrSession::Frame(PhoneUi&, UiSettings&, uint8_t*, bool) { return initialized_; }

void VrSession::LogStats() {
  WriteEventLog("VR_LOOP_COUNT", frame_count, 0);
  WriteEventLog("VR_LOOP_MS_MAX", static_cast<uint64_t>(longest_loop_ms), 0);
}

void ShutdownVrRuntime() {}

uint32_t FindVrServerProcess() {
  for (const platform::ProcessEntry& entry : platform::ListProcesses(platform::ProcRoot())) {
    if (platform::EqualsIgnoreAsciiCase(entry.name, "vrserver")) return entry.pid;
  }
  return 0;
}
