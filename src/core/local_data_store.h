#pragma once
// Small named values kept as files under one root folder: ten fixed areas,
// strict key names, a size limit per value, and every file replaced
// atomically so that a crash leaves the old or the new value, never a torn one.
#include <array>
#include <cstdint>
#include <string>

// One area of the store: a folder directly under the root.
struct StoreArea {
  const char* name;
  const char* manifest_suffix;  // appended to the area's manifest line
};

inline constexpr std::array<StoreArea, 10> kStoreAreas = {{
    {"settings", ""},
    {"window_layouts", ""},
    {"notes", ""},
    {"calendar", ""},
    {"join_log", ",auto_cloud_sync=NO"},
    {"encounter_history", ",auto_cloud_sync=NO"},
    {"gallery_index", ",auto_cloud_sync=NO"},
    {"browser_data", ",auto_cloud_sync=NO"},
    {"templates", ""},
    {"timers", ""},
}};

inline constexpr uint64_t kStoreMaxValueBytes = 16777216;
inline constexpr size_t kStoreMaxKeyBytes = 96;

// 1 to 96 bytes of A-Z, a-z, 0-9, "-", "." and "_"; not "." and no "..".
bool IsValidStoreKey(const std::string& key);

// LOCALAPPDATA/QuorixPhoneReal2PCTest/data/v1 as UTF-8; empty when
// LOCALAPPDATA is unset or empty.
std::string DefaultStoreRoot();

// Replaces the file at `target` (UTF-8 path) with `bytes`: the bytes go to
// "<name>.tmp.<n>" beside it (n from one process-wide counter starting at 1),
// are flushed, and the file is moved over the target. Missing parent folders
// are created. On any failure the temporary file is removed, the target keeps
// its previous content and the result is false. Never throws.
bool WriteFileAtomically(const std::string& target, const std::string& bytes);

struct LocalDataStore {
  std::string root;  // UTF-8; empty until Initialize
  bool initialized = false;
  uint64_t write_count = 0;
  uint64_t read_count = 0;
  uint64_t rejected_count = 0;  // writes refused before any file was touched

  // Sets the root (`root_folder`, else DefaultStoreRoot()), creates the
  // layout and rewrites "store_manifest.txt". Prints one "[PF20_STORE]" line.
  // True only when the manifest was written; `initialized` is set as soon as
  // the folders exist.
  bool Initialize(const std::string& root_folder);
  // Creates the root and the ten area folders with missing parents.
  bool CreateLayout();
  // The whole value of `key` in `area` into `*out`; on false `*out` is untouched.
  bool Read(const std::string& area, const std::string& key, std::string* out);
  bool Write(const std::string& area, const std::string& key, const std::string& value);
  // root/area/key as UTF-8 when the area is one of the ten and the key valid.
  bool ResolveKeyPath(const std::string& area, const std::string& key, std::string* out) const;
};
