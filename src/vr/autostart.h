#pragma once
// Automatic start with the VR runtime: verification and configuration modes.
#include <cstdint>
#include <filesystem>

// Exit code of "--verify-autostart" / "--verify-autostart-off".
int VerifySteamVrAutostart(const std::filesystem::path& exe_path, bool expect_enabled);

// Exit code of "--automatic-autostart", "--register-autostart" and
// "--unregister-autostart". `explicit_choice` is true for a user's command.
int ConfigureSteamVrAutostart(const std::filesystem::path& exe_path, bool enable, bool explicit_choice);

// Runs at connect: false while an automatic configuration child was just
// started or still runs, so that the session starts only after it finished.
// Until the configuration exists, the session may always start.
bool RunAutostartPolicy(const std::filesystem::path& program_path, uint32_t server_pid);
