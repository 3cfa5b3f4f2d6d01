#pragma once
// The launcher's twelve apps: the fixed catalog, and per app whether it is
// installed, its run state, where it is shown and how often each move
// happened. Close, detach and uninstall act on the state; each success is
// written to "app_runtime_v1.txt" in the local data store and to
// "pf18_app_runtime_state.txt" under LOCALAPPDATA (written in place, not
// atomically; nothing reads either file back). Main thread only.
//
// Every index is taken as unsigned: an index above 11 (a negative one
// included) is refused by every query and operation.
#include <array>
#include <cstdint>
#include <string>

struct LocalDataStore;

inline constexpr uint32_t kAppCount = 12;

enum AppKind : uint32_t { kAppKindCore = 0, kAppKindRemovable = 1, kAppKindSystem = 2 };
enum AppSurface : uint32_t { kSurfaceMain = 0, kSurfaceSpatial = 1, kSurfaceCard = 2 };
enum AppState : uint32_t { kAppStopped = 0, kAppForeground = 1, kAppBackground = 2 };

struct PhoneAppCatalogEntry {
  const char* id;
  const char* label;
  const char* version;
  uint32_t kind;     // AppKind; only kind 1 can be uninstalled
  uint32_t surface;  // AppSurface
};

inline constexpr std::array<PhoneAppCatalogEntry, kAppCount> kAppCatalog = {{
    {"app.quorix", "QUORIX", "0.1", kAppKindCore, kSurfaceSpatial},
    {"app.browser", "BROWSER", "0.1", kAppKindCore, kSurfaceSpatial},
    {"app.desktop", "DESKTOP", "0.1", kAppKindCore, kSurfaceSpatial},
    {"app.notes", "NOTES", "0.1", kAppKindRemovable, kSurfaceSpatial},
    {"app.gallery", "GALLERY", "0.1", kAppKindRemovable, kSurfaceSpatial},
    {"app.timer", "TIMER", "0.1", kAppKindRemovable, kSurfaceCard},
    {"app.calendar", "CALENDAR", "0.1", kAppKindRemovable, kSurfaceSpatial},
    {"app.context", "CONTEXT", "0.1", kAppKindRemovable, kSurfaceSpatial},
    {"app.cards", "CARDS", "0.1", kAppKindRemovable, kSurfaceCard},
    {"app.settings", "SETTINGS", "0.1", kAppKindSystem, kSurfaceMain},
    {"app.focus", "FOCUS", "0.1", kAppKindSystem, kSurfaceMain},
    {"app.about", "ABOUT", "0.1", kAppKindSystem, kSurfaceMain},
}};

struct PhoneAppRuntimeEntry {
  uint32_t state = kAppStopped;
  bool installed = true;
  bool detached = false;
  uint64_t launch = 0;
  uint64_t foreground = 0;
  uint64_t background = 0;
  uint64_t resume = 0;
  uint64_t suspend = 0;
  uint64_t close = 0;
  uint64_t detach = 0;
  uint64_t reattach = 0;
  uint64_t uninstall = 0;
};

// A fresh state has every app installed and stopped, no counts, both slots
// empty and no app uninstalled.
struct PhoneAppLifecycle {
  std::array<PhoneAppRuntimeEntry, kAppCount> apps{};
  int32_t main_foreground_app = -1;  // shown on the main phone, -1 none
  int32_t detached_app = -1;         // in the detached slot, -1 none
  uint32_t last_uninstalled_app = kAppCount;  // kAppCount or more: none
  LocalDataStore* store = nullptr;  // receives "app_runtime_v1.txt"; null skips it

  // Each prints one "[PF19_APP]" line unless the index is refused silently,
  // and persists after a success (whose result stays true when that fails).
  bool Close(uint32_t index);
  bool DetachForeground();
  bool Uninstall(uint32_t index);
};

// The row of `index`; above 11 an empty row (id and label "", version "0.1",
// kind 1, surface MAIN).
const PhoneAppCatalogEntry& GetAppCatalogEntry(uint32_t index);
bool IsAppInstalled(const PhoneAppLifecycle& state, uint32_t index);
// Installed and not shown on the main surface only.
bool CanDetachApp(const PhoneAppLifecycle& state, uint32_t index);
// Installed and of kind 1.
bool CanUninstallApp(const PhoneAppLifecycle& state, uint32_t index);
// "INVALID", "UNINSTALLED", "STOPPED", "FOREGROUND", "BACKGROUND" or "UNKNOWN".
const char* AppStateName(const PhoneAppLifecycle& state, uint32_t index);
// "INVALID", "NONE" (not installed), "DETACHED" or "MAIN".
const char* AppPlacementName(const PhoneAppLifecycle& state, uint32_t index);
// "INVALID" above 11, else "MAIN", "SPATIAL", "CARD" or "UNKNOWN".
const char* AppSurfaceName(uint32_t index);

// The two file bodies, with line feeds.
std::string FormatAppRuntimeSnapshot(const PhoneAppLifecycle& state);
std::string FormatAppRuntimeStateFile(const PhoneAppLifecycle& state);

// Writes "app_runtime_v1.txt" into the store's "settings" area and prints its
// "[PF20_APPSTATE]" line; true without a store (nothing written or printed).
bool SaveAppRuntimeState(const PhoneAppLifecycle& state);
// SaveAppRuntimeState, then "pf18_app_runtime_state.txt" (carriage return and
// line feed per line) in LOCALAPPDATA/QuorixPhoneReal2PCTest. False when
// either failed or LOCALAPPDATA is unset or empty.
bool PersistAppRuntime(const PhoneAppLifecycle& state);
