#pragma once
// The environment and run folder of the built program started under a
// temporary root: home, profile, local data and runtime folders of its own.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "private_x_server.h"
#include "test_util.h"

namespace quorix_test {

// root/home, root/profile, root/local and root/run (made 0700 by the caller),
// the sanitizer options, the test process's private X display, and `extra`
// "NAME=VALUE" entries.
inline std::vector<std::string> ProgramEnvironment(const std::filesystem::path& root,
                                                   const std::vector<std::string>& extra = {}) {
  std::vector<std::string> env = {
      "HOME=" + (root / "home").string(),           "USERPROFILE=" + (root / "profile").string(),
      "LOCALAPPDATA=" + (root / "local").string(),  "XDG_RUNTIME_DIR=" + (root / "run").string(),
      "PATH=/usr/bin:/bin",
      // The desktop window needs the X display; GTK there without an
      // accessibility bus or a settings daemon.
      "NO_AT_BRIDGE=1", "GSETTINGS_BACKEND=memory"};
  for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
    if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
  }
  AddPrivateDisplay(&env);
  env.insert(env.end(), extra.begin(), extra.end());
  return env;
}

// The run folder under root/profile once the program has finished starting;
// empty after 20 s.
inline std::filesystem::path WaitForProgramRun(const std::filesystem::path& root) {
  std::filesystem::path run;
  WaitFor(
      [&] {
        std::error_code ec;
        for (const auto& e :
             std::filesystem::directory_iterator(root / "profile" / "Documents" / "QuorixPhone_Development", ec)) {
          if (std::filesystem::exists(e.path() / "STARTUP.safe.json")) run = e.path();
        }
        return !run.empty();
      },
      std::chrono::seconds(20));
  return run;
}

}  // namespace quorix_test
