#pragma once
// The program's registration with the VR runtime's application list: the
// manifests it writes or ships, the recognition of registrations that are
// its own, registering with rollback, and the verification of the result.
//
// Only registrations whose manifest files hold, byte for byte, a text this
// program writes or ships are ever removed or changed.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/vr/vr_runtime.h"

// App keys: the program, and the key of an earlier build.
inline constexpr std::string_view kAutostartAppKey = "quorix.phone";
inline constexpr std::string_view kLegacyUnifiedAppKey = "quorix.phone.ui3.unified";
// This platform's manifest key for the binary and the program's file name.
inline constexpr std::string_view kManifestBinaryPathKey = "binary_path_linux";
inline constexpr std::string_view kProgramFileName = "Quorix";

// Files relative to the program's folder.
inline constexpr std::string_view kAutostartManifestFile = "vr_assets/quorix.autostart.vrmanifest";
inline constexpr std::string_view kShippedManifestFile = "vr_assets/quorix.vrmanifest";
inline constexpr std::string_view kActionManifestFile = "vr_assets/actions.json";
inline constexpr std::string_view kIconFile = "assets/quorix-icon-256.png";

// Where a registration or verification stopped (AutostartDiagnostics::stage).
enum AutostartStage : int32_t {
  kStageNone = 0,
  kStageBadArguments = 1,        // no interface, or the executable path empty or relative
  kStageUnrecognised = 2,        // the registered app cannot be identified as ours
  kStageTooManyRemovals = 3,     // eight removed and the key is still installed
  kStageReinstated = 4,          // a removed registration came back
  kStageRemoveFailed = 5,        // api error: the remove error
  kStageAddFailed = 6,           // api error: the add error
  kStageAutoLaunchFailed = 7,    // api error: the auto-launch error
  kStageNotInstalled = 8,        // auto-launch or installation not as expected
  kStageMismatch = 9,            // binary path, arguments or image differ
  kStageException = 10,          // e.g. a manifest that cannot be written
  kStageLegacyOffFailed = 11,    // api error: the legacy auto-launch error
  kStageLegacyStillOn = 12,
  kStageLegacyException = 13,
  kStageVerifierCode = 14,       // api error: the verifier's exit code
  kStageVerifierNotStarted = 15,
};

// What a registration changed, so that its rollback can undo it.
struct AutostartRollback {
  static constexpr size_t kMaxRemoved = 8;
  uint8_t installed_before = 0;
  uint8_t auto_launch_before = 0;
  uint8_t manifest_added = 0;
  uint8_t changed = 0;
  uint8_t owned_before = 0;  // the key already held this executable's autostart registration
  std::vector<std::filesystem::path> removed;  // at most kMaxRemoved manifest paths, in removal order
};

struct AutostartDiagnostics {
  int32_t stage = kStageNone;
  int32_t api_error = 0;  // the runtime's error, or the verifier's exit code
  uint8_t rollback_complete = 1;
  uint8_t legacy_present = 0;
  uint8_t legacy_owned = 0;
  uint8_t legacy_autostart_off = 0;
  uint8_t legacy_verified = 0;
};

// The generated manifest: one line of JSON naming `binary_path`, its action
// manifest and (with image) its icon beside it.
std::string BuildAppManifest(const std::filesystem::path& binary_path, std::string_view app_key, bool with_image,
                             std::string_view binary_path_key = kManifestBinaryPathKey);

// The shipped manifest text for "quorix.phone" (`unified` false) or the
// legacy key: CR LF lines, no final line break.
std::string BuildBuiltinAppManifest(bool unified, std::string_view binary_path_key = kManifestBinaryPathKey,
                                    std::string_view program_file = kProgramFileName);
// The two texts with this platform's names, built once per process.
const std::string& GetBuiltinAppManifest();
const std::string& GetBuiltinUnifiedManifest();

// A regular file of 1..65536 bytes, whole.
bool ReadSmallFile(const std::filesystem::path& path, std::string* out);
// A string property: no error, a length 1..32768 and the first NUL at its end.
bool GetAppPropertyString(platform::vr::Applications* apps, uint32_t property, std::string* out,
                          std::string_view app_key);
// Property 13 as a non-empty absolute path of valid UTF-8.
bool GetAppBinaryPath(platform::vr::Applications* apps, std::filesystem::path* out, std::string_view app_key);
// Lexically normal forms compared exactly: this file system tells case apart.
bool PathsEqualIgnoringCase(const std::filesystem::path& a, const std::filesystem::path& b);
// Strict UTF-8 decoding; false on any invalid sequence.
bool Utf8ToWideStrict(const std::string& text, std::u16string* out);
// An absolute path starting with "/", no control character or DEL, still
// absolute once lexically normal; `out` is that normal form.
bool NormalizeDrivePath(const std::u16string& wide, std::filesystem::path* out);
// An image property value ("file:///…", "file://localhost/…" or a plain
// absolute path) as a drive path.
bool ImageValueToPath(const std::string& value, std::filesystem::path* out);
bool ImagePathMatches(const std::string& value, const std::filesystem::path& expected);

// The manifest file of a registration (binary, arguments) that is this
// program's: its autostart manifest ("--steamvr-start") or its shipped one
// (no arguments, judged against the executable's own shipped file).
bool ResolveAppManifestPath(const std::filesystem::path& binary, const std::string& arguments,
                            const std::filesystem::path& exe, std::filesystem::path* out);
bool IsOwnUnifiedRegistration(const std::filesystem::path& binary, const std::string& arguments);

bool RegisterAutostartApp(platform::vr::Applications* apps, const std::filesystem::path& exe, bool enable,
                          AutostartRollback* rollback, AutostartDiagnostics* diag);
bool RollbackAutostartRegistration(platform::vr::Applications* apps, const std::filesystem::path& exe,
                                   const AutostartRollback* rollback, AutostartDiagnostics* diag);
bool VerifyAutostartRegistration(platform::vr::Applications* apps, const std::filesystem::path& exe,
                                 bool expect_enabled, AutostartDiagnostics* diag);
bool CheckLegacyUnifiedApp(platform::vr::Applications* apps, AutostartDiagnostics* diag);
void RestoreLegacyAutoLaunch(platform::vr::Applications* apps, bool saved, AutostartDiagnostics* diag) noexcept;
