#include "vr/autostart.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <mutex>
#include <string_view>
#include <system_error>
#include <utility>

#include "core/environment.h"
#include "core/event_log.h"
#include "core/text.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process_handle.h"
#include "platform/vr/vr_runtime.h"
#include "vr/autostart_manifest.h"

namespace fs = std::filesystem;
namespace pvr = platform::vr;

namespace {

constexpr uint64_t kRetryMs = 30000;
constexpr uint64_t kChildLimitMs = 45000;
constexpr size_t kPreferenceLimit = 31;  // 32 bytes or more is not a preference
constexpr std::string_view kEnabledText = "enabled\n";
constexpr std::string_view kDisabledText = "disabled\n";

class ProcessRunner final : public AutostartChildRunner {
 public:
  bool Start(const fs::path& exe, const std::string& argument, const fs::path& working_dir) override {
    return process_.Start(exe, {argument}, {}, nullptr, working_dir);
  }
  bool Poll(int* code) override { return process_.ExitCode(code); }
  bool Wait(uint32_t ms, int* code) override { return process_.Wait(std::chrono::milliseconds(ms), code); }
  // False only when the child had ended or was reaped already: it runs no more either way.
  void Terminate(int code) override { (void)process_.TerminateWithCode(code); }
  void Close() override { process_ = platform::ProcessHandle(); }

