#pragma once
// A VR runtime simulated in this process, implementing every interface of
// platform/vr/vr_runtime.h. Tests drive it: the server's presence, injected
// failures, devices and controller roles, action values; and read it back:
// overlays by key with every stored value and the shown texture's pixels,
// call counts, live textures.
//
// Overlays, input and textures stay in the process. The server is either
// set by the test (StartServer/StopServer) or, with a folder, the process
// whose decimal pid the folder's "server.pid" holds, present while it lives.
//
// The application registry stands for the runtime's own configuration, which
// every process sees: with a folder it is the folder's "applications.json",
// read by every application call and changed under an exclusive lock of
// "applications.lock" with a durable replace. A registry file that does not
// parse fails every application call, so nothing is dropped silently.
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/vr/vr_runtime.h"

namespace vr_sim {

namespace pvr = platform::vr;

// The simulated calls, for counting and for injected failures.
enum class SimCall : uint8_t {
  kInit,
  kCreateOverlay,
  kDestroyOverlay,
  kSetWidth,
  kSetSortOrder,
  kSetMouseScale,
  kSetInputMethod,
  kSetFlag,
  kSetTransform,
  kShow,
  kHide,
  kSetTexelAspect,
  kSetTextureBounds,
  kSetTexture,
  kSetActionManifestPath,
  kGetActionSetHandle,
  kGetActionHandle,
  kUpdateActionState,
  kGetDigital,
  kGetAnalog,
  kGetPose,
  kAddManifest,
  kRemoveManifest,
  kIsInstalled,
  kGetProperty,
  kSetAutoLaunch,
  kGetAutoLaunch,
  kIdentify,
  kCreateGpuDevice,
  kCreateTexture,
  kUpdateTexture,
  kCopyTexture,
  kCount
};

enum class SimInterface : uint8_t { kSystem, kOverlay, kInput, kApplications };

// Everything the runtime holds about one overlay.
struct OverlayView {
  uint64_t handle = 0;
  std::string name;
  float width_m = 1.0f;
  uint32_t sort_order = 0;
  float mouse_width = 0.0f, mouse_height = 0.0f;
  uint32_t input_method = 0;
  uint32_t flags = 0;  // bit per flag number below 32
  int32_t origin = 0;
  pvr::Matrix34 transform{};
  bool shown = false;
  float texel_aspect = 1.0f;
  pvr::TextureBounds bounds;
  pvr::TextureRef texture;
  bool has_texture = false;
  bool foreign = false;  // another application's: outlives our connection
};

// One registered application. Auto-launch flags belong to the key (see
// auto_launch()), so they outlive removing and re-adding its manifest.
struct SimApplication {
  std::string manifest_path;
  std::string binary_path;  // resolved against the manifest's folder, normal
  std::string arguments;
  std::string image_path;   // as the manifest wrote it
  std::string action_manifest_path;
  bool temporary = false;
  uint32_t server_pid = 0;  // a temporary entry lasts while this server runs
};

class SimRuntime final : public pvr::Runtime {
 public:
  SimRuntime();
  // Presence from `folder`/"server.pid".
  explicit SimRuntime(std::filesystem::path folder);
  ~SimRuntime() override;
  SimRuntime(const SimRuntime&) = delete;
  SimRuntime& operator=(const SimRuntime&) = delete;

  // ---- pvr::Runtime
  uint32_t FindServerProcess() override;
  pvr::System* Init(int32_t app_type, int32_t* error) override;
  void Shutdown() override;
  pvr::Overlay* GetOverlay() override;
  pvr::Input* GetInput() override;
  pvr::Applications* GetApplications() override;
  int32_t CreateGpuDevice(int32_t adapter, std::shared_ptr<pvr::GpuDevice>* device) override;

  // ---- presence
  void StartServer(uint32_t pid);
  // The server goes: the connection dies, its overlays and temporary apps go.
  void StopServer();
  void RestartServer(uint32_t pid);
  bool connected() const;

  // ---- injection
  void FailNextInit(int32_t error) { fail_next_init_ = error; }
  void FailHandshake(int32_t error) { fail_handshake_ = error; }
  void WithholdInterface(SimInterface which, bool withheld = true);
  void FailCall(SimCall call, int32_t error, uint32_t times = 1);
  void SetAdapterIndex(int32_t index) { adapter_index_ = index; }
  void FailDeviceCreate(int32_t error) { fail_device_create_ = error; }
  // Texture creations after the next `after` succeed fail.
  void FailTextureCreate(uint32_t after);
  // A signalled fence answers done on its `polls`-th query (0 and 1: the first).
  void SetFenceLatency(uint32_t polls) { fence_latency_ = polls; }
  void SetFenceError(bool error) { fence_error_ = error; }
  void SetDeviceRemoved(bool removed) { device_removed_ = removed; }
  // Another application's overlay holding `key` (while the server runs).
  void AddForeignOverlay(const std::string& key);

  // ---- devices and events
  void SetDevicePose(uint32_t index, const pvr::DevicePose& pose);
  void SetControllerRole(int32_t role, uint32_t device);
  void PushEvent(uint32_t type);
  bool quit_acknowledged() const { return quit_acknowledged_; }

  // ---- actions by name
  void SetDigital(const std::string& name, bool active, bool state);
  void SetAnalog(const std::string& name, bool active, float x, float y);
  void SetPose(const std::string& name, const pvr::PoseActionData& data);
  void FailUpdateActionState(bool fail) { fail_update_ = fail; }
  // Name → type of every action of the last manifest read.
  const std::map<std::string, std::string>& manifest_actions() const { return manifest_actions_; }
  const std::vector<std::string>& manifest_sets() const { return manifest_sets_; }

