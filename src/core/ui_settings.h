#pragma once
// The user's settings record: wrist pose, pointer, theme, language, volumes,
// browser sizes and notification modes.
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "core/local_data_store.h"

struct UiSettings {
  bool ring_black = false;
  bool notifications = true;
  bool dark = false;
  bool english = false;
  bool pointer_left = false;
  int32_t notification_mode = 0;
  std::map<std::string, int32_t> peer_modes;
  float ring_appear_deg = 79.0f;
  float ring_visibility_deg = 80.0f;
  float ring_smoothing_ms = 35.0f;
  float wrist_x = 0.0f;
  float wrist_y = -0.025f;
  float wrist_z = 0.1f;
  float normal_x = 0.0f;
  float normal_y = 1.0f;
  float normal_z = 0.0f;
  float ring_lift_m = 0.035f;
  float ring_width_m = 0.06f;
  float grab_radius_m = 0.12f;
  float pull_m = 0.03f;
  float ring_reach_m = 0.12f;
  uint64_t ring_toggle_cooldown_ms = 650;
  uint64_t ring_settle_ms = 100;
  uint64_t ring_pull_hold_ms = 100;
  uint64_t ring_grab_timeout_ms = 2500;
  float spawn_distance_m = 0.65f;
  float spawn_height_m = 0.0f;
  float phone_width_m = 0.24f;
  float ray_pitch_deg = -45.0f;
  float ray_yaw_deg = 0.0f;
  bool store_failed = false;
  LocalDataStore store;  // initialised by Load
  uint32_t ui_volume = 100;
  uint32_t browser_volume = 100;
  uint32_t browser_size_youtube = 1;
  uint32_t browser_size_x = 1;
  uint32_t browser_size_web = 1;
  bool pointer_blue = false;
  uint32_t pointer_size_percent = 100;

  // Opens the store under `root` ("" = LOCALAPPDATA/QuorixPhone/UI3/data/v1,
  // falling back to the files of older versions for this start only) and
  // applies every valid member of the saved text. A missing or malformed
  // text keeps the defaults. False only when no root can be formed or the
  // store cannot be initialised.
  bool Load(const std::string& root);
  // Writes the whole record as one JSON line into the store; out-of-range
  // integers and non-finite floats are first put right in the record itself.
  // Sets store_failed when the text did not reach the disk. Never throws.
  bool Save();
  // Ignores a non-finite value; otherwise clamps to 5..90 degrees.
  void SetRingVisibilityDegrees(float degrees);
  // Sets the mode (clamped to 0..2) of the conversation "own_id/peer_id" when
  // both ids are given, then saves in every case.
  void SetPeerNotificationMode(const std::string& own_id, const std::string& peer_id, int32_t mode);
};

// The browser overlay's volume choice: stored, saved, handed to the browser
// audio route through `set_route_volume`, and logged as
// "BROWSER_VOLUME_PERCENT".
void ApplyBrowserVolume(UiSettings& settings, uint32_t percent,
                        const std::function<void(uint32_t)>& set_route_volume);

// The browser overlay's panel size for page kind `index` (0 video site,
// 1 social site, 2 other pages): stored and saved; an index above 2 is ignored.
void ApplyBrowserSize(UiSettings& settings, uint32_t index, uint32_t value);
