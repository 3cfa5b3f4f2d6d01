#include "core/ui_settings.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <filesystem>
#include <locale>
#include <sstream>

#include "core/environment.h"
#include "core/event_log.h"
#include "core/json.h"
#include "core/text.h"
#include "platform/files.h"

namespace {

constexpr const char* kArea = "settings";
constexpr const char* kKey = "wrist_home_v1";
constexpr size_t kMaxOlderFileBytes = 1048576;
constexpr size_t kMaxPeerModes = 10000;
constexpr size_t kMaxPeerKeyBytes = 258;

const JsonValue* FindNumber(const JsonValue& root, const char* key) {
  const JsonValue* v = root.Find(key);
  return v != nullptr && v->type == JsonType::Number ? v : nullptr;
}

void ApplyBool(const JsonValue& root, const char* key, bool* field) {
  const JsonValue* v = root.Find(key);
  if (v != nullptr && v->type == JsonType::Bool) *field = v->bool_value;
}

// A finite number clamped to lo..hi, then truncated.
void ApplyClampedUnsigned(const JsonValue& root, const char* key, double lo, double hi, uint32_t* field) {
  const JsonValue* v = FindNumber(root, key);
  if (v != nullptr && std::isfinite(v->number)) *field = static_cast<uint32_t>(std::clamp(v->number, lo, hi));
}

// Rounded to single precision first and compared with the single-precision
// bounds, so that every value Save writes at a bound loads back.
void ApplyFloatInRange(const JsonValue& root, const char* key, float lo, float hi, float* field) {
  const JsonValue* v = FindNumber(root, key);
  if (v == nullptr || !std::isfinite(v->number)) return;
  if (v->number > FLT_MAX || v->number < -FLT_MAX) return;
  const auto f = static_cast<float>(v->number);
  if (f >= lo && f <= hi) *field = f;
}

void ApplyPeerModes(const JsonValue& root, std::map<std::string, int32_t>* peer_modes) {
  const JsonValue* list = root.Find("peer_modes");
  if (list == nullptr || list->type != JsonType::Array || list->items.size() > kMaxPeerModes) return;
  for (const JsonValue& item : list->items) {
    const JsonValue* key = item.Find("key");
    const JsonValue* mode = item.Find("mode");
    if (key == nullptr || key->type != JsonType::String || key->text.size() > kMaxPeerKeyBytes) continue;
    if (mode == nullptr || mode->type != JsonType::Number) continue;
    // Any value that truncates to 0..2 (2.9 gives 2, -0.5 gives 0).
    if (!(mode->number > -1.0 && mode->number < 3.0)) continue;
    (*peer_modes)[key->text] = static_cast<int32_t>(mode->number);
  }
}

bool IsSavedKeyByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
         c == '/' || c == '.';
}

enum class OlderRead { kNotOpened, kText, kUnreadable };

// One file of an older version, read whole in binary.
OlderRead ReadOlderFile(const std::filesystem::path& path, std::string* text) {
  switch (platform::ReadRegularFile(path, kMaxOlderFileBytes, text)) {
    case platform::FileReadResult::kOk:
      return OlderRead::kText;
    case platform::FileReadResult::kNotOpened:
      return OlderRead::kNotOpened;
    case platform::FileReadResult::kTooLarge:
    case platform::FileReadResult::kReadError:
      break;
  }
  return OlderRead::kUnreadable;
}

// The settings text of an older version: UI2 first, then, while nothing was
// found, the first of K19, K18, K17 that opens. False when a file opened but
// could not be read whole (the defaults stay then).
bool ReadOlderSettings(const std::filesystem::path& local, std::string* text) {
  const std::filesystem::path ui2 = local / "QuorixPhone" / "UI2" / "data" / "v1" / kArea / kKey;
  if (ReadOlderFile(ui2, text) == OlderRead::kUnreadable) return false;
  if (!text->empty()) return true;
  for (const char* k : {"K19", "K18", "K17"}) {
    const std::filesystem::path path = local / "QuorixPhoneReal2PCTest" / k / "data" / "v1" / kArea / kKey;
    const OlderRead result = ReadOlderFile(path, text);
    if (result == OlderRead::kUnreadable) return false;
    if (result == OlderRead::kText) return true;
  }
  return true;
}

}  // namespace

