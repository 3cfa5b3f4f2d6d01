#include "vr/autostart_manifest.h"

#include <cstring>
#include <exception>
#include <stdexcept>

#include "core/text.h"
#include "platform/files.h"

namespace fs = std::filesystem;
namespace pvr = platform::vr;

namespace {

constexpr size_t kSmallFileLimit = 65536;
constexpr uint32_t kPropertyBufferSize = 32768;
constexpr size_t kImageValueLimit = 32767;
constexpr std::string_view kAutostartArguments = "--steamvr-start";

std::string Key(std::string_view key) { return std::string(key); }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads the key's binary, arguments and manifest; false when any of them is
// not a registration of this program.
bool IdentifyRegistration(pvr::Applications* apps, const fs::path& exe, fs::path* binary, std::string* arguments,
                          fs::path* manifest) {
  return GetAppBinaryPath(apps, binary, kAutostartAppKey) &&
         GetAppPropertyString(apps, pvr::kAppPropertyArguments, arguments, kAutostartAppKey) &&
         ResolveAppManifestPath(*binary, *arguments, exe, manifest);
}

bool FileHolds(const fs::path& path, const std::string& text) {
  std::string content;
  return ReadSmallFile(path, &content) && content == text;
}

}  // namespace

std::string BuildAppManifest(const fs::path& binary_path, std::string_view app_key, bool with_image,
                             std::string_view binary_path_key) {
  const fs::path folder = binary_path.parent_path();
  std::string text = "{\"applications\":[{\"app_key\":";
  text += WriteJsonStringLiteral(Key(app_key));
  text += ",\"launch_type\":\"binary\",\"";
  text += binary_path_key;
  text += "\":";
  text += WriteJsonStringLiteral(binary_path.string());
  text += ",\"arguments\":\"--steamvr-start\",\"action_manifest_path\":";
  text += WriteJsonStringLiteral((folder / kActionManifestFile).string());
  if (with_image) {
    text += ",\"image_path\":";
    text += WriteJsonStringLiteral((folder / kIconFile).string());
  }
  text += ",\"is_dashboard_overlay\":true,\"strings\":{\"en_us\":{\"name\":\"Quorix\"}}}]}";
  return text;
}

std::string BuildBuiltinAppManifest(bool unified, std::string_view binary_path_key, std::string_view program_file) {
  std::string lines[] = {
      "{",
      "  \"applications\": [",
      "    {",
      "      \"app_key\": \"" + Key(unified ? kLegacyUnifiedAppKey : kAutostartAppKey) + "\",",
      "      \"launch_type\": \"binary\",",
      "      \"" + Key(binary_path_key) + "\": \"../" + Key(program_file) + "\",",
      "      \"is_dashboard_overlay\": true,",
      "      \"action_manifest_path\": \"actions.json\",",
      "      \"strings\": {",
      "        \"en_us\": {",
      "          \"name\": \"Quorix\"",
      "        }",
      "      }",
      "    }",
      "  ]",
      "}",
  };
  std::string text;
  for (const std::string& line : lines) {
    if (!text.empty()) text += "\r\n";
    text += line;
    if (unified && &line == &lines[0]) text += "\r\n  \"source\": \"builtin\",";
  }
  return text;
}

const std::string& GetBuiltinAppManifest() {
  static const std::string text = BuildBuiltinAppManifest(false);
  return text;
}

const std::string& GetBuiltinUnifiedManifest() {
  static const std::string text = BuildBuiltinAppManifest(true);
  return text;
}

bool ReadSmallFile(const fs::path& path, std::string* out) {
  std::string bytes;
  if (platform::ReadRegularFile(path, kSmallFileLimit, &bytes) != platform::FileReadResult::kOk) return false;
  if (bytes.empty()) return false;
  *out = std::move(bytes);
  return true;
}

bool GetAppPropertyString(pvr::Applications* apps, uint32_t property, std::string* out, std::string_view app_key) {
  if (!apps || !out) return false;
  std::string buffer(kPropertyBufferSize, '\0');
  int32_t error = 0;
  const uint32_t length =
      apps->GetApplicationPropertyString(Key(app_key), property, buffer.data(), kPropertyBufferSize, &error);
  if (error != 0 || length < 1 || length > kPropertyBufferSize) return false;
  if (buffer.find('\0') != length - 1) return false;
  buffer.resize(length - 1);
  *out = std::move(buffer);
  return true;
}

