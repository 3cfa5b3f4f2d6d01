#pragma once
// A simulated VR runtime, installed for one test, with its server running
// and this process connected.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "vr/sim/sim_runtime.h"

namespace quorix_test {

// The "vr_assets" folder of the source tree, as shipped.
inline std::filesystem::path ShippedAssets() { return QUORIX_VR_ASSETS_DIR; }

class VrSimTest : public ::testing::Test {
 protected:
  VrSimTest() : scoped_(sim_) {
    sim_.StartServer(4321);
    int32_t error = 0;
    system_ = sim_.Init(platform::vr::kAppTypeOverlay, &error);
    sim_.CreateGpuDevice(0, &device_);
  }

  vr_sim::SimRuntime sim_;
  platform::vr::ScopedRuntime scoped_;
  platform::vr::System* system_ = nullptr;
  std::shared_ptr<platform::vr::GpuDevice> device_;
};

}  // namespace quorix_test