bool UiSettings::Load(const std::string& root_folder) {
  std::string root = root_folder;
  std::u16string local;
  if (root.empty()) {
    local = ReadEnvironmentString(u"LOCALAPPDATA");
    if (local.empty()) return false;
    try {
      root = (std::filesystem::path(WideToUtf8(local)) / "QuorixPhone" / "UI3" / "data" / "v1").string();
    } catch (...) {
      return false;
    }
  }
  if (!store.Initialize(root)) return false;

  std::string text;
  if (!store.Read(kArea, kKey, &text) && root_folder.empty()) {
    try {
      if (!ReadOlderSettings(std::filesystem::path(WideToUtf8(local)), &text)) return true;
    } catch (...) {
      return true;
    }
  }
  if (text.empty()) return true;

  JsonValue doc;
  if (!ParseJson(text, doc)) return true;

  ApplyBool(doc, "ring_black", &ring_black);
  ApplyBool(doc, "notifications", &notifications);
  ApplyBool(doc, "dark", &dark);
  ApplyBool(doc, "english", &english);
  ApplyBool(doc, "pointer_left", &pointer_left);
  ApplyBool(doc, "pointer_blue", &pointer_blue);

  if (const JsonValue* v = FindNumber(doc, "pointer_size_percent"); v != nullptr && std::isfinite(v->number)) {
    const auto percent = static_cast<uint32_t>(std::clamp(v->number, 50.0, 200.0));
    pointer_size_percent = (percent + 12) / 25 * 25;
  }
  ApplyClampedUnsigned(doc, "ui_volume", 0.0, 100.0, &ui_volume);
  ApplyClampedUnsigned(doc, "browser_volume", 0.0, 200.0, &browser_volume);

  const std::pair<const char*, uint32_t*> sizes[] = {{"browser_size_youtube", &browser_size_youtube},
                                                     {"browser_size_x", &browser_size_x},
                                                     {"browser_size_web", &browser_size_web}};
  for (const auto& [key, field] : sizes) {
    const JsonValue* v = FindNumber(doc, key);
    if (v != nullptr && std::isfinite(v->number) && v->number >= 0.0 && v->number <= 2.0 &&
        v->number == std::floor(v->number)) {
      *field = static_cast<uint32_t>(v->number);
    }
  }

  if (const JsonValue* v = FindNumber(doc, "notification_mode"); v != nullptr && v->number >= 0.0 && v->number <= 2.0) {
    notification_mode = static_cast<int32_t>(v->number);
  } else {
    notification_mode = notifications ? 0 : 2;
  }
  ApplyPeerModes(doc, &peer_modes);
  notifications = notification_mode != 2;

  ApplyFloatInRange(doc, "wrist_x", -0.2f, 0.2f, &wrist_x);
  ApplyFloatInRange(doc, "wrist_y", -0.2f, 0.2f, &wrist_y);
  ApplyFloatInRange(doc, "wrist_z", -0.2f, 0.2f, &wrist_z);
  ApplyFloatInRange(doc, "normal_x", -1.0f, 1.0f, &normal_x);
  ApplyFloatInRange(doc, "normal_y", -1.0f, 1.0f, &normal_y);
  ApplyFloatInRange(doc, "normal_z", -1.0f, 1.0f, &normal_z);
  const float length = std::sqrt(normal_x * normal_x + normal_y * normal_y + normal_z * normal_z);
  if (length < 0.1f) {
    normal_x = 0.0f;
    normal_y = 1.0f;
    normal_z = 0.0f;
  } else {
    normal_x /= length;
    normal_y /= length;
    normal_z /= length;
  }

  ApplyFloatInRange(doc, "pull_m", 0.015f, 0.08f, &pull_m);
  ApplyFloatInRange(doc, "grab_radius_m", 0.025f, 0.16f, &grab_radius_m);
  ApplyFloatInRange(doc, "spawn_distance_m", 0.35f, 1.5f, &spawn_distance_m);
  ApplyFloatInRange(doc, "spawn_height_m", -0.45f, 0.25f, &spawn_height_m);
  ApplyFloatInRange(doc, "phone_width_m", 0.16f, 0.4f, &phone_width_m);
  ApplyFloatInRange(doc, "ray_pitch_deg", -80.0f, 80.0f, &ray_pitch_deg);
  ApplyFloatInRange(doc, "ray_yaw_deg", -90.0f, 90.0f, &ray_yaw_deg);
  ApplyFloatInRange(doc, "ring_visibility_deg", 5.0f, 90.0f, &ring_visibility_deg);
  ring_visibility_deg = std::clamp(ring_visibility_deg, 5.0f, 90.0f);
  ring_appear_deg = ring_visibility_deg - 1.0f;
  return true;
}