bool GetAppBinaryPath(pvr::Applications* apps, fs::path* out, std::string_view app_key) {
  std::string text;
  if (!GetAppPropertyString(apps, pvr::kAppPropertyBinaryPath, &text, app_key) || text.empty()) return false;
  (void)Utf8ToWide(text);  // invalid UTF-8 throws: the callers' exception stage
  fs::path path(text);
  if (!path.is_absolute()) return false;
  *out = std::move(path);
  return true;
}

bool PathsEqualIgnoringCase(const fs::path& a, const fs::path& b) {
  return a.lexically_normal().native() == b.lexically_normal().native();
}

bool Utf8ToWideStrict(const std::string& text, std::u16string* out) {
  std::u16string wide;
  if (!quorix_text::DecodeUtf8(text.data(), text.size(), &wide)) return false;
  *out = std::move(wide);
  return true;
}

bool NormalizeDrivePath(const std::u16string& wide, fs::path* out) {
  if (wide.empty() || wide[0] != u'/') return false;
  for (const char16_t c : wide) {
    if (c < 32 || c == 127) return false;
  }
  const std::string utf8 = WideToUtf8(wide);
  if (utf8.empty()) return false;  // an unpaired surrogate
  fs::path normal = fs::path(utf8).lexically_normal();
  if (!normal.is_absolute()) return false;
  *out = std::move(normal);
  return true;
}

