#include "core/entry.h"

#include <cstdio>
#include <exception>
#include <optional>
#include <thread>

#include "core/app_loop.h"
#include "core/environment.h"
#include "core/run_records.h"
#include "core/text.h"
#include "platform/clock.h"
#include "platform/com.h"
#include "platform/env.h"
#include "platform/files.h"
#include "platform/instance.h"
#include "platform/message_box.h"
#include "platform/gui.h"
#include "platform/message_pump.h"
#include "platform/process.h"
#include "platform/ui_window.h"

namespace {

using DirMember = EntryHandlers::DirHandler EntryHandlers::*;

struct DirRow {
  const char* option;
  DirMember handler;
};

// Self-check options with one output directory, after the audio guard's turn.
constexpr DirRow kDirRows[] = {
    {"--ui41-volume-ui-checks", &EntryHandlers::ui41_volume_checks},
    {"--ui42-pointer-settings-checks", &EntryHandlers::ui42_pointer_settings_checks},
    {"--ui45-package-check", &EntryHandlers::desktop_package_check},
    {"--ui38-output-route-checks", &EntryHandlers::ui38_output_route_checks},
    {"--ui37-scale-checks", &EntryHandlers::ui37_scale_checks},
    {"--ui37-shared-input-checks", &EntryHandlers::ui37_shared_input_checks},
    {"--ui38-vr-reliability-checks", &EntryHandlers::ui38_vr_reliability_checks},
    {"--ui37-browser-input-checks", &EntryHandlers::ui37_browser_input_checks},
    {"--ui36-package-check", &EntryHandlers::desktop_package_check},
    {"--ui32-package-check", &EntryHandlers::desktop_package_check},
    {"--ui35-dictionary-checks", &EntryHandlers::ui35_dictionary_checks},
    {"--ui35-candidate-checks", &EntryHandlers::ui35_candidate_checks},
    {"--ui35-package-check", &EntryHandlers::desktop_package_check},
    {"--ui34-notice-checks", &EntryHandlers::ui34_notice_checks},
    {"--ui34-ime-checks", &EntryHandlers::ui34_ime_checks},
    {"--ui34-integration-checks", &EntryHandlers::ui34_integration_checks},
    {"--ui34-package-check", &EntryHandlers::desktop_package_check},
    {"--ui33-checks", &EntryHandlers::ui33_checks},
    {"--ui33-package-check", &EntryHandlers::desktop_package_check},
    {"--ui32-checks", &EntryHandlers::ui32_checks},
    {"--ui31-startup-check", &EntryHandlers::ui31_startup_check},
};

// The wide argument vector, or nothing when an argument is not UTF-8 (the
// command line could not be split).
std::optional<std::vector<std::u16string>> WideArguments(const std::vector<std::string>& args) {
  std::vector<std::u16string> wide;
  wide.reserve(args.size());
  for (const std::string& arg : args) {
    std::u16string converted;
    if (!quorix_text::DecodeUtf8(arg.data(), arg.size(), &converted)) return std::nullopt;
    wide.push_back(std::move(converted));
  }
  return wide;
}

int RunDir(const EntryHandlers& handlers, DirMember member, const std::u16string& dir) {
  const auto& handler = handlers.*member;
  return handler ? handler(dir) : 1;
}

bool HasSiblingClientRunning() {
  return platform::AnyProcessNamed({"QuorixPhone", "QuorixDesktop", "QuorixPhone2PCTest", "QuorixDesktopTestClient"},
                                   platform::ProcRoot());
}

}  // namespace

std::filesystem::path ProgramPath() { return GetExecutableDirectory() / "Quorix"; }

