#pragma once
// Automatic start with the VR runtime: the user's choice (a preference file),
// the modes that configure and verify the registration, and the policy that
// runs the automatic configuration as a child once per runtime run.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

// Preference values read back.
enum AutostartPreference : uint32_t {
  kPreferenceNone = 0,  // never chosen
  kPreferenceEnabled = 1,
  kPreferenceDisabled = 2,
  kPreferenceUnreadable = 3,
};

// Exit code of a child killed by the policy or the configure mode.
constexpr int kAutostartKilledCode = 31;

// A child process of the autostart modes. The default runs a real process
// (platform::ProcessHandle); tests install their own.
class AutostartChildRunner {
 public:
  virtual ~AutostartChildRunner() = default;
  // Starts `exe` with one argument in `working_dir`.
  virtual bool Start(const std::filesystem::path& exe, const std::string& argument,
                     const std::filesystem::path& working_dir) = 0;
  // Without waiting: true with the exit code, or 259 while it runs; false
  // when its state cannot be read.
  virtual bool Poll(int* code) = 0;
  // Waits at most `ms`: true with the exit code once it ended.
  virtual bool Wait(uint32_t ms, int* code) = 0;
  // Ends a running child; its exit code becomes `code`.
  virtual void Terminate(int code) = 0;
  // Lets go of the child (a running one goes on).
  virtual void Close() = 0;
};

// Makes the runner of the next child; null restores the real one.
void SetAutostartRunnerFactoryForTesting(std::function<std::unique_ptr<AutostartChildRunner>()> factory);

// The configure mode's waits for its verifier child.
struct AutostartTimings {
  uint32_t verify_wait_ms = 30000;
  uint32_t terminate_wait_ms = 1000;
};
void SetAutostartTimingsForTesting(const AutostartTimings& timings);

// A started child and when it started (tick ms).
struct AutostartChild {
  std::unique_ptr<AutostartChildRunner> process;
  uint64_t start_ms = 0;
};

// One per process; reset for each new runtime server.
struct AutostartPolicyState {
  uint32_t runtime_pid = 0;
  uint8_t settled = 0;
  uint64_t next_attempt_ms = 0;
  AutostartChild child;
};

// LOCALAPPDATA/QuorixPhone/startup/steamvr-autostart.preference; empty when
// LOCALAPPDATA is unset or empty.
std::filesystem::path GetAutostartPreferencePath();
uint32_t ReadAutostartPreference(const std::filesystem::path& path);
// Durably "enabled\n" or "disabled\n"; never throws.
bool WriteAutostartPreference(const std::filesystem::path& path, bool enabled);

// Starts `exe` (absolute, no double quote) with one of "--automatic-autostart",
// "--verify-autostart", "--verify-autostart-off" in its own folder.
bool StartAutostartChild(const std::filesystem::path& exe, const std::u16string& argument, AutostartChild* out);

// False exactly while a child is running (just started, or within 45 s).
bool AutostartPolicyStep(AutostartPolicyState& state, const std::filesystem::path& exe, uint32_t runtime_pid,
                         uint32_t preference, uint64_t now_ms);

// The step on the process-wide state with the tick clock and the preference
// file; never throws.
bool RunAutostartPolicy(const std::filesystem::path& program_path, uint32_t server_pid);

// Exit code of "--verify-autostart" / "--verify-autostart-off".
int VerifySteamVrAutostart(const std::filesystem::path& exe_path, bool expect_enabled);

// Exit code of "--automatic-autostart", "--register-autostart" and
// "--unregister-autostart". `explicit_choice` is true for a user's command.
// Prints one JSON line once the runtime was reached.
int ConfigureSteamVrAutostart(const std::filesystem::path& exe_path, bool enable, bool explicit_choice);
