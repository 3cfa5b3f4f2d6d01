#include "vr/sim/sim_runtime.h"

#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "core/json.h"
#include "platform/env.h"
#include "platform/files.h"

namespace vr_sim {

namespace {

// Manifests are small; anything larger is not one of ours.
constexpr size_t kManifestLimit = 1 << 20;

bool ReadJsonFile(const std::filesystem::path& path, JsonValue& out) {
  std::string text;
  if (platform::ReadRegularFile(path, kManifestLimit, &text) != platform::FileReadResult::kOk) return false;
  return ParseJson(text, out) && out.type == JsonType::Object;
}

std::string StringMember(const JsonValue& object, const char* key) {
  const JsonValue* value = object.Find(key);
  return value && value->type == JsonType::String ? value->text : std::string();
}

std::string ResolvedAgainst(const std::filesystem::path& folder, const std::string& value) {
  if (value.empty()) return value;
  return (folder / value).lexically_normal().string();
}

}  // namespace

// ----------------------------------------------------------------------------
// The interfaces one connection hands out. They stay valid for the runtime's
// life; once their connection is no longer the live one, every call fails.

class SimRuntime::Connection final : public pvr::System,
                                     public pvr::Overlay,
                                     public pvr::Input,
                                     public pvr::Applications {
 public:
  explicit Connection(SimRuntime* sim) : sim_(sim) {}
  bool Live() const { return sim_->Live(this); }

  // ---- System
  int32_t OutputAdapterIndex() override { return Live() ? sim_->adapter_index_ : -1; }
  bool PollNextEvent(pvr::Event* event) override {
    if (!Live() || sim_->events_.empty()) return false;
    *event = sim_->events_.front();
    sim_->events_.erase(sim_->events_.begin());
    return true;
  }
  void AcknowledgeQuitExiting() override {
    if (Live()) sim_->quit_acknowledged_ = true;
  }
  void DeviceToAbsoluteTrackingPose(int32_t, float, pvr::DevicePose* poses, uint32_t count) override {
    count = std::min(count, pvr::kMaxDevices);
    for (uint32_t i = 0; i < count; ++i) poses[i] = Live() ? sim_->poses_[i] : pvr::DevicePose{};
  }
  uint32_t DeviceIndexForControllerRole(int32_t role) override {
    const auto found = sim_->roles_.find(role);
    return Live() && found != sim_->roles_.end() ? found->second : pvr::kNoDevice;
  }

  // ---- Overlay
  int32_t CreateOverlay(const std::string& key, const std::string& name, uint64_t* handle) override {
    if (const int32_t error = Begin(SimCall::kCreateOverlay)) return error;
    return sim_->CreateOverlayImpl(key, name, handle);
  }
  int32_t DestroyOverlay(uint64_t handle) override {
    if (const int32_t error = Begin(SimCall::kDestroyOverlay)) return error;
    return sim_->DestroyOverlayImpl(handle);
  }
  int32_t SetWidthInMeters(uint64_t handle, float metres) override {
    return Change(SimCall::kSetWidth, handle, [&](OverlayView& v) { v.width_m = metres; });
  }
  int32_t SetSortOrder(uint64_t handle, uint32_t order) override {
    return Change(SimCall::kSetSortOrder, handle, [&](OverlayView& v) { v.sort_order = order; });
  }
  int32_t SetMouseScale(uint64_t handle, float width, float height) override {
    return Change(SimCall::kSetMouseScale, handle, [&](OverlayView& v) {
      v.mouse_width = width;
      v.mouse_height = height;
    });
  }
  int32_t SetInputMethod(uint64_t handle, uint32_t method) override {
    return Change(SimCall::kSetInputMethod, handle, [&](OverlayView& v) { v.input_method = method; });
  }
  int32_t SetFlag(uint64_t handle, uint32_t flag, bool enabled) override {
    if (flag >= 32) return pvr::kErrorInvalidArgument;
    return Change(SimCall::kSetFlag, handle, [&](OverlayView& v) {
      v.flags = enabled ? (v.flags | (1u << flag)) : (v.flags & ~(1u << flag));
    });
  }
  int32_t SetTransformAbsolute(uint64_t handle, int32_t origin, const pvr::Matrix34& matrix) override {
    return Change(SimCall::kSetTransform, handle, [&](OverlayView& v) {
      v.origin = origin;
      v.transform = matrix;
    });
  }
  int32_t Show(uint64_t handle) override {
    return Change(SimCall::kShow, handle, [](OverlayView& v) { v.shown = true; });
  }
  int32_t Hide(uint64_t handle) override {
    return Change(SimCall::kHide, handle, [](OverlayView& v) { v.shown = false; });
  }
  int32_t SetTexelAspect(uint64_t handle, float aspect) override {
    return Change(SimCall::kSetTexelAspect, handle, [&](OverlayView& v) { v.texel_aspect = aspect; });
  }
  int32_t SetTextureBounds(uint64_t handle, const pvr::TextureBounds& bounds) override {
    return Change(SimCall::kSetTextureBounds, handle, [&](OverlayView& v) { v.bounds = bounds; });
  }
  int32_t SetTexture(uint64_t handle, const pvr::TextureRef& texture) override {
    if (sim_->textures_.count(texture.id) == 0) {
      sim_->Count(SimCall::kSetTexture);
      return pvr::kErrorInvalidArgument;
    }
    return Change(SimCall::kSetTexture, handle, [&](OverlayView& v) {
      v.texture = texture;
      v.has_texture = true;
    });
  }

  // ---- Input
  int32_t SetActionManifestPath(const std::string& path) override {
    if (const int32_t error = Begin(SimCall::kSetActionManifestPath)) return error;
    return sim_->SetManifestImpl(path);
  }
  int32_t GetActionSetHandle(const std::string& name, uint64_t* handle) override {
    if (const int32_t error = Begin(SimCall::kGetActionSetHandle)) return error;
    return sim_->GetActionImpl(name, true, handle);
  }
  int32_t GetActionHandle(const std::string& name, uint64_t* handle) override {
    if (const int32_t error = Begin(SimCall::kGetActionHandle)) return error;
    return sim_->GetActionImpl(name, false, handle);
  }
  int32_t UpdateActionState(uint64_t action_set) override {
    if (const int32_t error = Begin(SimCall::kUpdateActionState)) return error;
    if (sim_->fail_update_) return pvr::kErrorInvalidArgument;
    const auto found = sim_->action_handles_.find(sim_->manifest_sets_.empty() ? "" : sim_->manifest_sets_[0]);
    return found != sim_->action_handles_.end() && found->second == action_set ? 0 : pvr::kErrorInvalidHandle;
  }
  int32_t GetDigitalActionData(uint64_t action, pvr::DigitalActionData* data) override {
    const ActionValue* value = Read(SimCall::kGetDigital, action, "boolean", data);
    if (!value) return last_error_;
    *data = value->digital;
    return 0;
  }
  int32_t GetAnalogActionData(uint64_t action, pvr::AnalogActionData* data) override {
    const ActionValue* value = Read(SimCall::kGetAnalog, action, "vector", data);
    if (!value) return last_error_;
    *data = value->analog;
    return 0;
  }
  int32_t GetPoseActionDataRelativeToNow(uint64_t action, int32_t, float, pvr::PoseActionData* data) override {
    const ActionValue* value = Read(SimCall::kGetPose, action, "pose", data);
    if (!value) return last_error_;
    *data = value->pose;
    return 0;
  }

  // ---- Applications
  int32_t AddApplicationManifest(const std::string& path, bool temporary) override {
    if (const int32_t error = Begin(SimCall::kAddManifest)) return error;
    return sim_->ChangeRegistry([&] { return sim_->AddManifestImpl(path, temporary); });
  }
  int32_t RemoveApplicationManifest(const std::string& path) override {
    if (const int32_t error = Begin(SimCall::kRemoveManifest)) return error;
    return sim_->ChangeRegistry([&] { return sim_->RemoveManifestImpl(path); });
  }
  bool IsApplicationInstalled(const std::string& key) override {
    return Begin(SimCall::kIsInstalled) == 0 && sim_->LoadRegistry() == 0 && sim_->apps_.count(key) != 0;
  }
  uint32_t GetApplicationPropertyString(const std::string& key, uint32_t property, char* buffer, uint32_t size,
                                        int32_t* error) override {
    int32_t status = Begin(SimCall::kGetProperty);
    if (status == 0) status = sim_->LoadRegistry();
    if (status != 0) {
      if (error) *error = status;
      return 0;
    }
    return sim_->PropertyImpl(key, property, buffer, size, error);
  }
  int32_t SetApplicationAutoLaunch(const std::string& key, bool enabled) override {
    if (const int32_t error = Begin(SimCall::kSetAutoLaunch)) return error;
    return sim_->ChangeRegistry([&] { return sim_->SetAutoLaunchImpl(key, enabled); });
  }
  bool GetApplicationAutoLaunch(const std::string& key) override {
    if (Begin(SimCall::kGetAutoLaunch) != 0 || sim_->LoadRegistry() != 0 || sim_->apps_.count(key) == 0) return false;
    const auto found = sim_->auto_launch_.find(key);
    return found != sim_->auto_launch_.end() && found->second;
  }
  int32_t IdentifyApplication(uint32_t pid, const std::string& key) override {
    if (const int32_t error = Begin(SimCall::kIdentify)) return error;
    if (const int32_t error = sim_->LoadRegistry()) return error;
    if (sim_->apps_.count(key) == 0) return pvr::kErrorUnknownApplication;
    sim_->identified_.emplace(pid, key);
    return 0;
  }

 private:
  // Counts the call; the injected error, else "not connected", else 0.
  int32_t Begin(SimCall call) {
    const int32_t injected = sim_->Count(call);
    if (!Live()) return pvr::kErrorNotConnected;
    return injected;
  }
  template <typename F>
  int32_t Change(SimCall call, uint64_t handle, F change) {
    if (const int32_t error = Begin(call)) return error;
    OverlayView* view = sim_->View(handle);
    if (!view) return pvr::kErrorInvalidHandle;
    change(*view);
    return 0;
  }
  // The value of a declared action of the given type; null with last_error_ set.
  const ActionValue* Read(SimCall call, uint64_t action, const char* type_prefix, const void* out) {
    last_error_ = Begin(call);
    if (last_error_ != 0) return nullptr;
    const std::string* name = sim_->ActionName(action);
    const auto type = name ? sim_->manifest_actions_.find(*name) : sim_->manifest_actions_.end();
    if (!out || type == sim_->manifest_actions_.end()) {
      last_error_ = out ? pvr::kErrorInvalidHandle : pvr::kErrorInvalidArgument;
      return nullptr;
    }
    if (type->second.rfind(type_prefix, 0) != 0) {
      last_error_ = pvr::kErrorWrongType;
      return nullptr;
    }
    static const ActionValue kInactive;
    const auto value = sim_->action_values_.find(*name);
    return value == sim_->action_values_.end() ? &kInactive : &value->second;
  }

  SimRuntime* sim_;
  int32_t last_error_ = 0;
};

// ----------------------------------------------------------------------------
// The GPU device: CPU textures in the runtime's table (so that overlays can
// show them), fences done after a set number of polls.

class SimRuntime::Device final : public pvr::GpuDevice {
 public:
  explicit Device(SimRuntime* sim) : sim_(sim) {}
  ~Device() override { ++sim_->device_releases_; }

