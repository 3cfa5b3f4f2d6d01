#pragma once
// The process entry: which mode this run is, chosen from the command line.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class AppHost;

// The handlers the command line can select. Each returns the exit code.
struct EntryHandlers {
  using DirHandler = std::function<int(const std::u16string& output_dir)>;
  DirHandler login_settings_checks;
  DirHandler ui41_volume_checks;
  DirHandler ui42_pointer_settings_checks;
  DirHandler desktop_package_check;
  DirHandler ui38_output_route_checks;
  DirHandler ui37_scale_checks;
  DirHandler ui37_shared_input_checks;
  DirHandler ui38_vr_reliability_checks;
  DirHandler ui37_browser_input_checks;
  DirHandler ui35_dictionary_checks;
  DirHandler ui35_candidate_checks;
  DirHandler ui34_notice_checks;
  DirHandler ui34_ime_checks;
  DirHandler ui34_integration_checks;
  DirHandler ui33_checks;
  DirHandler ui32_checks;
  DirHandler ui31_startup_check;
  // Negative when the command line is not the audio guard's.
  std::function<int(int argc, const std::vector<std::u16string>& argv)> browser_audio_guard;
  std::function<int(const std::string& output_dir, const std::filesystem::path& executable_path)> owner_check;
  std::function<int(const std::string& output_dir)> ui3_checks;
  std::function<int(const std::filesystem::path& executable_path, bool expect_enabled)> verify_autostart;
  std::function<int(const std::filesystem::path& executable_path, bool enable, bool explicit_choice)>
      configure_autostart;
  std::function<bool()> vr_server_running;
  std::function<int(const std::filesystem::path& executable_path)> normal_start;
};

// Compares argument 1 with the options in their fixed order (exact,
// case-sensitive, with the exact argument count); the first match runs its
// handler. Anything else is a normal start. `args` is argv, program name
// first. The wide view of the arguments exists only when every argument is
// valid UTF-8; it stays alive for the whole dispatch.
int DispatchCommandLine(const std::vector<std::string>& args, const std::filesystem::path& executable_path,
                        const EntryHandlers& handlers);

// The executable path of this program as the records name it: its folder
// joined with "Quorix", whatever name it was started under.
std::filesystem::path ProgramPath();

// Owner-check mode: creates DIR, points USERPROFILE at it, creates a run
// directory, writes its path to DIR/RUN.txt and waits up to 20 s for
// "STOP.requested" there. 3 when DIR exists, 0 when stopped, 1 otherwise.
int RunOwnerCheckMode(const std::string& output_dir, const std::filesystem::path& executable_path);

// The normal start: the sibling check, the single instance, the apartment,
// then the stages, the loop and the shutdown on the host `make_host` builds.
int RunNormalStart(const std::filesystem::path& executable_path,
                   const std::function<std::unique_ptr<AppHost>()>& make_host);