 private:
  platform::ProcessHandle process_;
};

std::mutex g_seams_mutex;
std::function<std::unique_ptr<AutostartChildRunner>()> g_runner_factory;
AutostartTimings g_timings;

std::unique_ptr<AutostartChildRunner> MakeRunner() {
  std::lock_guard lock(g_seams_mutex);
  if (g_runner_factory) return g_runner_factory();
  return std::make_unique<ProcessRunner>();
}

AutostartTimings Timings() {
  std::lock_guard lock(g_seams_mutex);
  return g_timings;
}

void CloseChild(AutostartChild& child) {
  if (child.process) child.process->Close();
  child.process.reset();
  child.start_ms = 0;
}

void KillChild(AutostartChild& child) {
  if (!child.process) return;
  child.process->Terminate(kAutostartKilledCode);
  CloseChild(child);
}

// Connects in the background for the autostart modes: false when the
// runtime cannot be reached; `apps` may still be null (no interface).
bool ConnectBackground(pvr::Applications** apps) {
  pvr::Runtime& runtime = pvr::CurrentRuntime();
  runtime.FindServerProcess();
  int32_t error = 0;
  if (!runtime.Init(pvr::kAppTypeBackground, &error) || error != 0) return false;
  *apps = runtime.GetApplications();
  return true;
}

const char* Bool(bool value) { return value ? "true" : "false"; }

void PrintConfigureLine(bool enabled, bool verified, bool saved, const AutostartDiagnostics& diag) {
  std::string line = "{\"steamvr_autostart_enabled\":";
  line += Bool(enabled);
  line += ",\"configuration_verified\":";
  line += Bool(verified);
  line += ",\"preference_saved\":";
  line += Bool(saved);
  line += ",\"diagnostic_stage\":" + std::to_string(diag.stage);
  line += ",\"api_error\":" + std::to_string(diag.api_error);
  line += ",\"rollback_complete\":";
  line += Bool(diag.rollback_complete);
  line += ",\"legacy_present\":";
  line += Bool(diag.legacy_present);
  line += ",\"legacy_owned\":";
  line += Bool(diag.legacy_owned);
  line += ",\"legacy_autostart_off\":";
  line += Bool(diag.legacy_autostart_off);
  line += ",\"legacy_verified\":";
  line += Bool(diag.legacy_verified);
  line += ",\"next_steamvr_launch\":\"NOT_RUN\"}\n";
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

// Runs the verifier child and folds its outcome into `diag`; true when verified.
bool RunVerifier(const fs::path& exe, bool enable, AutostartDiagnostics& diag) {
  AutostartChild child;
  if (!StartAutostartChild(exe, enable ? u"--verify-autostart" : u"--verify-autostart-off", &child)) {
    diag.stage = kStageVerifierNotStarted;
    return false;
  }
  const AutostartTimings timings = Timings();
  int code = 0;
  bool counted = child.process->Wait(timings.verify_wait_ms, &code);
  if (!counted) {
    child.process->Terminate(kAutostartKilledCode);
    int ignored = 0;
    (void)child.process->Wait(timings.terminate_wait_ms, &ignored);
    code = kAutostartKilledCode;
  }
  CloseChild(child);
  if (code >= 64 && code <= 79) {
    diag.legacy_present = (code & 1) != 0;
    diag.legacy_owned = (code & 2) != 0;
    diag.legacy_autostart_off = (code & 4) != 0;
    diag.legacy_verified = (code & 8) != 0;
    return true;
  }
  diag.stage = code >= 1 && code <= 13 ? code : kStageVerifierCode;
  diag.api_error = code;
  return false;
}

}  // namespace

void SetAutostartRunnerFactoryForTesting(std::function<std::unique_ptr<AutostartChildRunner>()> factory) {
  std::lock_guard lock(g_seams_mutex);
  g_runner_factory = std::move(factory);
}

void SetAutostartTimingsForTesting(const AutostartTimings& timings) {
  std::lock_guard lock(g_seams_mutex);
  g_timings = timings;
}

fs::path GetAutostartPreferencePath() {
  const std::u16string local = ReadEnvironmentString(u"LOCALAPPDATA");
  if (local.empty()) return {};
  return fs::path(WideToUtf8(local)) / "QuorixPhone" / "startup" / "steamvr-autostart.preference";
}

uint32_t ReadAutostartPreference(const fs::path& path) {
  try {
    if (path.empty()) return kPreferenceUnreadable;
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (status.type() == fs::file_type::not_found) return kPreferenceNone;
    if (error) return kPreferenceUnreadable;
    std::string text;
    if (platform::ReadRegularFile(path, kPreferenceLimit, &text) != platform::FileReadResult::kOk) {
      return kPreferenceUnreadable;
    }
    if (text == kEnabledText) return kPreferenceEnabled;
    if (text == kDisabledText) return kPreferenceDisabled;
    return kPreferenceUnreadable;
  } catch (...) {
    return kPreferenceUnreadable;
  }
}

bool WriteAutostartPreference(const fs::path& path, bool enabled) {
  try {
    if (path.empty()) return false;
    bool created = false;
    if (!platform::CreateDirectories(path.parent_path(), &created)) return false;
    return platform::ReplaceFileDurably(path, enabled ? kEnabledText : kDisabledText, 0644);
  } catch (...) {
    return false;
  }
}

bool StartAutostartChild(const fs::path& exe, const std::u16string& argument, AutostartChild* out) {
  if (!out || out->process || !exe.is_absolute() || exe.native().find('"') != std::string::npos) return false;
  if (argument != u"--automatic-autostart" && argument != u"--verify-autostart" &&
      argument != u"--verify-autostart-off") {
    return false;
  }
  std::unique_ptr<AutostartChildRunner> runner = MakeRunner();
  if (!runner || !runner->Start(exe, WideToUtf8(argument), exe.parent_path())) return false;
  out->process = std::move(runner);
  out->start_ms = platform::TickCount64();
  return true;
}

bool AutostartPolicyStep(AutostartPolicyState& state, const fs::path& exe, uint32_t runtime_pid, uint32_t preference,
                         uint64_t now_ms) {
  if (runtime_pid == 0) return true;
  if (runtime_pid != state.runtime_pid) {
    KillChild(state.child);
    state.runtime_pid = runtime_pid;
    state.settled = 0;
    state.next_attempt_ms = 0;
  }
  if (preference == kPreferenceDisabled) {
    KillChild(state.child);
    if (!state.settled) WriteEventLog("STEAMVR_AUTOSTART_DISABLED", 1, 0);
    state.settled = 1;
    return true;
  }
  if (state.child.process) {
    int code = 0;
    const bool readable = state.child.process->Poll(&code);
    if (readable && code == platform::ProcessHandle::kStillActive) {
      if (now_ms < state.child.start_ms || now_ms - state.child.start_ms < kChildLimitMs) return false;
      state.child.process->Terminate(kAutostartKilledCode);
      code = kAutostartKilledCode;
    } else if (!readable) {
      state.child.process->Terminate(kAutostartKilledCode);
      code = kAutostartKilledCode;
    }
    CloseChild(state.child);
    if (code == 0 || code == 16) {
      state.settled = 1;
      WriteEventLog(code == 0 ? "STEAMVR_AUTOSTART_REGISTERED" : "STEAMVR_AUTOSTART_DISABLED", 1,
                    static_cast<uint64_t>(code));
    } else {
      state.settled = 0;
      WriteEventLog("STEAMVR_AUTOSTART_FAILED", 14, static_cast<uint64_t>(code));
    }
    state.next_attempt_ms = now_ms + kRetryMs;
    return true;
  }
  if (state.settled || now_ms < state.next_attempt_ms) return true;
  state.next_attempt_ms = now_ms + kRetryMs;
  if (preference == kPreferenceUnreadable) {
    WriteEventLog("STEAMVR_AUTOSTART_POLICY_UNAVAILABLE", 1, 0);
    return true;
  }
  if (StartAutostartChild(exe, u"--automatic-autostart", &state.child)) return false;
  WriteEventLog("STEAMVR_AUTOSTART_FAILED", 15, 0);
  return true;
}

bool RunAutostartPolicy(const fs::path& program_path, uint32_t server_pid) {
  // Never destroyed: a child still running when the program ends goes on.
  static AutostartPolicyState& state = *new AutostartPolicyState;
  // Without a server, or settled for this server with no child running, the
  // step does nothing whatever the preference says: it is not read again, so
  // the VR frame's liveness check stays free of file and heap work.
  if (server_pid == 0 || (server_pid == state.runtime_pid && state.settled && !state.child.process)) return true;
  try {
    const uint64_t now = platform::TickCount64();
    const uint32_t preference = ReadAutostartPreference(GetAutostartPreferencePath());
    return AutostartPolicyStep(state, program_path, server_pid, preference, now);
  } catch (...) {
    WriteEventLog("STEAMVR_AUTOSTART_FAILED", 1, 0);
    return true;
  }
}

int ConfigureSteamVrAutostart(const fs::path& exe_path, bool enable, bool explicit_choice) {
  if (explicit_choice) {
    if (!WriteAutostartPreference(GetAutostartPreferencePath(), enable)) return 1;
  } else {
    const uint32_t preference = ReadAutostartPreference(GetAutostartPreferencePath());
    if (preference == kPreferenceDisabled) return 16;
    if (preference == kPreferenceUnreadable) return 1;
  }
  pvr::Runtime& runtime = pvr::CurrentRuntime();
  pvr::Applications* apps = nullptr;
  if (!ConnectBackground(&apps)) return 2;
  AutostartDiagnostics diag;
  AutostartRollback rollback;
  bool registered = false;
  try {
    registered = RegisterAutostartApp(apps, exe_path, enable, &rollback, &diag);
  } catch (...) {
    diag.stage = kStageException;
  }
  if (!registered) RollbackAutostartRegistration(apps, exe_path, &rollback, &diag);
  runtime.Shutdown();
  bool verified = false;
  if (registered) {
    verified = RunVerifier(exe_path, enable, diag);
    if (!verified) {
      if (ConnectBackground(&apps)) {
        RollbackAutostartRegistration(apps, exe_path, &rollback, &diag);
        runtime.Shutdown();
      } else {
        diag.rollback_complete = 0;
      }
    }
  }
  PrintConfigureLine(enable && verified, verified, explicit_choice, diag);
  return verified ? 0 : 1;
}

int VerifySteamVrAutostart(const fs::path& exe_path, bool expect_enabled) {
  pvr::Runtime& runtime = pvr::CurrentRuntime();
  pvr::Applications* apps = nullptr;
  if (!ConnectBackground(&apps)) return 2;
  AutostartDiagnostics diag;
  bool verified = false;
  try {
    verified = VerifyAutostartRegistration(apps, exe_path, expect_enabled, &diag);
  } catch (...) {
    diag.stage = kStageException;
    verified = false;
  }
  runtime.Shutdown();
  if (!verified) return diag.stage != 0 ? diag.stage : 1;
  return 64 + diag.legacy_present + 2 * diag.legacy_owned + 4 * diag.legacy_autostart_off + 8 * diag.legacy_verified;
}
