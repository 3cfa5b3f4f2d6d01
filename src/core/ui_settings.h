#pragma once
// The user's settings record: wrist pose, pointer, theme, language, volumes,
// browser sizes and notification modes.
#include <cstdint>
#include <map>
#include <string>

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
  uint32_t ui_volume = 100;
  uint32_t browser_volume = 100;
  uint32_t browser_size_youtube = 1;
  uint32_t browser_size_x = 1;
  uint32_t browser_size_web = 1;
  bool pointer_blue = false;
  uint32_t pointer_size_percent = 100;

  // Loads the record from the data root ("" = the default location).
  bool Load(const std::string& root);
  // Writes the record; false (and store_failed) when it could not be stored.
  bool Save();
  void SetRingVisibilityDegrees(float degrees);
  static void SetPeerNotificationMode(UiSettings& settings, const std::string& own_id, const std::string& peer_id,
                                      int32_t mode);
};
