#include "platform/vr/vr_runtime.h"

#include "platform/process.h"

namespace platform::vr {

namespace {

NoneRuntime& TheNoneRuntime() {
  static NoneRuntime none;
  return none;
}

// Main thread only, like every call of the layer.
Runtime* installed = nullptr;

}  // namespace

uint32_t NoneRuntime::FindServerProcess() {
  for (const ProcessEntry& entry : ListProcesses(ProcRoot())) {
    if (EqualsIgnoreAsciiCase(entry.name, "vrserver")) return entry.pid;
  }
  return 0;
}

System* NoneRuntime::Init(int32_t, int32_t* error) {
  if (error) *error = kInitErrorNoBackend;
  return nullptr;
}

int32_t NoneRuntime::CreateGpuDevice(int32_t, std::shared_ptr<GpuDevice>*) { return kErrorDevice; }

Runtime& CurrentRuntime() { return installed ? *installed : TheNoneRuntime(); }

void InstallRuntime(Runtime* runtime) { installed = runtime; }

ScopedRuntime::ScopedRuntime(Runtime& runtime) : previous_(installed) { installed = &runtime; }

ScopedRuntime::~ScopedRuntime() { installed = previous_; }

}  // namespace platform::vr
