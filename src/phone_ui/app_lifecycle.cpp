#include "phone_ui/app_lifecycle.h"

#include <charconv>
#include <filesystem>
#include <iostream>
#include <optional>

#include "core/local_data_store.h"
#include "platform/env.h"
#include "platform/files.h"

namespace {

constexpr PhoneAppCatalogEntry kEmptyCatalogEntry = {"", "", "0.1", kAppKindRemovable, kSurfaceMain};

bool ValidIndex(uint32_t index) { return index < kAppCount; }
bool ValidSlot(int32_t slot) { return slot >= 0 && slot < static_cast<int32_t>(kAppCount); }

const char* SlotId(int32_t slot) { return ValidSlot(slot) ? kAppCatalog[static_cast<uint32_t>(slot)].id : "-"; }

void AppendNumber(std::string& out, uint64_t value) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, result.ptr);
}

struct Counter {
  const char* name;
  uint64_t PhoneAppRuntimeEntry::*field;
};

// The two files list the same counters in different orders.
constexpr Counter kSnapshotCounters[] = {
    {"launch", &PhoneAppRuntimeEntry::launch},   {"foreground", &PhoneAppRuntimeEntry::foreground},
    {"background", &PhoneAppRuntimeEntry::background}, {"resume", &PhoneAppRuntimeEntry::resume},
    {"suspend", &PhoneAppRuntimeEntry::suspend}, {"close", &PhoneAppRuntimeEntry::close},
    {"detach", &PhoneAppRuntimeEntry::detach},   {"reattach", &PhoneAppRuntimeEntry::reattach},
    {"uninstall", &PhoneAppRuntimeEntry::uninstall},
};
constexpr Counter kStateFileCounters[] = {
    {"launch", &PhoneAppRuntimeEntry::launch},   {"foreground", &PhoneAppRuntimeEntry::foreground},
    {"background", &PhoneAppRuntimeEntry::background}, {"resume", &PhoneAppRuntimeEntry::resume},
    {"suspend", &PhoneAppRuntimeEntry::suspend}, {"detach", &PhoneAppRuntimeEntry::detach},
    {"reattach", &PhoneAppRuntimeEntry::reattach}, {"close", &PhoneAppRuntimeEntry::close},
    {"uninstall", &PhoneAppRuntimeEntry::uninstall},
};

// separator, name, equals, value for each counter.
template <size_t N>
void AppendCounters(std::string& out, const PhoneAppRuntimeEntry& app, const Counter (&counters)[N], char separator,
                    char equals) {
  for (const Counter& counter : counters) {
    out += separator;
    out += counter.name;
    out += equals;
    AppendNumber(out, app.*counter.field);
  }
}

std::string WithCarriageReturns(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

}  // namespace

const PhoneAppCatalogEntry& GetAppCatalogEntry(uint32_t index) {
  return ValidIndex(index) ? kAppCatalog[index] : kEmptyCatalogEntry;
}

bool IsAppInstalled(const PhoneAppLifecycle& state, uint32_t index) {
  return ValidIndex(index) && state.apps[index].installed;
}

bool CanDetachApp(const PhoneAppLifecycle& state, uint32_t index) {
  return IsAppInstalled(state, index) && kAppCatalog[index].surface != kSurfaceMain;
}

bool CanUninstallApp(const PhoneAppLifecycle& state, uint32_t index) {
  return IsAppInstalled(state, index) && kAppCatalog[index].kind == kAppKindRemovable;
}

const char* AppStateName(const PhoneAppLifecycle& state, uint32_t index) {
  if (!ValidIndex(index)) return "INVALID";
  const PhoneAppRuntimeEntry& app = state.apps[index];
  if (!app.installed) return "UNINSTALLED";
  switch (app.state) {
    case kAppStopped: return "STOPPED";
    case kAppForeground: return "FOREGROUND";
    case kAppBackground: return "BACKGROUND";
    default: return "UNKNOWN";
  }
}

const char* AppPlacementName(const PhoneAppLifecycle& state, uint32_t index) {
  if (!ValidIndex(index)) return "INVALID";
  const PhoneAppRuntimeEntry& app = state.apps[index];
  if (!app.installed) return "NONE";
  return app.detached ? "DETACHED" : "MAIN";
}

const char* AppSurfaceName(uint32_t index) {
  if (!ValidIndex(index)) return "INVALID";
  switch (kAppCatalog[index].surface) {
    case kSurfaceMain: return "MAIN";
    case kSurfaceSpatial: return "SPATIAL";
    case kSurfaceCard: return "CARD";
    default: return "UNKNOWN";
  }
}

bool PhoneAppLifecycle::Close(uint32_t index) {
  if (!ValidIndex(index)) return false;
  PhoneAppRuntimeEntry& app = apps[index];
  const char* id = kAppCatalog[index].id;
  if (app.state == kAppStopped && !app.detached) {
    std::cout << "[PF19_APP] CLOSE=NOOP app=" << id << " reason=ALREADY_STOPPED\n";
    return false;
  }
  const bool was_detached = detached_app == static_cast<int32_t>(index);
  ++app.close;
  app.state = kAppStopped;
  app.detached = false;
  if (main_foreground_app == static_cast<int32_t>(index)) main_foreground_app = -1;
  if (was_detached) detached_app = -1;
  std::cout << "[PF19_APP] CLOSE=PASS app=" << id << " placement=" << (was_detached ? "DETACHED" : "MAIN")
            << " close_count=" << app.close << "\n";
  PersistAppRuntime(*this);
  return true;
}