  int32_t CreateTexture(uint32_t width, uint32_t height, uint64_t* texture) override {
    if (const int32_t error = sim_->Count(SimCall::kCreateTexture)) return error;
    if (sim_->textures_until_failure_) {
      if (*sim_->textures_until_failure_ == 0) return pvr::kErrorDevice;
      --*sim_->textures_until_failure_;
    }
    if (width == 0 || height == 0 || sim_->device_removed_) return pvr::kErrorDevice;
    const uint64_t id = sim_->next_texture_++;
    Texture& made = sim_->textures_[id];
    made.width = width;
    made.height = height;
    made.pixels.assign(size_t{width} * height * 4, 0);
    *texture = id;
    return 0;
  }
  int32_t UpdateTexture(uint64_t texture, const pvr::Box& box, const uint8_t* source, uint32_t pitch) override {
    if (const int32_t error = sim_->Count(SimCall::kUpdateTexture)) return error;
    const auto found = sim_->textures_.find(texture);
    if (found == sim_->textures_.end() || sim_->device_removed_) return pvr::kErrorDevice;
    Texture& t = found->second;
    if (box.left >= box.right || box.top >= box.bottom || box.right > t.width || box.bottom > t.height) {
      return pvr::kErrorInvalidArgument;
    }
    if (sim_->TextureShown(texture)) ++sim_->held_writes_;
    const size_t row_bytes = size_t{box.right - box.left} * 4;
    for (uint32_t y = box.top; y < box.bottom; ++y) {
      std::memcpy(&t.pixels[(size_t{y} * t.width + box.left) * 4], source + size_t{y - box.top} * pitch, row_bytes);
    }
    sim_->uploaded_pixels_ += uint64_t{box.right - box.left} * (box.bottom - box.top);
    return 0;
  }
  int32_t CopyTexture(uint64_t destination, uint64_t source, const pvr::Box& box) override {
    if (const int32_t error = sim_->Count(SimCall::kCopyTexture)) return error;
    const auto to = sim_->textures_.find(destination);
    const auto from = sim_->textures_.find(source);
    if (to == sim_->textures_.end() || from == sim_->textures_.end() || sim_->device_removed_) {
      return pvr::kErrorDevice;
    }
    Texture& t = to->second;
    if (t.width != from->second.width || t.height != from->second.height || box.left >= box.right ||
        box.top >= box.bottom || box.right > t.width || box.bottom > t.height) {
      return pvr::kErrorInvalidArgument;
    }
    if (sim_->TextureShown(destination)) ++sim_->held_writes_;
    const size_t row_bytes = size_t{box.right - box.left} * 4;
    for (uint32_t y = box.top; y < box.bottom; ++y) {
      const size_t offset = (size_t{y} * t.width + box.left) * 4;
      std::memcpy(&t.pixels[offset], &from->second.pixels[offset], row_bytes);
    }
    return 0;
  }
  void ReleaseTexture(uint64_t texture) override { sim_->textures_.erase(texture); }
  int32_t CreateFence(uint64_t* fence) override {
    if (sim_->device_removed_) return pvr::kErrorDevice;
    *fence = next_fence_++;
    fences_[*fence] = 0;
    return 0;
  }
  void SignalFence(uint64_t fence) override {
    const auto found = fences_.find(fence);
    if (found != fences_.end()) found->second = std::max<uint32_t>(sim_->fence_latency_, 1);
  }
  pvr::FenceState QueryFence(uint64_t fence) override {
    const auto found = fences_.find(fence);
    if (found == fences_.end() || sim_->fence_error_ || sim_->device_removed_) return pvr::FenceState::kError;
    if (found->second == 0) return pvr::FenceState::kDone;
    return --found->second == 0 ? pvr::FenceState::kDone : pvr::FenceState::kPending;
  }
  void ReleaseFence(uint64_t fence) override { fences_.erase(fence); }
  void Flush() override {}
  bool Removed() override { return sim_->device_removed_; }