bool UiSettings::Save() {
  ui_volume = std::min<uint32_t>(ui_volume, 100);
  browser_volume = std::min<uint32_t>(browser_volume, 200);
  pointer_size_percent = (std::clamp<uint32_t>(pointer_size_percent, 50, 200) + 12) / 25 * 25;
  for (uint32_t* size : {&browser_size_youtube, &browser_size_x, &browser_size_web}) {
    if (*size > 2) *size = 1;
  }
  // A NaN or infinity would make the whole text unreadable on the next start;
  // such a field goes back to its default instead.
  const UiSettings defaults;
  const std::pair<float*, float> floats[] = {
      {&wrist_x, defaults.wrist_x},
      {&wrist_y, defaults.wrist_y},
      {&wrist_z, defaults.wrist_z},
      {&normal_x, defaults.normal_x},
      {&normal_y, defaults.normal_y},
      {&normal_z, defaults.normal_z},
      {&pull_m, defaults.pull_m},
      {&grab_radius_m, defaults.grab_radius_m},
      {&spawn_distance_m, defaults.spawn_distance_m},
      {&spawn_height_m, defaults.spawn_height_m},
      {&phone_width_m, defaults.phone_width_m},
      {&ray_pitch_deg, defaults.ray_pitch_deg},
      {&ray_yaw_deg, defaults.ray_yaw_deg},
      {&ring_visibility_deg, defaults.ring_visibility_deg},
  };
  for (const auto& [field, fallback] : floats) {
    if (!std::isfinite(*field)) *field = fallback;
  }

  bool written = false;
  try {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out.precision(7);
    auto flag = [](bool b) { return b ? "true" : "false"; };
    out << "{\"ring_black\":" << flag(ring_black) << ",\"notifications\":" << flag(notifications)
        << ",\"wrist_x\":" << wrist_x << ",\"wrist_y\":" << wrist_y << ",\"wrist_z\":" << wrist_z
        << ",\"normal_x\":" << normal_x << ",\"normal_y\":" << normal_y << ",\"normal_z\":" << normal_z
        << ",\"pull_m\":" << pull_m << ",\"grab_radius_m\":" << grab_radius_m
        << ",\"spawn_distance_m\":" << spawn_distance_m << ",\"spawn_height_m\":" << spawn_height_m
        << ",\"phone_width_m\":" << phone_width_m << ",\"ray_pitch_deg\":" << ray_pitch_deg
        << ",\"ray_yaw_deg\":" << ray_yaw_deg << ",\"ring_visibility_deg\":" << ring_visibility_deg
        << ",\"pointer_left\":" << flag(pointer_left) << ",\"pointer_blue\":" << flag(pointer_blue)
        << ",\"pointer_size_percent\":" << pointer_size_percent << ",\"dark\":" << flag(dark)
        << ",\"english\":" << flag(english) << ",\"ui_volume\":" << ui_volume
        << ",\"browser_volume\":" << browser_volume << ",\"browser_size_youtube\":" << browser_size_youtube
        << ",\"browser_size_x\":" << browser_size_x << ",\"browser_size_web\":" << browser_size_web
        << ",\"notification_mode\":" << notification_mode << ",\"peer_modes\":[";
    bool first = true;
    for (const auto& [key, mode] : peer_modes) {
      if (!std::all_of(key.begin(), key.end(), IsSavedKeyByte)) continue;
      if (!first) out << ',';
      first = false;
      out << "{\"key\":\"" << key << "\",\"mode\":" << mode << '}';
    }
    out << "]}";
    written = store.Write(kArea, kKey, out.str());
  } catch (...) {
    written = false;
  }
  store_failed = !written;
  return written;
}

void UiSettings::SetRingVisibilityDegrees(float degrees) {
  if (!std::isfinite(degrees)) return;
  ring_visibility_deg = std::clamp(degrees, 5.0f, 90.0f);
  ring_appear_deg = ring_visibility_deg - 1.0f;
}

void UiSettings::SetPeerNotificationMode(const std::string& own_id, const std::string& peer_id, int32_t mode) {
  if (!own_id.empty() && !peer_id.empty()) peer_modes[own_id + "/" + peer_id] = std::clamp(mode, 0, 2);
  Save();
}

void ApplyBrowserVolume(UiSettings& settings, uint32_t percent,
                        const std::function<void(uint32_t)>& set_route_volume) {
  settings.browser_volume = percent;
  settings.Save();
  if (set_route_volume) set_route_volume(percent);
  WriteEventLog("BROWSER_VOLUME_PERCENT", percent, 0);
}

void ApplyBrowserSize(UiSettings& settings, uint32_t index, uint32_t value) {
  uint32_t* const sizes[] = {&settings.browser_size_youtube, &settings.browser_size_x, &settings.browser_size_web};
  if (index >= 3) return;
  *sizes[index] = value;
  settings.Save();
}
