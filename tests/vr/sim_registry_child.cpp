// Child of the registry test: adds argv[2] manifests whose keys start with
// argv[1] to the simulated runtime of QUORIX_VR_SIM_DIR. 0 when all were added.
#include <cstdlib>
#include <fstream>

#include "vr/sim/sim_runtime.h"

int main(int argc, char** argv) {
  const char* folder = std::getenv("QUORIX_VR_SIM_DIR");
  if (argc != 3 || !folder) return 2;
  vr_sim::SimRuntime sim{std::filesystem::path(folder)};
  sim.FindServerProcess();
  if (!sim.Init(platform::vr::kAppTypeBackground, nullptr)) return 3;
  for (int i = 0; i < std::atoi(argv[2]); ++i) {
    const std::string key = std::string(argv[1]) + std::to_string(i);
    const std::string manifest = std::string(folder) + "/" + key + ".vrmanifest";
    std::ofstream(manifest) << "{\"applications\":[{\"app_key\":\"" << key << "\"}]}";
    if (sim.GetApplications()->AddApplicationManifest(manifest, false) != 0) return 4;
  }
  return 0;
}