 private:
  SimRuntime* sim_;
  uint64_t next_fence_ = 1;
  std::map<uint64_t, uint32_t> fences_;  // polls left until done
};

// ----------------------------------------------------------------------------

SimRuntime::SimRuntime() = default;

SimRuntime::SimRuntime(std::filesystem::path folder) : folder_(std::move(folder)) {}

SimRuntime::~SimRuntime() = default;

int32_t SimRuntime::Count(SimCall call) {
  const size_t index = static_cast<size_t>(call);
  ++calls_[index];
  auto& [error, times] = failures_[index];
  if (times == 0) return 0;
  --times;
  return error;
}

bool SimRuntime::Live(const Connection* connection) const {
  return live_ && !connections_.empty() && connections_.back().get() == connection;
}

void SimRuntime::DropConnection() {
  live_ = false;
  for (auto it = overlays_.begin(); it != overlays_.end();) {
    it = it->second.foreign ? std::next(it) : overlays_.erase(it);
  }
}

uint32_t SimRuntime::ReadFolderPid() const {
  std::string text;
  if (platform::ReadRegularFile(*folder_ / "server.pid", 64, &text) != platform::FileReadResult::kOk) return 0;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  if (text.empty() || text.size() > 9) return 0;
  uint32_t pid = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return 0;
    pid = pid * 10 + static_cast<uint32_t>(c - '0');
  }
  if (pid == 0) return 0;
  if (kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM) return 0;
  return pid;
}

