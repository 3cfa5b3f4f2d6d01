// Quorix: process entry.
#include <string>
#include <vector>

#include "app_host.h"
#include "browser_audio/audio_guard.h"
#include "core/entry.h"
#include "platform/https.h"
#include "platform/message_pump.h"
#include "selfcheck/fixtures.h"
#include "vr/autostart.h"
#include "vr/sim/sim_runtime.h"
#include "vr/vr_session.h"

int main(int argc, char** argv) {
  // Termination signals are read by the main loop's message pump; block them
  // before any thread starts so that none of them takes a signal.
  platform::MessagePump::BlockTerminationSignals();
  // libcurl's global set-up and SIGPIPE ignored, also before any thread.
  platform::InitializeNetwork();

  EntryHandlers handlers;
  handlers.login_settings_checks = UiLoginSettingsFixture::Run;
  handlers.ui41_volume_checks = Ui41VolumeFixture::Run;
  handlers.ui42_pointer_settings_checks = Ui42PointerSettingsFixture::Run;
  handlers.desktop_package_check = DesktopPackageFixture::Run;
  handlers.ui38_output_route_checks = Ui38OutputRouteFixture::Run;
  handlers.ui37_scale_checks = Ui37ScaleFixture::Run;
  handlers.ui37_shared_input_checks = Ui37SharedInputFixture::Run;
  handlers.ui38_vr_reliability_checks = Ui38VrReliabilityFixture::Run;
  handlers.ui37_browser_input_checks = Ui37BrowserInputFixture::Run;
  handlers.ui35_dictionary_checks = Ui35DictionaryFixture::Run;
  handlers.ui35_candidate_checks = Ui35CandidateFixture::Run;
  handlers.ui34_notice_checks = Ui34NoticeFixture::Run;
  handlers.ui34_ime_checks = Ui34ImeFixture::Run;
  handlers.ui34_integration_checks = Ui34IntegrationFixture::Run;
  handlers.ui33_checks = Ui33Fixture::Run;
  handlers.ui32_checks = Ui32Fixture::Run;
  handlers.ui31_startup_check = Ui31StartupFixture::Run;
  handlers.browser_audio_guard = [](int count, const std::vector<std::u16string>& args) {
    return RunBrowserAudioGuardMode(count, args);
  };
  handlers.owner_check = RunOwnerCheckMode;
  handlers.ui3_checks = Ui3Fixture::Run;
  handlers.verify_autostart = VerifySteamVrAutostart;
  handlers.configure_autostart = ConfigureSteamVrAutostart;
  handlers.vr_server_running = [] { return FindVrServerProcess() != 0; };
  handlers.normal_start = [](const std::filesystem::path& executable_path) {
    return RunNormalStart(executable_path, MakeProgramHost);
  };

  // The autostart modes and the normal start see the same VR runtime.
  vr_sim::InstallRuntimeFromEnvironment();

  const std::vector<std::string> args(argv, argv + argc);
  return DispatchCommandLine(args, ProgramPath(), handlers);
}
