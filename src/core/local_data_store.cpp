#include "core/local_data_store.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string_view>

#include "core/environment.h"
#include "core/text.h"
#include "platform/files.h"

namespace {

constexpr const char* kManifestName = "store_manifest.txt";

std::atomic<uint64_t> g_temp_counter{0};

// A path from UTF-8 text; false for invalid UTF-8 (nothing is touched then).
bool ToPath(const std::string& text, std::filesystem::path* out) {
  std::u16string unused;
  if (text.empty() || !quorix_text::DecodeUtf8(text.data(), text.size(), &unused)) return false;
  *out = std::filesystem::path(text);
  return true;
}

bool IsKnownArea(const std::string& area) {
  for (const StoreArea& a : kStoreAreas) {
    if (area == a.name) return true;
  }
  return false;
}

std::string ManifestText() {
  std::string text =
      "format=QuorixPhoneLocalDataStore\n"
      "schema_version=1\n"
      "root_scope=LOCAL_USER_ONLY\n"
      "cloud_sync_default=NO\n"
      "server_upload_default=NO\n"
      "raw_vrchat_log_copy=NO\n"
      "gallery_photo_copy=NO_INDEX_ONLY\n"
      "atomic_write=TEMP_THEN_REPLACE\n";
  text += "max_value_bytes=" + std::to_string(kStoreMaxValueBytes) + "\n";
  text += "area_count=" + std::to_string(kStoreAreas.size()) + "\n";
  for (size_t i = 0; i < kStoreAreas.size(); ++i) {
    text += "area." + std::to_string(i) + "=" + kStoreAreas[i].name + kStoreAreas[i].manifest_suffix + "\n";
  }
  return text;
}

void PrintLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

}  // namespace

bool IsValidStoreKey(const std::string& key) {
  if (key.empty() || key.size() > kStoreMaxKeyBytes) return false;
  for (const char c : key) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                    c == '.' || c == '_';
    if (!ok) return false;
  }
  return key != "." && key.find("..") == std::string::npos;
}

std::string DefaultStoreRoot() {
  const std::string base = WideToUtf8(ReadEnvironmentString(u"LOCALAPPDATA"));
  if (base.empty()) return {};
  try {
    return (std::filesystem::path(base) / "QuorixPhoneReal2PCTest" / "data" / "v1").string();
  } catch (...) {
    return {};
  }
}

bool WriteFileAtomically(const std::string& target, const std::string& bytes) {
  try {
    std::filesystem::path path;
    if (!ToPath(target, &path)) return false;
    const std::filesystem::path name = path.filename();
    if (name.empty()) return false;
    std::filesystem::path parent = path.parent_path();
    if (parent.empty()) parent = ".";
    if (!platform::CreatePrivateDirectories(parent)) return false;
    const uint64_t n = ++g_temp_counter;
    const std::filesystem::path temp = parent / (name.string() + ".tmp." + std::to_string(n));
    // The counter starts at 1 in every process: a temporary left by a crash
    // would otherwise refuse this write. Only a file or link goes; a folder
    // there still fails the write.
    std::error_code ec;
    if (std::filesystem::is_symlink(temp, ec) || std::filesystem::is_regular_file(temp, ec)) {
      std::filesystem::remove(temp, ec);
    }
    return platform::ReplaceFileDurablyThrough(path, bytes, temp, 0600);
  } catch (...) {
    return false;
  }
}

bool LocalDataStore::Initialize(const std::string& root_folder) {
  // A repeat may name another root: nothing is usable until its layout exists.
  initialized = false;
  root = root_folder.empty() ? DefaultStoreRoot() : root_folder;
  if (root.empty()) {
    PrintLine("[PF20_STORE] INITIALIZE=FAIL reason=ROOT_PATH\n");
    return false;
  }
  if (!CreateLayout()) {
    PrintLine("[PF20_STORE] INITIALIZE=FAIL reason=LAYOUT root=" + root + "\n");
    return false;
  }
  bool manifest_written = false;
  try {
    manifest_written = WriteFileAtomically((std::filesystem::path(root) / kManifestName).string(), ManifestText());
  } catch (...) {
    manifest_written = false;
  }
  initialized = true;
  PrintLine("[PF20_STORE] INITIALIZE=PASS root=" + root + " schema=1 areas=" + std::to_string(kStoreAreas.size()) +
            " atomic_write=YES cloud_sync=NO policy_manifest=" + (manifest_written ? "PASS" : "WARN") + "\n");
  return manifest_written;
}

bool LocalDataStore::CreateLayout() {
  try {
    std::filesystem::path base;
    if (!ToPath(root, &base)) return false;
    if (!platform::CreatePrivateDirectories(base)) return false;
    for (const StoreArea& area : kStoreAreas) {
      if (!platform::CreatePrivateDirectories(base / area.name)) return false;
    }
    return true;
  } catch (...) {
    return false;
  }
}

bool LocalDataStore::ResolveKeyPath(const std::string& area, const std::string& key, std::string* out) const {
  if (out == nullptr || !IsKnownArea(area) || !IsValidStoreKey(key)) return false;
  try {
    std::filesystem::path base;
    if (!ToPath(root, &base)) return false;
    *out = (base / area / key).string();
    return true;
  } catch (...) {
    return false;
  }
}

bool LocalDataStore::Read(const std::string& area, const std::string& key, std::string* out) {
  if (!initialized || out == nullptr) return false;
  std::string path;
  if (!ResolveKeyPath(area, key, &path)) return false;
  try {
    if (platform::ReadRegularFile(path, kStoreMaxValueBytes, out) != platform::FileReadResult::kOk) return false;
  } catch (...) {
    return false;
  }
  ++read_count;
  return true;
}

bool LocalDataStore::Write(const std::string& area, const std::string& key, const std::string& value) {
  std::string path;
  if (!initialized || value.size() > kStoreMaxValueBytes || !ResolveKeyPath(area, key, &path)) {
    ++rejected_count;
    return false;
  }
  if (!WriteFileAtomically(path, value)) return false;
  ++write_count;
  return true;
}