int DispatchCommandLine(const std::vector<std::string>& args, const std::filesystem::path& executable_path,
                        const EntryHandlers& handlers) {
  const size_t count = args.size();
  // Owned for the whole dispatch: the audio guard's handler keeps using it.
  const auto wide = WideArguments(args);
  if (wide) {
    if (count == 3 && (*wide)[1] == u"--login-settings-checks") {
      return RunDir(handlers, &EntryHandlers::login_settings_checks, (*wide)[2]);
    }
    if (handlers.browser_audio_guard) {
      const int result = handlers.browser_audio_guard(static_cast<int>(count), *wide);
      if (result >= 0) return result;
    }
    if (count == 3) {
      for (const DirRow& row : kDirRows) {
        if ((*wide)[1] == Utf8ToWide(row.option)) return RunDir(handlers, row.handler, (*wide)[2]);
      }
    }
  }

  const std::string first = count >= 2 ? args[1] : std::string();
  if (count == 3 && first == "--ui3-owner-check") {
    return handlers.owner_check ? handlers.owner_check(args[2], executable_path) : 1;
  }
  if (count == 3 && first == "--ui3-checks") return handlers.ui3_checks ? handlers.ui3_checks(args[2]) : 1;
  if (count == 2) {
    if (first == "--verify-autostart" || first == "--verify-autostart-off") {
      return handlers.verify_autostart ? handlers.verify_autostart(executable_path, first == "--verify-autostart")
                                       : 1;
    }
    if (first == "--automatic-autostart") {
      return handlers.configure_autostart ? handlers.configure_autostart(executable_path, true, false) : 1;
    }
    if (first == "--register-autostart" || first == "--unregister-autostart") {
      if (handlers.vr_server_running && handlers.vr_server_running()) {
        return handlers.configure_autostart
                   ? handlers.configure_autostart(executable_path, first == "--register-autostart", true)
                   : 1;
      }
      std::fputs("START_STEAMVR_FOR_AUTOSTART_CONFIGURATION\n", stdout);
      std::fflush(stdout);
      return 2;
    }
  }
  return handlers.normal_start ? handlers.normal_start(executable_path) : 1;
}

int RunOwnerCheckMode(const std::string& output_dir, const std::filesystem::path& executable_path) {
  try {
    const std::filesystem::path dir(WideToUtf8(Utf8CStringToWide(output_dir.c_str())));
    if (platform::PathExists(dir)) return 3;
    std::filesystem::create_directories(dir);
    if (!platform::env::Set("USERPROFILE", dir.string())) throw std::runtime_error("WIN32_ENVIRONMENT_FAILED");
    const std::filesystem::path run_dir = CreateRunDirectory(executable_path);
    WriteRunRecord(dir / "RUN.txt", run_dir.string(), true);
    const auto stop_file = run_dir / "STOP.requested";
    const uint64_t deadline = platform::TickCount64() + 20000;
    while (!platform::PathExists(stop_file) && platform::TickCount64() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return platform::PathExists(stop_file) ? 0 : 1;
  } catch (const std::exception& error) {
    std::printf("UI3_OWNER_CHECK_FAILED %s\n", error.what());
    std::fflush(stdout);
    return 1;
  }
}

int RunNormalStart(const std::filesystem::path& executable_path,
                   const std::function<std::unique_ptr<AppHost>()>& make_host) {
  if (HasSiblingClientRunning()) {
    platform::ShowMessageBox("Close the previous Quorix client first. / 以前のQuorixを終了してください。", "Quorix");
    return 2;
  }
  std::unique_ptr<platform::InstanceLock> lock;
  switch (platform::InstanceLock::Acquire("Quorix.UI3.Unified", &lock)) {
    case platform::InstanceLockResult::kFailed:
      return 2;
    case platform::InstanceLockResult::kAlreadyRunning:
      // Exits with 0 also when no instance listens for the show request.
      (void)platform::PostToInstance("QuorixUnifiedOverlay3", "Quorix.UI3.Show");
      return 0;
    case platform::InstanceLockResult::kAcquired:
      break;
  }
  if (!platform::ApartmentEntered(platform::InitializeApartment())) return 2;

  int exit_code;
  {
    platform::MessagePump pump;
    // Without the channel the program still runs; only show requests are lost.
    const auto show_listener = platform::ShowListener::Listen("QuorixUnifiedOverlay3");
    pump.AttachShowListener(show_listener.get());
    // The window toolkit's events run inside the pump once it is started.
    pump.SetPollSource(platform::GuiPollSource());
    // A window's PostQuitMessage ends this loop.
    platform::ui::SetQuitPump(&pump);
    std::unique_ptr<AppHost> host = make_host();
    exit_code = RunApplication(*host, pump, executable_path, platform::SystemClock());
    host.reset();
    platform::ui::SetQuitPump(nullptr);
    pump.SetPollSource(nullptr);
    pump.AttachShowListener(nullptr);
  }
  platform::UninitializeApartment();
  return exit_code;
}
