#pragma once
// Automatic start with the VR runtime: verification and configuration modes.
#include <filesystem>

// Exit code of "--verify-autostart" / "--verify-autostart-off".
int VerifySteamVrAutostart(const std::filesystem::path& exe_path, bool expect_enabled);

// Exit code of "--automatic-autostart", "--register-autostart" and
// "--unregister-autostart". `explicit_choice` is true for a user's command.
int ConfigureSteamVrAutostart(const std::filesystem::path& exe_path, bool enable, bool explicit_choice);
