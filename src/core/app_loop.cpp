#include "core/app_loop.h"

#include <chrono>
#include <exception>
#include <string>

#include "core/event_log.h"
#include "core/run_records.h"
#include "platform/clock.h"
#include "platform/com.h"
#include "platform/files.h"
#include "platform/message_box.h"
#include "platform/message_pump.h"
#include "platform/process.h"

namespace {

constexpr char kStartupReady[] = "{\"stage\":\"READY\",\"desktop_initialized\":true,\"production_changed\":false}";
constexpr char kExitNormal[] = "{\"owner\":\"Quorix_UI3_Unified\",\"normal_exit\":true,\"raw_audio_recorded\":false}";
constexpr char kExitFailed[] =
    "{\"owner\":\"Quorix_UI3_Unified\",\"normal_exit\":false,\"fixed_error\":\"UI3_START_OR_RUNTIME_FAILED\"}";

void Require(bool ok, const char* code) {
  if (!ok) throw std::runtime_error(code);
}

// A record written on the failure path must not stop the rest of that path.
void TryWriteRecord(const std::filesystem::path& path, const std::string& content) noexcept {
  try {
    WriteRunRecord(path, content, true);
  } catch (...) {
  }
}

void RunLoop(AppHost& host, platform::MessagePump& pump, const std::filesystem::path& run_dir,
             const std::filesystem::path& assets_dir, platform::Clock& clock, const AppLoopTiming& timing) {
  bool quit = false;
  uint64_t next_vr_attempt = 0;
  uint64_t next_stats = 0;
  uint8_t phone_shown = 0;
  bool first_pass = true;
  const auto stop_file = run_dir / "STOP.requested";

  while (!quit && !host.DesktopQuitRequested() && !host.OwnerWindowGone()) {
    const auto pass_start = std::chrono::steady_clock::now();
    // A quit message sets `quit` in the dispatch below, so Drain's own
    // "quit seen" answer adds nothing.
    (void)pump.Drain([&](const platform::PumpMessage& message) {
      if (message.kind == platform::PumpMessage::Kind::kQuit) {
        quit = true;
      } else if (message.kind == platform::PumpMessage::Kind::kShow) {
        host.HandleShowMessage();
      }
    });
    if (platform::PathExists(stop_file)) quit = true;

    host.PumpGateway();
    host.TickOwner();
    host.TickPhoneUi();
    bool redraw = host.TakePhoneDirty() || first_pass;
    const uint64_t now = clock.TickMs();

    host.FeedBrowserAudio(ReadBrowserRouteEnvironment());

    if (!host.HasVrSession() && now >= next_vr_attempt) {
      next_vr_attempt = now + timing.vr_retry_ms;
      if (host.VrServerRunning()) {
        if (host.ConnectVr(assets_dir)) {
          next_stats = now + timing.vr_stats_ms;
          redraw = true;
        } else {
          WriteEventLog("VR_MVP_INIT_FAILED", 1, 0);
        }
      }
    }
    if (!host.HasVrSession()) host.ClearShowPhoneRequest();

    host.UpdateDesktop(redraw);

    if (host.HasVrSession()) {
      if (!host.VrFrame(&phone_shown, redraw)) {
        host.DisconnectVr();
        next_vr_attempt = now + timing.vr_retry_ms;
        phone_shown = 0;
        WriteEventLog("VR_MVP_RECONNECT_WAIT", 1, 0);
      } else if (now >= next_stats) {
        host.LogVrStats();
        next_stats = now + timing.vr_stats_ms;
      }
    }

    if (host.TakeShowRequest()) host.ShowDesktop();
    if (host.TakeRepaintRequest()) host.UpdateDesktop(true);
    first_pass = false;

    if (host.HasVrSession()) {
      const auto elapsed = std::chrono::steady_clock::now() - pass_start;
      host.RecordVrPass(static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count()) /
                        1000000.0);
    }
    if (!quit) pump.Wait(timing.wait_ms);
  }
}

}  // namespace

int RunApplication(AppHost& host, platform::MessagePump& pump, const std::filesystem::path& executable_path,
                   platform::Clock& clock, const AppLoopTiming& timing) {
  const char* stage = "BOOTSTRAP";
  int exit_code = 0;
  std::filesystem::path run_dir;
  try {
    run_dir = CreateRunDirectory(executable_path);
    host.StartBrowserAudioGuard(run_dir / "BROWSER_ROUTE.safe.json");
    (void)platform::SetPerMonitorDpiAwareness();  // nothing to set here; always true

    stage = "SESSION";
    Require(host.BuildSession(), "SESSION_OWNER_CREATE_FAILED");

    stage = "SETTINGS";
    Require(host.BuildSettings(), "SETTINGS_FAILED");
    host.BuildPhoneUi();

    stage = "DESKTOP";
    Require(host.CreateDesktop(), "DESKTOP_CREATE_FAILED");
    host.UpdateDesktop(true);

    WriteRunRecord(run_dir / "STARTUP.safe.json", kStartupReady, true);
    stage = "RUNNING";
    const auto assets_dir = executable_path.parent_path() / "vr_assets";
    WriteEventLog("UI3_UNIFIED_STARTED", 1, 0);

    RunLoop(host, pump, run_dir, assets_dir, clock, timing);

    host.DisconnectVr();
    host.DestroyDesktop();
    host.CloseOwner();
    host.StopService();
    host.StopSounds();
    WriteEventLog("UI3_UNIFIED_STOPPED", 1, 0);
    WriteRunRecord(run_dir / "EXIT.safe.json", kExitNormal, true);
    host.DestroyObjects();
  } catch (const std::exception&) {
    // What the stages built goes first, as unwinding would take it.
    host.DestroyObjects();
    const std::string record = std::string("{\"stage\":\"ERROR\",\"component\":\"") + stage +
                               "\",\"secret_or_chat_body_collected\":false}";
    TryWriteRecord(executable_path.parent_path() /
                       ("STARTUP_" + std::to_string(platform::CurrentProcessId()) + ".safe.json"),
                   record);
    if (!run_dir.empty()) {
      TryWriteRecord(run_dir / "STARTUP.safe.json", record);
      TryWriteRecord(run_dir / "EXIT.safe.json", kExitFailed);
    }
    platform::ShowMessageBox(
        "Quorix could not finish starting. Collect the safe evidence. / "
        "起動に失敗しました。安全証跡を回収してください。",
        "Quorix");
    exit_code = 1;
  }

  BrowserAudioRouteStatus status;
  const bool confirmed = host.ShutdownBrowserAudio(5000, &status);
  WriteEventLog("BROWSER_ROUTE_EXIT_STATE", status.state, 0);
  WriteEventLog("BROWSER_ROUTE_RESTORED_ROLES", status.restored_roles, 0);
  WriteEventLog("BROWSER_ROUTE_PENDING_ROLES", status.pending_roles, 0);
  WriteEventLog("BROWSER_ROUTE_EXIT_CONFIRMED", confirmed ? 1 : 0, 0);
  WriteEventLog("BROWSER_VOLUME_PERCENT", status.volume_gain, 0);
  WriteEventLog("BROWSER_VOLUME_CAPPED", status.volume_capped, 0);
  WriteEventLog("BROWSER_VOLUME_RESTORED", status.volume_restored, status.volume_pending);
  const bool done = host.WaitForBrowserWorkerThreads(3000) && host.BrowserShutdownWait(3000);
  WriteEventLog("BROWSER_CLEANUP_DONE", done ? 1 : 0, 0);
  return exit_code;
}