bool PhoneAppLifecycle::DetachForeground() {
  if (!ValidSlot(main_foreground_app)) {
    std::cout << "[PF19_APP] DETACH=FAIL reason=NO_MAIN_FOREGROUND_APP\n";
    return false;
  }
  const auto index = static_cast<uint32_t>(main_foreground_app);
  const char* id = kAppCatalog[index].id;
  if (!CanDetachApp(*this, index)) {
    std::cout << "[PF19_APP] DETACH=FAIL app=" << id << " reason=SURFACE_POLICY surface=" << AppSurfaceName(index)
              << "\n";
    return false;
  }
  if (ValidSlot(detached_app) && detached_app != main_foreground_app) {
    std::cout << "[PF19_APP] DETACH=FAIL app=" << id << " reason=DETACHED_SLOT_BUSY occupied_by="
              << kAppCatalog[static_cast<uint32_t>(detached_app)].id << "\n";
    return false;
  }
  PhoneAppRuntimeEntry& app = apps[index];
  ++app.detach;
  app.state = kAppForeground;
  app.detached = true;
  detached_app = main_foreground_app;
  main_foreground_app = -1;
  std::cout << "[PF19_APP] DETACH=PASS app=" << id << " target=secondary detach_count=" << app.detach << "\n";
  PersistAppRuntime(*this);
  return true;
}

bool PhoneAppLifecycle::Uninstall(uint32_t index) {
  if (!IsAppInstalled(*this, index)) return false;
  const char* id = kAppCatalog[index].id;
  if (kAppCatalog[index].kind != kAppKindRemovable) {
    std::cout << "[PF19_APP] UNINSTALL=BLOCKED app=" << id << " reason=PROTECTED_KIND\n";
    return false;
  }
  PhoneAppRuntimeEntry& app = apps[index];
  ++app.uninstall;
  app.state = kAppStopped;
  app.installed = false;
  app.detached = false;
  if (main_foreground_app == static_cast<int32_t>(index)) main_foreground_app = -1;
  if (detached_app == static_cast<int32_t>(index)) detached_app = -1;
  last_uninstalled_app = index;
  std::cout << "[PF19_APP] UNINSTALL=PASS app=" << id << " uninstall_count=" << app.uninstall
            << " launch=BLOCKED\n";
  PersistAppRuntime(*this);
  return true;
}

std::string FormatAppRuntimeSnapshot(const PhoneAppLifecycle& state) {
  std::string out =
      "format=QuorixPhoneAppRuntimeState\n"
      "schema_version=1\n"
      "transient_lifecycle_persisted=NO\n"
      "detached_placement_persisted=NO\n"
      "last_uninstalled_app=";
  out += ValidIndex(state.last_uninstalled_app) ? kAppCatalog[state.last_uninstalled_app].id : "-";
  out += '\n';
  for (uint32_t i = 0; i < kAppCount; ++i) {
    const PhoneAppRuntimeEntry& app = state.apps[i];
    out += "app=";
    out += kAppCatalog[i].id;
    out += app.installed ? ";installed=YES" : ";installed=NO";
    AppendCounters(out, app, kSnapshotCounters, ';', '=');
    out += '\n';
  }
  return out;
}

std::string FormatAppRuntimeStateFile(const PhoneAppLifecycle& state) {
  std::string out = "version=2\npf_step=19\nmain_foreground_app=";
  out += SlotId(state.main_foreground_app);
  out += "\ndetached_foreground_app=";
  out += SlotId(state.detached_app);
  out += "\nlast_uninstalled_app=";
  out += ValidIndex(state.last_uninstalled_app) ? kAppCatalog[state.last_uninstalled_app].id : "-";
  out += '\n';
  for (uint32_t i = 0; i < kAppCount; ++i) {
    const PhoneAppRuntimeEntry& app = state.apps[i];
    out += kAppCatalog[i].id;
    out += app.installed ? "=installed:YES" : "=installed:NO";
    out += ",state:";
    out += AppStateName(state, i);
    out += ",placement:";
    out += AppPlacementName(state, i);
    AppendCounters(out, app, kStateFileCounters, ',', ':');
    out += '\n';
  }
  return out;
}

bool SaveAppRuntimeState(const PhoneAppLifecycle& state) {
  if (state.store == nullptr) return true;
  const bool saved = state.store->Write("settings", "app_runtime_v1.txt", FormatAppRuntimeSnapshot(state));
  std::cout << "[PF20_APPSTATE] SAVE=" << (saved ? "PASS" : "FAIL")
            << " installed_state=YES counters=YES foreground_state=NO detached_state=NO\n";
  return saved;
}

bool PersistAppRuntime(const PhoneAppLifecycle& state) {
  const bool saved = SaveAppRuntimeState(state);
  if (!saved) std::cout << "[PF20_APPSTATE] SAVE=FAIL source=WRITE_RUNTIME_SNAPSHOT\n";
  const std::optional<std::string> local = platform::env::Get("LOCALAPPDATA");
  if (!local || local->empty()) return false;
  const std::filesystem::path folder = std::filesystem::path(*local) / "QuorixPhoneReal2PCTest";
  if (!platform::CreatePrivateDirectories(folder)) return false;
  const bool written = platform::WriteFileInPlace(folder / "pf18_app_runtime_state.txt",
                                                  WithCarriageReturns(FormatAppRuntimeStateFile(state)));
  return saved && written;
}