uint32_t SimRuntime::FindServerProcess() {
  if (folder_) {
    const uint32_t pid = ReadFolderPid();
    if (pid != server_pid_) {
      // Gone or replaced: the old server took the connection with it.
      if (server_pid_ != 0) StopServer();
      if (pid != 0) StartServer(pid);
    }
  }
  return server_pid_;
}

pvr::System* SimRuntime::Init(int32_t, int32_t* error) {
  int32_t status = Count(SimCall::kInit);
  if (status == 0 && fail_next_init_ != 0) status = std::exchange(fail_next_init_, 0);
  if (status == 0 && server_pid_ == 0) status = pvr::kInitErrorNoServer;
  if (status == 0 && live_) status = pvr::kInitErrorAlreadyConnected;
  if (status == 0 && withheld_[static_cast<size_t>(SimInterface::kSystem)]) {
    status = pvr::kInitErrorInterfaceNotFound;
  }
  if (status == 0 && fail_handshake_ != 0) status = fail_handshake_;
  if (status != 0) {
    if (error) *error = status;
    return nullptr;
  }
  connections_.push_back(std::make_unique<Connection>(this));
  live_ = true;
  if (error) *error = 0;
  return connections_.back().get();
}

void SimRuntime::Shutdown() {
  // The client's overlays go with its connection.
  if (live_) DropConnection();
}

