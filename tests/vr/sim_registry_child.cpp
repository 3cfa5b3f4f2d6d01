// Child of the registry test: connects to the simulated runtime of the
// folder QUORIX_VR_SIM_DIR names and adds argv[2] manifests whose keys start
// with argv[1]. Exits 0 when every add succeeded.
#include <cstdlib>
#include <fstream>
#include <string>

#include "vr/sim/sim_runtime.h"

int main(int argc, char** argv) {
  const char* folder = std::getenv("QUORIX_VR_SIM_DIR");
  if (argc != 3 || !folder) return 2;
  vr_sim::SimRuntime sim{std::filesystem::path(folder)};
  sim.FindServerProcess();
  int32_t error = 0;
  if (!sim.Init(platform::vr::kAppTypeBackground, &error)) return 3;
  const int count = std::atoi(argv[2]);
  for (int i = 0; i < count; ++i) {
    const std::string key = std::string(argv[1]) + "." + std::to_string(i);
    const std::filesystem::path manifest = std::filesystem::path(folder) / (key + ".vrmanifest");
    std::ofstream(manifest) << "{\"applications\":[{\"app_key\":\"" << key << "\"}]}";
    if (sim.GetApplications()->AddApplicationManifest(manifest.string(), false) != 0) return 4;
  }
  sim.Shutdown();
  return 0;
}