  // ---- read back
  const OverlayView* FindOverlay(const std::string& key) const;
  // The pixels of the texture the overlay shows; empty when none.
  std::vector<uint8_t> ShownPixels(const std::string& key) const;
  size_t overlay_count() const { return overlays_.size(); }
  uint64_t CallCount(SimCall call) const { return calls_[static_cast<size_t>(call)]; }
  void ResetCallCounts() { calls_.fill(0); }
  size_t live_textures() const { return textures_.size(); }
  // Writes into a texture that an overlay shows: must stay 0.
  uint64_t held_texture_writes() const { return held_writes_; }
  uint64_t device_releases() const { return device_releases_; }
  uint64_t uploaded_pixels() const { return uploaded_pixels_; }
  const std::optional<std::pair<uint32_t, std::string>>& identified() const { return identified_; }
  // The registry as the application calls see it (re-read from the folder).
  const std::map<std::string, SimApplication>& applications();
  const std::map<std::string, bool>& auto_launch();

  // ---- application registry injection
  // RemoveApplicationManifest answers success but the entry stays.
  void SetReinstateOnRemove(bool reinstate) { reinstate_on_remove_ = reinstate; }
  // GetApplicationPropertyString answers `length` with these bytes copied (as
  // far as the buffer holds) and no error.
  void SetPropertyAnswer(const std::string& key, uint32_t property, const std::string& bytes, uint32_t length);
  // Puts `app` (and its auto-launch flag) into the registry as it stands.
  void InstallRaw(const std::string& key, const SimApplication& app, bool auto_launch);
 private:
  class Connection;
  class Device;
  friend class Connection;
  friend class Device;

  struct Texture {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> pixels;
  };
  struct ActionValue {
    pvr::DigitalActionData digital;
    pvr::AnalogActionData analog;
    pvr::PoseActionData pose;
  };

  int32_t Count(SimCall call);
  bool Live(const Connection* connection) const;
  void DropConnection();
  OverlayView* View(uint64_t handle);
  bool TextureShown(uint64_t texture) const;
  uint32_t ReadFolderPid() const;

  // Overlay calls of the live connection.
  int32_t CreateOverlayImpl(const std::string& key, const std::string& name, uint64_t* handle);
  int32_t DestroyOverlayImpl(uint64_t handle);
  // Input and application calls.
  int32_t SetManifestImpl(const std::string& path);
  int32_t GetActionImpl(const std::string& name, bool set, uint64_t* handle);
  const std::string* ActionName(uint64_t handle) const;
  int32_t AddManifestImpl(const std::string& path, bool temporary);
  int32_t RemoveManifestImpl(const std::string& path);
  uint32_t PropertyImpl(const std::string& key, uint32_t property, char* buffer, uint32_t size, int32_t* error);
  int32_t SetAutoLaunchImpl(const std::string& key, bool enabled);
  // The registry file: loaded into apps_/auto_launch_ (0, or kErrorFile when
  // it cannot be read or parsed), and changed under the lock.
  int32_t LoadRegistry();
  int32_t ChangeRegistry(const std::function<int32_t()>& change);

  std::optional<std::filesystem::path> folder_;
  uint32_t server_pid_ = 0;
  std::vector<std::unique_ptr<Connection>> connections_;  // every one ever made; the last may be live
  bool live_ = false;
  uint64_t next_handle_ = 0x1000;
  std::map<std::string, OverlayView> overlays_;  // by key

  int32_t fail_next_init_ = 0;
  int32_t fail_handshake_ = 0;
  std::array<bool, 4> withheld_{};
  std::array<uint64_t, static_cast<size_t>(SimCall::kCount)> calls_{};
  std::array<std::pair<int32_t, uint32_t>, static_cast<size_t>(SimCall::kCount)> failures_{};
  int32_t adapter_index_ = 0;
  int32_t fail_device_create_ = 0;
  std::optional<uint32_t> textures_until_failure_;
  uint32_t fence_latency_ = 1;
  bool fence_error_ = false;
  bool device_removed_ = false;

  std::array<pvr::DevicePose, pvr::kMaxDevices> poses_{};
  std::map<int32_t, uint32_t> roles_;
  std::vector<pvr::Event> events_;
  bool quit_acknowledged_ = false;

  std::map<std::string, std::string> manifest_actions_;
  std::vector<std::string> manifest_sets_;
  std::map<std::string, uint64_t> action_handles_;  // names handed out, stable for the process
  std::map<std::string, ActionValue> action_values_;
  bool fail_update_ = false;

  std::map<std::string, SimApplication> apps_;
  std::map<std::string, bool> auto_launch_;
  bool reinstate_on_remove_ = false;
  std::map<std::pair<std::string, uint32_t>, std::pair<std::string, uint32_t>> property_answers_;
  std::optional<std::pair<uint32_t, std::string>> identified_;

  uint64_t next_texture_ = 1;
  std::map<uint64_t, Texture> textures_;
  uint64_t held_writes_ = 0;
  uint64_t device_releases_ = 0;
  uint64_t uploaded_pixels_ = 0;
};

// When QUORIX_VR_SIM_DIR names a folder, installs a simulated runtime whose
// server is the process named by that folder's "server.pid"; otherwise the
// none backend stays. Called once by main before the dispatch.
void InstallRuntimeFromEnvironment();

}  // namespace vr_sim