pvr::Overlay* SimRuntime::GetOverlay() {
  if (!live_ || withheld_[static_cast<size_t>(SimInterface::kOverlay)]) return nullptr;
  return connections_.back().get();
}

pvr::Input* SimRuntime::GetInput() {
  if (!live_ || withheld_[static_cast<size_t>(SimInterface::kInput)]) return nullptr;
  return connections_.back().get();
}

pvr::Applications* SimRuntime::GetApplications() {
  if (!live_ || withheld_[static_cast<size_t>(SimInterface::kApplications)]) return nullptr;
  return connections_.back().get();
}

int32_t SimRuntime::CreateGpuDevice(int32_t adapter, std::shared_ptr<pvr::GpuDevice>* device) {
  if (const int32_t error = Count(SimCall::kCreateGpuDevice)) return error;
  if (fail_device_create_ != 0) return fail_device_create_;
  if (adapter < 0 || !device) return pvr::kErrorInvalidArgument;
  *device = std::make_shared<Device>(this);
  return 0;
}

void SimRuntime::StartServer(uint32_t pid) { server_pid_ = pid; }

void SimRuntime::StopServer() {
  server_pid_ = 0;
  DropConnection();
  overlays_.clear();
  identified_.reset();
  if (!folder_) {
    for (auto it = apps_.begin(); it != apps_.end();) {
      it = it->second.temporary ? apps_.erase(it) : std::next(it);
    }
  }
}

void SimRuntime::RestartServer(uint32_t pid) {
  StopServer();
  StartServer(pid);
}

bool SimRuntime::connected() const { return live_; }

void SimRuntime::WithholdInterface(SimInterface which, bool withheld) {
  withheld_[static_cast<size_t>(which)] = withheld;
}

void SimRuntime::FailCall(SimCall call, int32_t error, uint32_t times) {
  failures_[static_cast<size_t>(call)] = {error, times};
}

void SimRuntime::FailTextureCreate(uint32_t after) { textures_until_failure_ = after; }

void SimRuntime::AddForeignOverlay(const std::string& key) {
  OverlayView& view = overlays_[key];
  view.handle = next_handle_++;
  view.foreign = true;
}

void SimRuntime::SetDevicePose(uint32_t index, const pvr::DevicePose& pose) {
  if (index < pvr::kMaxDevices) poses_[index] = pose;
}

void SimRuntime::SetControllerRole(int32_t role, uint32_t device) { roles_[role] = device; }

void SimRuntime::PushEvent(uint32_t type) { events_.push_back({type, 0}); }

void SimRuntime::SetDigital(const std::string& name, bool active, bool state) {
  action_values_[name].digital = {active, state};
}

void SimRuntime::SetAnalog(const std::string& name, bool active, float x, float y) {
  action_values_[name].analog = {active, x, y};
}

void SimRuntime::SetPose(const std::string& name, const pvr::PoseActionData& data) { action_values_[name].pose = data; }

OverlayView* SimRuntime::View(uint64_t handle) {
  for (auto& [key, view] : overlays_) {
    if (view.handle == handle) return &view;
  }
  return nullptr;
}

bool SimRuntime::TextureShown(uint64_t texture) const {
  return std::any_of(overlays_.begin(), overlays_.end(), [texture](const auto& entry) {
    return entry.second.has_texture && entry.second.texture.id == texture;
  });
}

const OverlayView* SimRuntime::FindOverlay(const std::string& key) const {
  const auto found = overlays_.find(key);
  return found == overlays_.end() ? nullptr : &found->second;
}