bool ImageValueToPath(const std::string& value, fs::path* out) {
  if (value.empty() || value.size() > kImageValueLimit || value.find('\0') != std::string::npos) return false;
  std::u16string wide;
  std::string scheme = value.substr(0, 5);
  for (char& c : scheme) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (scheme != "file:") return Utf8ToWideStrict(value, &wide) && NormalizeDrivePath(wide, out);
  if (value.size() < 8 || value.compare(5, 2, "//") != 0) return false;
  if (value.find_first_of("?#") != std::string::npos) return false;
  const size_t path_start = value.find('/', 7);
  if (path_start == std::string::npos) return false;
  const std::string_view host(value.data() + 7, path_start - 7);
  if (!host.empty() && host != "localhost") return false;
  std::string decoded;
  for (size_t i = path_start; i < value.size(); ++i) {
    if (value[i] != '%') {
      decoded += value[i];
      continue;
    }
    const int high = i + 2 < value.size() ? HexValue(value[i + 1]) : -1;
    const int low = high >= 0 ? HexValue(value[i + 2]) : -1;
    if (low < 0 || (high == 0 && low == 0)) return false;
    decoded += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return Utf8ToWideStrict(decoded, &wide) && NormalizeDrivePath(wide, out);
}

bool ImagePathMatches(const std::string& value, const fs::path& expected) {
  fs::path image;
  fs::path wanted;
  std::u16string wide;
  return ImageValueToPath(value, &image) && Utf8ToWideStrict(expected.string(), &wide) &&
         NormalizeDrivePath(wide, &wanted) && image == wanted;
}

bool ResolveAppManifestPath(const fs::path& binary, const std::string& arguments, const fs::path& exe,
                            fs::path* out) {
  if (!binary.is_absolute() || !out) return false;
  const fs::path b = binary.lexically_normal();
  fs::path candidate;
  if (arguments == kAutostartArguments) {
    candidate = b.parent_path() / kAutostartManifestFile;
    std::string content;
    if (!ReadSmallFile(candidate, &content)) return false;
    if (content != BuildAppManifest(b, kAutostartAppKey, true) &&
        content != BuildAppManifest(b, kAutostartAppKey, false)) {
      return false;
    }
  } else if (arguments.empty()) {
    candidate = b.parent_path() / kShippedManifestFile;
    if (!FileHolds(exe.parent_path() / kShippedManifestFile, GetBuiltinAppManifest()) ||
        !FileHolds(candidate, GetBuiltinAppManifest()) ||
        !PathsEqualIgnoringCase(candidate.parent_path() / ".." / kProgramFileName, b)) {
      return false;
    }
  } else {
    return false;
  }
  *out = std::move(candidate);
  return true;
}

bool IsOwnUnifiedRegistration(const fs::path& binary, const std::string& arguments) {
  if (!binary.is_absolute()) return false;
  const fs::path b = binary.lexically_normal();
  if (arguments == kAutostartArguments) {
    std::string content;
    return ReadSmallFile(b.parent_path() / kAutostartManifestFile, &content) &&
           (content == BuildAppManifest(b, kLegacyUnifiedAppKey, false) ||
            content == BuildAppManifest(b, kLegacyUnifiedAppKey, true));
  }
  if (!arguments.empty()) return false;
  const fs::path candidate = b.parent_path() / kShippedManifestFile;
  return FileHolds(candidate, GetBuiltinUnifiedManifest()) &&
         PathsEqualIgnoringCase(candidate.parent_path() / ".." / kProgramFileName, b);
}

bool RegisterAutostartApp(pvr::Applications* apps, const fs::path& exe, bool enable, AutostartRollback* rollback,
                          AutostartDiagnostics* diag) {
  if (!rollback || !diag) return false;
  *rollback = AutostartRollback{};
  rollback->removed.reserve(AutostartRollback::kMaxRemoved);
  *diag = AutostartDiagnostics{};
  const auto fail = [diag](int32_t stage, int32_t error = 0) {
    diag->stage = stage;
    diag->api_error = error;
    return false;
  };
  // A control character would make the generated manifest invalid JSON.
  std::u16string wide_exe;
  if (!apps || exe.empty() || !exe.is_absolute() || !Utf8ToWideStrict(exe.string(), &wide_exe)) {
    return fail(kStageBadArguments);
  }
  for (const char16_t c : wide_exe) {
    if (c < 32 || c == 127) return fail(kStageBadArguments);
  }
  try {
    const std::string key = Key(kAutostartAppKey);
    const fs::path own_manifest = exe.parent_path() / kAutostartManifestFile;
    rollback->installed_before = apps->IsApplicationInstalled(key);
    rollback->auto_launch_before = rollback->installed_before && apps->GetApplicationAutoLaunch(key);
    if (enable) {
      fs::path binary;
      std::string arguments;
      fs::path manifest;
      if (rollback->installed_before) {
        if (!IdentifyRegistration(apps, exe, &binary, &arguments, &manifest)) return fail(kStageUnrecognised);
        rollback->owned_before = PathsEqualIgnoringCase(binary, exe) && arguments == kAutostartArguments &&
                                 PathsEqualIgnoringCase(manifest, own_manifest);
      }
      while (!rollback->owned_before && apps->IsApplicationInstalled(key)) {
        if (rollback->removed.size() >= AutostartRollback::kMaxRemoved) return fail(kStageTooManyRemovals);
        if (!IdentifyRegistration(apps, exe, &binary, &arguments, &manifest)) return fail(kStageUnrecognised);
        for (const fs::path& removed : rollback->removed) {
          if (PathsEqualIgnoringCase(removed, manifest)) return fail(kStageReinstated);
        }
        if (const int32_t error = apps->RemoveApplicationManifest(manifest.string())) {
          return fail(kStageRemoveFailed, error);
        }
        rollback->changed = 1;
        rollback->removed.push_back(manifest);
      }
      // Replaced durably: a torn manifest would no longer be recognised as
      // ours, and could then never be repaired.
      const std::string text = BuildAppManifest(exe.lexically_normal(), kAutostartAppKey, true);
      if (!platform::ReplaceFileDurably(own_manifest, text, 0644)) {
        throw std::runtime_error("AUTOSTART_MANIFEST_WRITE_FAILED");
      }
      if (const int32_t error = apps->AddApplicationManifest(own_manifest.string(), false)) {
        return fail(kStageAddFailed, error);
      }
      rollback->manifest_added = 1;
      rollback->changed = 1;
    }
    rollback->changed = 1;
    if (const int32_t error = apps->SetApplicationAutoLaunch(key, enable)) return fail(kStageAutoLaunchFailed, error);
    if (apps->GetApplicationAutoLaunch(key) != enable) return fail(kStageNotInstalled);
    return true;
  } catch (const std::exception&) {
    return fail(kStageException);
  }
}

bool RollbackAutostartRegistration(pvr::Applications* apps, const fs::path& exe, const AutostartRollback* rollback,
                                   AutostartDiagnostics* diag) {
  if (!diag) return false;
  if (!rollback || !rollback->changed) return true;
  if (!apps) {
    diag->rollback_complete = 0;
    return false;
  }
  bool complete = true;
  try {
    const std::string key = Key(kAutostartAppKey);
    if (rollback->manifest_added && !rollback->owned_before &&
        apps->RemoveApplicationManifest((exe.parent_path() / kAutostartManifestFile).string()) != 0) {
      complete = false;
    }
    for (const fs::path& manifest : rollback->removed) {
      if (apps->AddApplicationManifest(manifest.string(), false) != 0) complete = false;
    }
    if (rollback->installed_before) {
      const bool before = rollback->auto_launch_before != 0;
      if (apps->SetApplicationAutoLaunch(key, before) != 0 || apps->GetApplicationAutoLaunch(key) != before) {
        complete = false;
      }
    }
  } catch (const std::exception&) {
    complete = false;
  }
  diag->rollback_complete = complete ? 1 : 0;
  return complete;
}

bool VerifyAutostartRegistration(pvr::Applications* apps, const fs::path& exe, bool expect_enabled,
                                 AutostartDiagnostics* diag) {
  if (!diag) return false;
  const std::string key = Key(kAutostartAppKey);
  if (!apps || !apps->IsApplicationInstalled(key) || apps->GetApplicationAutoLaunch(key) != expect_enabled) {
    diag->stage = kStageNotInstalled;
    return false;
  }
  if (!expect_enabled) return true;
  fs::path binary;
  std::string arguments;
  std::string image;
  if (!GetAppBinaryPath(apps, &binary, key) || !PathsEqualIgnoringCase(binary, exe) ||
      !GetAppPropertyString(apps, pvr::kAppPropertyArguments, &arguments, key) || arguments != kAutostartArguments ||
      !GetAppPropertyString(apps, pvr::kAppPropertyImagePath, &image, key) ||
      !ImagePathMatches(image, exe.parent_path() / kIconFile)) {
    diag->stage = kStageMismatch;
    return false;
  }
  return CheckLegacyUnifiedApp(apps, diag);
}

bool CheckLegacyUnifiedApp(pvr::Applications* apps, AutostartDiagnostics* diag) {
  if (!apps || !diag) return false;
  const std::string key = Key(kLegacyUnifiedAppKey);
  diag->legacy_present = apps->IsApplicationInstalled(key);
  if (!diag->legacy_present) {
    diag->legacy_autostart_off = 1;
    diag->legacy_verified = 1;
    return true;
  }
  fs::path binary;
  std::string arguments;
  if (!GetAppBinaryPath(apps, &binary, key) ||
      !GetAppPropertyString(apps, pvr::kAppPropertyArguments, &arguments, key) ||
      !IsOwnUnifiedRegistration(binary, arguments)) {
    return true;  // someone else's: left alone
  }
  diag->legacy_owned = 1;
  bool saved = false;
  try {
    saved = apps->GetApplicationAutoLaunch(key);
    if (saved) {
      if (const int32_t error = apps->SetApplicationAutoLaunch(key, false)) {
        diag->stage = kStageLegacyOffFailed;
        diag->api_error = error;
        RestoreLegacyAutoLaunch(apps, saved, diag);
        return false;
      }
    }
    if (!apps->GetApplicationAutoLaunch(key)) {
      diag->legacy_autostart_off = 1;
      diag->legacy_verified = 1;
      return true;
    }
    diag->stage = kStageLegacyStillOn;
  } catch (const std::exception&) {
    diag->stage = kStageLegacyException;
  }
  RestoreLegacyAutoLaunch(apps, saved, diag);
  return false;
}

void RestoreLegacyAutoLaunch(pvr::Applications* apps, bool saved, AutostartDiagnostics* diag) noexcept {
  if (!diag) return;
  try {
    const std::string key = Key(kLegacyUnifiedAppKey);
    if (!apps || apps->SetApplicationAutoLaunch(key, saved) != 0 || apps->GetApplicationAutoLaunch(key) != saved) {
      diag->rollback_complete = 0;
    }
  } catch (...) {
    diag->rollback_complete = 0;
  }
  diag->legacy_autostart_off = saved ? 0 : 1;
}
