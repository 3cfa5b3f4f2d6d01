#include "vr/autostart.h"

// Both modes need the VR runtime, which cannot be reached yet: they report
// what they report when it cannot be initialised.
int VerifySteamVrAutostart(const std::filesystem::path&, bool) { return 2; }

int ConfigureSteamVrAutostart(const std::filesystem::path&, bool, bool) { return 2; }

// No automatic configuration can run yet, so the session may always start.
bool RunAutostartPolicy(const std::filesystem::path&, uint32_t) { return true; }