std::vector<uint8_t> SimRuntime::ShownPixels(const std::string& key) const {
  const OverlayView* view = FindOverlay(key);
  if (!view || !view->has_texture) return {};
  const auto texture = textures_.find(view->texture.id);
  return texture == textures_.end() ? std::vector<uint8_t>() : texture->second.pixels;
}

int32_t SimRuntime::CreateOverlayImpl(const std::string& key, const std::string& name, uint64_t* handle) {
  if (key.empty() || !handle) return pvr::kErrorInvalidArgument;
  if (overlays_.count(key) != 0) return pvr::kErrorKeyInUse;
  OverlayView& view = overlays_[key];
  view.handle = next_handle_++;
  view.name = name;
  *handle = view.handle;
  return 0;
}

int32_t SimRuntime::DestroyOverlayImpl(uint64_t handle) {
  for (auto it = overlays_.begin(); it != overlays_.end(); ++it) {
    if (it->second.handle == handle && !it->second.foreign) {
      overlays_.erase(it);
      return 0;
    }
  }
  return pvr::kErrorInvalidHandle;
}

int32_t SimRuntime::SetManifestImpl(const std::string& path) {
  JsonValue manifest;
  if (!ReadJsonFile(path, manifest)) return pvr::kErrorFile;
  const JsonValue* sets = manifest.Find("action_sets");
  const JsonValue* actions = manifest.Find("actions");
  if (!sets || sets->type != JsonType::Array || !actions || actions->type != JsonType::Array) return pvr::kErrorFile;
  manifest_sets_.clear();
  manifest_actions_.clear();
  for (const JsonValue& set : sets->items) {
    const std::string name = StringMember(set, "name");
    if (!name.empty()) manifest_sets_.push_back(name);
  }
  for (const JsonValue& action : actions->items) {
    const std::string name = StringMember(action, "name");
    const std::string type = StringMember(action, "type");
    if (!name.empty() && !type.empty()) manifest_actions_[name] = type;
  }
  return 0;
}

int32_t SimRuntime::GetActionImpl(const std::string& name, bool set, uint64_t* handle) {
  const bool declared = set ? std::find(manifest_sets_.begin(), manifest_sets_.end(), name) != manifest_sets_.end()
                            : manifest_actions_.count(name) != 0;
  if (!declared || !handle) return pvr::kErrorUnknownName;
  auto [entry, added] = action_handles_.try_emplace(name, 0);
  if (added) entry->second = next_handle_++;
  *handle = entry->second;
  return 0;
}

const std::string* SimRuntime::ActionName(uint64_t handle) const {
  for (const auto& [name, value] : action_handles_) {
    if (value == handle) return &name;
  }
  return nullptr;
}

int32_t SimRuntime::AddManifestImpl(const std::string& path, bool temporary) {
  JsonValue manifest;
  if (!ReadJsonFile(path, manifest)) return pvr::kErrorFile;
  const JsonValue* list = manifest.Find("applications");
  if (!list || list->type != JsonType::Array || list->items.empty()) return pvr::kErrorFile;
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  std::map<std::string, SimApplication> found;
  for (const JsonValue& entry : list->items) {
    const std::string key = StringMember(entry, "app_key");
    if (key.empty()) return pvr::kErrorFile;
    SimApplication& app = found[key];
    app.manifest_path = path;
    app.binary_path = ResolvedAgainst(folder, StringMember(entry, "binary_path_linux"));
    app.arguments = StringMember(entry, "arguments");
    app.image_path = StringMember(entry, "image_path");
    app.action_manifest_path = ResolvedAgainst(folder, StringMember(entry, "action_manifest_path"));
    app.temporary = temporary;
    app.server_pid = temporary ? server_pid_ : 0;
  }
  for (auto& [key, app] : found) apps_[key] = std::move(app);
  return 0;
}

// ----------------------------------------------------------------------------

void InstallRuntimeFromEnvironment() {
  const std::optional<std::string> folder = platform::env::Get("QUORIX_VR_SIM_DIR");
  if (!folder || folder->empty()) return;
  std::error_code error;
  if (!std::filesystem::is_directory(*folder, error)) return;
  // Lives for the rest of the process, like the runtime client it stands for.
  static SimRuntime runtime{std::filesystem::path(*folder)};
  platform::vr::InstallRuntime(&runtime);
}

}  // namespace vr_sim
